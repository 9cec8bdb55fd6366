// Text in a rectangle, as labels draw it: left, centred or right; one line
// placed at the top, centre or bottom, or broken into lines at the
// rectangle's width (CR LF starts a new line) starting at the top.
#pragma once

#include "platform/platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace kinds {

struct TextLine {
    std::string text;
    int x = 0, y = 0;
};

struct TextStyle {
    platform::Align horizontal = platform::Align::Near;
    platform::Align vertical = platform::Align::Centre;
    bool word_wrap = false;
};

// Where each line goes; the canvas measures with its selected font.
std::vector<TextLine> lay_out_text(platform::Canvas&, std::string_view text, platform::Size box, const TextStyle&);

}  // namespace kinds
