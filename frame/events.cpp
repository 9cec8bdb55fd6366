// The event service: the road from a control's event to the handler routine
// bound to it in the window's description.
#include "frame/app.h"

namespace frame {

EventResult raise_event(std::uint32_t window_number, std::uint32_t control_number, int event, EventArgs args)
{
    App& a = app();
    if (a.events_blocked >= 1)
        return {};
    StoredWindow* slot = find_stored(window_number);
    if (!slot)
        fatal("未找到引发事件的窗口");
    const Description& d = slot->live ? slot->live->working : slot->description;
    const Entry* entry = d.find(control_number);
    if (!entry)
        fatal("未找到引发事件的窗口组件");
    if (!entry->is_window() && !entry->kind->raises_events)
        fatal("引发事件的窗口组件无效");
    Handler routine = entry->routine_for(event);
    if (!routine)
        return {};
    a.current_event = {window_number, entry->number};
    std::optional<bool> value = routine(args);
    // The routine may have ended in a nested loop; only the window number is cleared.
    a.current_event.window = 0;
    return {true, value};
}

}  // namespace frame
