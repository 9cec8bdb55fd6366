// Loading, destroying and closing windows, and building a window from its
// description.
#include "frame/app.h"

#include <algorithm>

namespace frame {

StoredWindow* find_stored(std::uint32_t window_number)
{
    for (StoredWindow& s : app().store)
        if (s.description.number == window_number)
            return &s;
    return nullptr;
}

LoadedWindow* find_loaded(WindowRef ref)
{
    StoredWindow* s = find_stored(ref.window);
    if (!s || !s->live)
        return nullptr;
    const Entry& own = s->live->working.entries.front();
    return ref.entry == 0 || ref.entry == own.number ? s->live.get() : nullptr;
}

bool any_window_loaded()
{
    return std::any_of(app().store.begin(), app().store.end(), [](const StoredWindow& s) { return s.live != nullptr; });
}

bool is_loaded(const LoadedWindow* w)
{
    return std::any_of(app().store.begin(), app().store.end(), [w](const StoredWindow& s) { return s.live.get() == w; });
}

bool is_live_window(platform::Window* w)
{
    return std::any_of(app().store.begin(), app().store.end(),
                       [w](const StoredWindow& s) { return s.live && s.live->native == w; });
}

Control* LoadedWindow::control_of(platform::Window* child) const
{
    for (const auto& c : controls)
        if (c && c->native() == child)
            return c.get();
    return nullptr;
}

namespace {

platform::TopLevelStyle top_level_style(const Entry& own, platform::Window* owner)
{
    const Settings& s = own.settings;
    platform::TopLevelStyle style;
    style.title = s.text("title", "");
    style.system_menu = s.flag("control_box", true);
    style.caption = !style.title.empty() || style.system_menu;
    style.fixed_frame = s.integer("border", 2) == 2;
    style.maximize_box = s.flag("maximize_box", false);
    style.minimize_box = s.flag("minimize_box", false);
    style.movable = s.flag("movable", true);
    style.topmost = s.flag("always_on_top", false);
    style.disabled = own.disabled;
    style.owner = owner;
    Colour bg = s.colour("background", kDefaultColour);
    style.background_is_default = bg == kDefaultColour;
    style.background = resolve_colour(bg);
    return style;
}

platform::Rect outer_place(const Entry& own)
{
    platform::Rect r{own.left, own.top, own.width, own.height};
    if (own.settings.integer("start_position", 1) == 1) {
        platform::Size screen = platform::screen_size();
        // Integer division truncates toward zero, also for negative differences.
        r.x = (screen.width - own.width) / 2;
        r.y = (screen.height - own.height) / 2;
    }
    return r;
}

// Creates the top-level window and its controls from last to first, stacks
// them in stored order and shows the visible ones. False when anything failed.
bool build(LoadedWindow& w, platform::Window* owner)
{
    const Entry& own = w.working.entries.front();
    w.native = platform::create_top_level(top_level_style(own, owner), outer_place(own), &w);
    if (!w.native)
        return false;
    const std::size_t count = w.working.entries.size() - 1;
    w.controls.resize(count);
    for (std::size_t i = count; i-- > 0;) {
        const Entry& e = w.working.entries[i + 1];
        platform::ChildStyle style;
        style.disabled = e.disabled;
        style.focus_stop = e.focus_stop;
        CreateArgs args{e.settings, style, w.native, {e.left, e.top, e.width, e.height}, w.number, e.number};
        w.controls[i] = e.kind->create(args);
        if (!w.controls[i])
            return false;
    }
    std::vector<platform::Window*> order;
    for (const auto& c : w.controls)
        order.push_back(c->native());
    platform::stack_children(order.data(), order.size());
    for (std::size_t i = 0; i < count; ++i)
        platform::show_child(w.controls[i]->native(), w.working.entries[i + 1].visible);
    return true;
}

// Dialogs may nest and close in any order, so a window is enabled again, to
// its state before the first dialog, only when the last one lets it go.
void disable(platform::Window* window)
{
    auto& list = app().disabled_windows;
    auto it = std::find_if(list.begin(), list.end(), [window](const DisabledWindow& d) { return d.window == window; });
    if (it != list.end()) {
        ++it->count;
        return;
    }
    list.push_back({window, 1, platform::is_enabled(window)});
    platform::set_enabled(window, false);
}

void reenable_disabled(LoadedWindow& w)
{
    if (!w.modal)
        return;
    auto& list = app().disabled_windows;
    for (platform::Window* window : w.disabled) {
        auto it = std::find_if(list.begin(), list.end(), [window](const DisabledWindow& d) { return d.window == window; });
        if (it == list.end() || --it->count > 0)
            continue;
        if (is_live_window(window))
            platform::set_enabled(window, it->was_enabled);
        list.erase(it);
    }
    w.disabled.clear();
    w.modal = false;
}

}  // namespace

void destroy_now(LoadedWindow& w)
{
    App& a = app();
    w.destroy_pending = false;
    reenable_disabled(w);
    StoredWindow* slot = find_stored(w.number);
    const std::uint32_t number = w.number;
    platform::destroy(w.native);
    std::erase_if(a.disabled_windows, [&w](const DisabledWindow& d) { return d.window == w.native; });
    // Putting the snapshot back forgets the live window and its controls.
    slot->live.reset();
    if (a.modal_window == number)
        a.modal_window = 0;
    if (!any_window_loaded() && a.loop_entered)
        platform::post_quit(0);
}

bool load_window(WindowRef ref, std::optional<WindowRef> parent, bool dialog)
{
    App& a = app();
    LoadedWindow* parent_window = nullptr;
    if (parent) {
        parent_window = find_loaded(*parent);
        if (!parent_window)
            return false;
    }
    StoredWindow* slot = find_stored(ref.window);
    if (!slot)
        return false;
    if (slot->live) {
        LoadedWindow& w = *slot->live;
        if (!w.destroy_pending) {
            if (platform::is_minimized(w.native))
                platform::restore(w.native);
            else
                platform::activate(w.native);
            return true;
        }
        destroy_now(w);
    }
    platform::dispatch_waiting();
    // Dialogs have no parent; any other parent may have gone meanwhile.
    if (dialog)
        parent_window = nullptr;
    else if (parent && !(parent_window = find_loaded(*parent)))
        return false;
    ++a.events_blocked;
    auto loaded = std::make_unique<LoadedWindow>();
    LoadedWindow& w = *loaded;
    w.number = slot->description.number;
    w.working = slot->description;
    w.has_parent = parent_window != nullptr;
    const Entry& own = w.working.entries.front();
    platform::Window* owner = parent_window ? parent_window->native
                              : (dialog || !own.settings.flag("show_in_taskbar", true)) ? a.hidden_owner
                                                                                        : nullptr;
    bool built = build(w, owner);
    if (!built) {
        if (w.native)
            platform::destroy(w.native);
        --a.events_blocked;
        return false;
    }
    slot->live = std::move(loaded);
    platform::dispatch_waiting();
    --a.events_blocked;

    if (own.visible) {
        platform::show_top_level(w.native);
        std::vector<Control*> stops = w.focus_stops();
        if (!stops.empty())
            platform::set_focus(stops.front()->native());
    }

    // A handler may have destroyed the window while it was being shown.
    if (!dialog || find_stored(w.number)->live.get() != &w)
        return true;
    w.modal = true;
    for (StoredWindow& other : a.store) {
        if (!other.live || other.live.get() == &w || other.live->has_parent)
            continue;
        w.disabled.push_back(other.live->native);
        disable(other.live->native);
    }
    if (own.visible) {
        std::uint32_t remembered = a.modal_window;
        a.modal_window = w.number;
        message_loop(&w);
        StoredWindow* outer = find_stored(remembered);
        a.modal_window = outer && outer->live ? remembered : 0;
    }
    return true;
}

void destroy_window(WindowRef ref, bool at_once)
{
    LoadedWindow* w = find_loaded(ref);
    if (!w)
        fatal("指定窗口或窗口组件不存在或尚未载入");
    w->destroy_pending = true;
    if (at_once)
        destroy_now(*w);
    else
        platform::post(w->native);
}

void LoadedWindow::on_posted()
{
    // The destroy request; a load in between may already have carried it out.
    if (destroy_pending)
        destroy_now(*this);
}

void close_window(LoadedWindow& w)
{
    const std::uint32_t number = w.number;
    EventResult r = raise_event(number, 0, 1);
    StoredWindow* slot = find_stored(number);
    if (!slot || slot->live.get() != &w)
        return;
    // Every loaded window is a top-level window: a "no" keeps it open.
    if (r.ran && r.value == false)
        return;
    destroy_now(w);
}

void LoadedWindow::on_close_request()
{
    close_window(*this);
}

void LoadedWindow::on_activate(bool active)
{
    if (!active) {
        focus_memory = platform::focused_child(native);
        return;
    }
    if (focus_memory && control_of(focus_memory)) {
        platform::set_focus(focus_memory);
        return;
    }
    std::vector<Control*> stops = focus_stops();
    if (!stops.empty())
        platform::set_focus(stops.front()->native());
}

}  // namespace frame
