// The window descriptions, embedded at build time from the .window files.
#pragma once

#include <string_view>

std::string_view descriptions_block();
