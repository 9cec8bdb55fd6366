// The focus order and the key handling of a window, applied to key presses
// before they are dispatched, also when the focus is inside a control's own
// inner windows (a page, for instance).
#include "frame/app.h"

#include <algorithm>

namespace frame {

// Stops: controls that exist, are visible and enabled, may take the focus and
// are of a kind that can. Smaller tab order first; among equals the entry
// stored later comes first.
std::vector<Control*> LoadedWindow::focus_stops() const
{
    std::vector<std::size_t> order;
    for (std::size_t i = controls.size(); i-- > 0;) {
        const Entry& e = working.entries[i + 1];
        Control* c = controls[i].get();
        if (c && e.focus_stop && e.kind->can_focus && !e.disabled && platform::is_visible(c->native()))
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return working.entries[a + 1].tab_order < working.entries[b + 1].tab_order;
    });
    std::vector<Control*> stops;
    for (std::size_t i : order)
        stops.push_back(controls[i].get());
    return stops;
}

void LoadedWindow::move_focus(bool forward)
{
    std::vector<Control*> stops = focus_stops();
    if (stops.empty())
        return;
    Control* current = control_of(platform::focused_child(native));
    auto it = std::find(stops.begin(), stops.end(), current);
    std::size_t next;
    if (it == stops.end())
        next = forward ? 0 : stops.size() - 1;
    else {
        std::size_t at = static_cast<std::size_t>(it - stops.begin());
        next = forward ? (at + 1) % stops.size() : (at + stops.size() - 1) % stops.size();
    }
    platform::set_focus(stops[next]->native());
}

bool LoadedWindow::on_key(const platform::KeyPress& key)
{
    using platform::Key;
    if (!platform::is_enabled(native))
        return false;
    Control* focused = control_of(platform::focused_child(native));
    if (focused && focused->wants_key(key.key))
        return false;
    const bool plain = !key.shift && !key.ctrl && !key.alt;
    const bool shift_only = key.shift && !key.ctrl && !key.alt;

    if (key.key == Key::Tab && (plain || shift_only)) {
        move_focus(plain);
        return true;
    }
    if (key.key == Key::Enter && plain) {
        if (focused && focused->is_default_push()) {
            focused->click();
            return true;
        }
        if (own().flag("enter_moves_focus", false)) {
            move_focus(true);
            return true;
        }
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i] && controls[i]->is_default_push() && !working.entries[i + 1].disabled) {
                controls[i]->click();
                return true;
            }
        return false;
    }
    if (key.key == Key::Escape && plain && own().flag("esc_closes", true)) {
        close_window(*this);
        return true;
    }
    return false;
}

}  // namespace frame
