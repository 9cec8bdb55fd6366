#include "tests/unit/recording_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>

using platform::Window;

namespace rec {

namespace {

struct Posted {
    Window* target;   // nullptr: the quit message
    int code;
};

struct Input {
    enum Kind { Click, Key, Close, Notice, Step } kind;
    Target target;
    platform::KeyPress key;
    platform::BrowserNotice notice = platform::BrowserNotice::BeforeNavigate;
    std::string text;
    int number = 0;
    bool flag = false;
    std::function<void()> step;
};

struct State {
    Config config;
    std::vector<std::string> log;
    std::vector<Report> reports;
    // Destroyed windows stay here until reset, so a late call on one is caught
    // by the checks below instead of reading freed memory.
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<Posted> posted;
    std::deque<Input> script;
};

State& state()
{
    static State s;
    return s;
}

void write(std::string line)
{
    state().log.push_back(std::move(line));
}

// The frame must only ever hand back windows it was given and has not destroyed.
bool usable(Window* w, const char* call)
{
    if (!w) {
        ADD_FAILURE() << call << " was given no window";
        return false;
    }
    if (w->destroyed) {
        ADD_FAILURE() << call << " was given the destroyed window " << w->label;
        return false;
    }
    return true;
}

bool failing(Type t)
{
    const auto& f = state().config.failing;
    return std::find(f.begin(), f.end(), t) != f.end();
}

Window* make(Type type, std::string label)
{
    auto w = std::make_unique<Window>();
    w->type = type;
    w->label = std::move(label);
    Window* raw = w.get();
    state().windows.push_back(std::move(w));
    return raw;
}

Window* make_child(Type type, std::string label, Window* parent, platform::Rect r, const platform::ChildStyle& style,
                   platform::WindowListener* listener, const char* call)
{
    if (!usable(parent, call))
        return nullptr;
    if (parent->type != Type::TopLevel)
        ADD_FAILURE() << call << ": the parent " << parent->label << " is not a top-level window";
    Window* w = make(type, std::move(label));
    w->parent = parent;
    w->listener = listener;
    w->rect = r;
    w->child = style;
    w->enabled = !style.disabled;
    parent->children.push_back(w);
    return w;
}

std::string key_name(const platform::KeyPress& k)
{
    static const char* const names[] = {"Tab", "Enter", "Escape", "Space", "Other"};
    std::string s;
    if (k.ctrl)
        s += "Ctrl+";
    if (k.alt)
        s += "Alt+";
    if (k.shift)
        s += "Shift+";
    return s + names[static_cast<int>(k.key)];
}

void deliver_posted(const Posted& m)
{
    write("dispatch " + m.target->label);
    if (m.target->listener)
        m.target->listener->on_posted();
}

// A click as the native control would take it. The listener may end the
// window's life: nothing of it is touched afterwards but the record.
void deliver_click(Window* w)
{
    if (!w) {
        write("dropped click: no window");
        return;
    }
    if (w->destroyed || !w->visible || !w->enabled || (w->parent && !w->parent->enabled)) {
        write("dropped click " + w->label);
        return;
    }
    write("click " + w->label);
    if (w->listener)
        w->listener->on_clicked();
    write("clicked " + w->label);
}

bool deliver_key(Window* top, const platform::KeyPress& k)
{
    // A disabled window gets no input at all.
    if (!top || top->destroyed || !top->enabled) {
        write("dropped key " + key_name(k) + (top ? " " + top->label : std::string()));
        return false;
    }
    write("key " + key_name(k) + " " + top->label);
    if (top->listener && top->listener->on_key(k)) {
        write("consumed");
        return true;
    }
    // The native dispatch: a focused push button takes Space, a default one Enter.
    Window* f = top->destroyed ? nullptr : top->focus;
    write(f ? "passed to " + f->label : std::string("passed"));
    const bool bare = !k.shift && !k.ctrl && !k.alt;
    if (f && f->type == Type::Button && f->enabled && bare
        && (k.key == platform::Key::Space || (k.key == platform::Key::Enter && f->button.default_push)))
        deliver_click(f);
    return false;
}

void deliver_close(Window* w)
{
    if (!w || w->destroyed || !w->enabled) {
        write("dropped close" + (w ? " " + w->label : std::string()));
        return;
    }
    write("close " + w->label);
    if (w->listener)
        w->listener->on_close_request();
}

void deliver(Input& in)
{
    switch (in.kind) {
    case Input::Click: deliver_click(in.target()); break;
    case Input::Key: deliver_key(in.target(), in.key); break;
    case Input::Close: deliver_close(in.target()); break;
    case Input::Notice: {
        Window* w = in.target();
        if (!w || w->destroyed) {
            write("dropped notice");
            break;
        }
        write("notice " + std::to_string(static_cast<int>(in.notice)) + " " + w->label);
        bool answer = !w->listener || w->listener->on_browser(in.notice, in.text, in.number, in.flag);
        write(answer ? "answered yes" : "answered no");
        break;
    }
    case Input::Step: in.step(); break;
    }
}

void push(Input in)
{
    state().script.push_back(std::move(in));
}

}  // namespace

void reset()
{
    state() = State{};
}

Config& config()
{
    return state().config;
}

const std::vector<std::string>& log()
{
    return state().log;
}

void note(std::string line)
{
    write(std::move(line));
}

const std::vector<Report>& reports()
{
    return state().reports;
}

std::vector<Window*> windows()
{
    std::vector<Window*> all;
    for (auto& w : state().windows)
        all.push_back(w.get());
    return all;
}

void click(Target t)
{
    push({Input::Click, std::move(t), {}, {}, {}, 0, false, {}});
}

void key(Target t, platform::KeyPress k)
{
    push({Input::Key, std::move(t), k, {}, {}, 0, false, {}});
}

void close(Target t)
{
    push({Input::Close, std::move(t), {}, {}, {}, 0, false, {}});
}

void notice(Target t, platform::BrowserNotice n, std::string text, int number, bool flag)
{
    push({Input::Notice, std::move(t), {}, n, std::move(text), number, flag, {}});
}

void step(std::function<void()> f)
{
    push({Input::Step, {}, {}, {}, {}, 0, false, std::move(f)});
}

std::size_t pending_input()
{
    return state().script.size();
}

bool press(Window* top, platform::KeyPress k)
{
    return deliver_key(top, k);
}

void request_close(Window* top)
{
    deliver_close(top);
}

platform::KeyPress plain(platform::Key k)
{
    return {k, false, false, false};
}

platform::KeyPress shifted(platform::Key k)
{
    return {k, true, false, false};
}

long find(std::string_view line, std::size_t from)
{
    const auto& l = state().log;
    for (std::size_t i = from; i < l.size(); ++i)
        if (l[i] == line)
            return static_cast<long>(i);
    return -1;
}

std::size_t count(std::string_view line)
{
    const auto& l = state().log;
    return static_cast<std::size_t>(std::count(l.begin(), l.end(), line));
}

std::vector<std::string> lines_starting(std::string_view prefix)
{
    std::vector<std::string> out;
    for (const auto& l : state().log)
        if (std::string_view(l).substr(0, prefix.size()) == prefix)
            out.push_back(l);
    return out;
}

}  // namespace rec

