// Window descriptions: what the reader makes of the embedded description
// block, and the store the frame keeps them in.
#pragma once

#include "frame/frame.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace frame {

struct Binding {
    int event = 0;
    Handler routine = nullptr;   // none: the event does nothing
};

struct Entry {
    std::uint32_t number = 0;
    const Kind* kind = nullptr;  // nullptr for the window's own entry
    std::string name;
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    bool visible = false;
    bool disabled = false;
    bool focus_stop = false;
    std::int32_t tab_order = 0;
    std::vector<Binding> bindings;
    Settings settings;

    bool is_window() const { return kind == nullptr; }
    // The first binding for the event, or none.
    Handler routine_for(int event) const;
};

struct Description {
    std::uint32_t number = 0;
    std::vector<Entry> entries;   // entries[0] is the window's own entry

    const Entry* find(std::uint32_t entry_number) const;   // 0: the window's own entry
};

// The settings of the kind `window`, which the frame builds itself.
std::span<const SettingSpec> window_settings();

struct ReadResult {
    std::vector<Description> descriptions;
    std::string error;   // "line N: ..." when reading failed; then no descriptions
    bool ok() const { return error.empty(); }
};

// Reads every description of the block in one pass; fails as a whole.
ReadResult read_descriptions(std::string_view block, std::span<const Kind> kinds,
                             std::span<const HandlerEntry> handlers);

}  // namespace frame
