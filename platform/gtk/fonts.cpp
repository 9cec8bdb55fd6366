// Face names as the window descriptions give them, resolved to installed
// font families. The descriptions name the faces of Chinese desktops; here
// each of those maps to an installed face of the same style (song faces to a
// Ming face, black faces to a Hei face), never silently to a Latin face.
#include "platform/gtk/backend.h"

#include <fontconfig/fontconfig.h>

#include <array>
#include <string_view>

namespace gtk_backend {

namespace {

struct Alias {
    std::string_view face;
    std::array<std::string_view, 3> installed;
};

constexpr Alias kAliases[] = {
    {"宋体", {"AR PL UMing CN", "Noto Serif CJK SC", "AR PL SungtiL GB"}},
    {"SimSun", {"AR PL UMing CN", "Noto Serif CJK SC", "AR PL SungtiL GB"}},
    {"新宋体", {"AR PL UMing CN", "Noto Serif CJK SC", "AR PL SungtiL GB"}},
    {"NSimSun", {"AR PL UMing CN", "Noto Serif CJK SC", "AR PL SungtiL GB"}},
    {"黑体", {"WenQuanYi Zen Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}},
    {"SimHei", {"WenQuanYi Zen Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}},
    {"微软雅黑", {"WenQuanYi Zen Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}},
    {"Microsoft YaHei", {"WenQuanYi Zen Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}},
};

bool installed(std::string_view family)
{
    std::string name(family);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcObjectSet* wanted = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, wanted);
    bool found = fonts && fonts->nfont > 0;
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(wanted);
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

std::string installed_face(const std::string& face)
{
    if (installed(face))
        return face;
    for (const Alias& a : kAliases)
        if (a.face == face)
            for (std::string_view candidate : a.installed)
                if (installed(candidate))
                    return std::string(candidate);
    return {};
}

}  // namespace gtk_backend
