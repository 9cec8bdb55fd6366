# Writes a C++ source whose function returns the bytes of the input files,
# concatenated, as a string_view. Run as a script:
#   cmake -DOUTPUT=out.cpp -DFUNCTION=name [-DNAMESPACE=ns] -DINPUTS="a;b" -P embed.cmake
set(hex "")
foreach(input IN LISTS INPUTS)
  file(READ "${input}" part HEX)
  string(APPEND hex "${part}")
endforeach()
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
if(NAMESPACE)
  set(open "namespace ${NAMESPACE} {\n")
  set(close "}  // namespace ${NAMESPACE}\n")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUTS}; do not edit.
#include <string_view>

${open}std::string_view ${FUNCTION}()
{
    static const unsigned char data[${size} + 1] = {
    ${bytes}0};
    return {reinterpret_cast<const char*>(data), ${size}};
}
${close}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
