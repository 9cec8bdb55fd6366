// The control kinds of the program's windows.
#pragma once

#include "frame/frame.h"

namespace kinds {

extern const frame::Kind button;
extern const frame::Kind picture_box;
extern const frame::Kind html_viewer;
extern const frame::Kind label;
extern const frame::Kind trans_label;

// The control's font from its font_* settings; an empty face means none of
// its own (the default GUI font).
platform::Font font_setting(const frame::Settings&);

// 0 near, 1 centre, 2 far; anything else counts as near.
platform::Align align_setting(const frame::Settings&, std::string_view name, int fallback);

}  // namespace kinds