// ---------------------------------------------------------------------------

using rec::state;
using rec::Type;
using rec::write;

namespace platform {

bool start()
{
    write("start");
    return state().config.display;
}

void finish()
{
    write("finish");
}

void exit_process(int code)
{
    write("exit_process " + std::to_string(code));
    throw rec::Exit{code};
}

std::string executable_path()
{
    return state().config.executable;
}

bool set_current_directory(const std::string& folder)
{
    write("set_current_directory " + folder);
    return true;
}

char path_separator()
{
    return state().config.separator;
}

Size screen_size()
{
    return state().config.screen;
}

Colour button_face_colour()
{
    return 0xF0F0F0;
}

void error_box(std::string_view title, std::string_view text)
{
    write("error_box " + std::string(title));
    state().reports.push_back({std::string(title), std::string(text)});
}

Window* create_hidden_owner()
{
    if (!state().config.display)
        return nullptr;
    write("create_hidden_owner");
    return rec::make(Type::HiddenOwner, "owner");
}

Window* create_top_level(const TopLevelStyle& style, Rect outer, WindowListener* listener)
{
    std::string where = std::to_string(outer.x) + "," + std::to_string(outer.y) + " " + std::to_string(outer.width)
                        + "x" + std::to_string(outer.height);
    if (rec::failing(Type::TopLevel)) {
        write("create_top_level '" + style.title + "' failed");
        return nullptr;
    }
    if (style.owner && style.owner->destroyed)
        ADD_FAILURE() << "create_top_level '" << style.title << "' is owned by the destroyed " << style.owner->label;
    write("create_top_level '" + style.title + "' " + where);
    Window* w = rec::make(Type::TopLevel, "top '" + style.title + "'");
    w->listener = listener;
    w->rect = outer;
    w->top = style;
    w->enabled = !style.disabled;
    return w;
}

void show_top_level(Window* w)
{
    if (!rec::usable(w, "show_top_level"))
        return;
    write("show_top_level " + w->label);
    w->visible = true;
}

bool is_minimized(Window* w)
{
    return rec::usable(w, "is_minimized") && w->minimized;
}

void restore(Window* w)
{
    if (!rec::usable(w, "restore"))
        return;
    write("restore " + w->label);
    w->minimized = false;
}

void activate(Window* w)
{
    if (rec::usable(w, "activate"))
        write("activate " + w->label);
}

bool is_enabled(Window* w)
{
    return rec::usable(w, "is_enabled") && w->enabled;
}

void set_enabled(Window* w, bool enabled)
{
    if (!rec::usable(w, "set_enabled"))
        return;
    write("set_enabled " + w->label + (enabled ? " 1" : " 0"));
    w->enabled = enabled;
}

Window* create_painted_child(Window* parent, Rect r, const ChildStyle& style, WindowListener* listener)
{
    std::string at = std::to_string(r.x) + "," + std::to_string(r.y);
    if (rec::failing(Type::Painted)) {
        write("create_painted_child " + at + " failed");
        return nullptr;
    }
    write("create_painted_child " + at);
    return rec::make_child(Type::Painted, "painted " + at, parent, r, style, listener, "create_painted_child");
}

Window* create_button(Window* parent, Rect r, const ChildStyle& style, const ButtonStyle& button,
                      WindowListener* listener)
{
    if (rec::failing(Type::Button)) {
        write("create_button '" + button.caption + "' failed");
        return nullptr;
    }
    write("create_button '" + button.caption + "'");
    Window* w = rec::make_child(Type::Button, "button '" + button.caption + "'", parent, r, style, listener,
                                "create_button");
    if (w)
        w->button = button;
    return w;
}

Window* create_browser(Window* parent, Rect r, const ChildStyle& style, const BrowserSettings& settings,
                       WindowListener* listener)
{
    if (rec::failing(Type::Browser)) {
        write("create_browser " + settings.url + " failed");
        return nullptr;
    }
    write("create_browser " + settings.url);
    Window* w = rec::make_child(Type::Browser, "browser " + settings.url, parent, r, style, listener, "create_browser");
    if (!w)
        return nullptr;
    w->browser = settings;
    if (state().config.navigate_in_creation && !settings.url.empty() && listener) {
        write("notice 0 " + w->label);
        bool answer = listener->on_browser(BrowserNotice::BeforeNavigate, settings.url, 0, false);
        write(answer ? "answered yes" : "answered no");
    }
    return w;
}

void stack_children(Window* const* top_to_bottom, std::size_t count)
{
    if (count == 0)
        return;
    Window* parent = top_to_bottom[0]->parent;
    std::string line = "stack_children";
    for (std::size_t i = 0; i < count; ++i) {
        Window* c = top_to_bottom[i];
        if (!rec::usable(c, "stack_children"))
            return;
        if (c->parent != parent)
            ADD_FAILURE() << "stack_children: " << c->label << " has another parent";
        line += (i ? "; " : " ") + c->label;
    }
    if (count != parent->children.size())
        ADD_FAILURE() << "stack_children was given " << count << " of " << parent->children.size() << " children";
    write(line);
    parent->children.assign(top_to_bottom, top_to_bottom + count);
}

void show_child(Window* w, bool visible)
{
    if (!rec::usable(w, "show_child"))
        return;
    write("show_child " + w->label + (visible ? " 1" : " 0"));
    w->visible = visible;
}

bool is_visible(Window* w)
{
    return rec::usable(w, "is_visible") && w->visible;
}

void set_focus(Window* child)
{
    if (!rec::usable(child, "set_focus"))
        return;
    if (!child->parent) {
        ADD_FAILURE() << "set_focus on the top-level window " << child->label;
        return;
    }
    // As natively: a hidden or disabled control cannot take the focus.
    if (!child->visible || !child->enabled) {
        write("set_focus " + child->label + " refused");
        return;
    }
    write("set_focus " + child->label);
    child->parent->focus = child;
}

Window* focused_child(Window* top)
{
    if (!rec::usable(top, "focused_child"))
        return nullptr;
    return top->focus;
}

void destroy(Window* w)
{
    if (!w)
        return;
    if (!rec::usable(w, "destroy"))
        return;
    write("destroy " + w->label);
    std::vector<Window*> gone = w->children;
    gone.push_back(w);
    for (Window* g : gone) {
        g->destroyed = true;
        g->listener = nullptr;
        std::erase_if(state().posted, [g](const rec::Posted& m) { return m.target == g; });
    }
    if (w->parent) {
        std::erase(w->parent->children, w);
        if (w->parent->focus == w)
            w->parent->focus = nullptr;
    }
}

void post(Window* w)
{
    if (!rec::usable(w, "post"))
        return;
    write("post " + w->label);
    state().posted.push_back({w, 0});
}

void post_quit(int code)
{
    write("post_quit " + std::to_string(code));
    state().posted.push_back({nullptr, code});
}

void dispatch_waiting()
{
    auto& q = state().posted;
    while (!q.empty() && q.front().target) {
        rec::Posted m = q.front();
        q.pop_front();
        rec::deliver_posted(m);
    }
}

bool quit_is_next()
{
    return !state().posted.empty() && !state().posted.front().target;
}

bool run_one_step(int* code)
{
    auto& s = state();
    if (!s.posted.empty()) {
        rec::Posted m = s.posted.front();
        s.posted.pop_front();
        if (!m.target) {
            write("quit " + std::to_string(m.code));
            *code = m.code;
            return true;
        }
        rec::deliver_posted(m);
        return false;
    }
    if (s.script.empty()) {
        ADD_FAILURE() << "the message loop waits for input, and the test has none left";
        throw rec::Stuck{};
    }
    rec::Input in = std::move(s.script.front());
    s.script.pop_front();
    rec::deliver(in);
    return false;
}

}  // namespace platform
