// The platform contract: everything the frame and the program need from the
// desktop, and nothing more. Each backend (platform/gtk, platform/win32, and
// the recording platform of the unit tests) implements these functions and
// defines `struct platform::Window`. CMake links exactly one backend.
//
// Texts cross this boundary as UTF-8. Colours are 0x00BBGGRR. Every function
// runs on the one GUI thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using Colour = std::uint32_t;

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct Size {
    int width = 0, height = 0;
};

// A native window: top-level or child. Defined by the backend.
struct Window;

// ---------------------------------------------------------------------------
// Calls back into the frame and the controls

enum class Key { Tab, Enter, Escape, Space, Other };

struct KeyPress {
    Key key = Key::Other;
    bool shift = false, ctrl = false, alt = false;
};

struct Font {
    std::string face;     // empty: the desktop's default GUI font
    int height = 0;       // <0 character height, >0 cell height, 0 default
    int width = 0;        // average width; 0 lets the font mapper choose
    int weight = 400;     // 400 normal, 700 bold
    bool italic = false, underline = false, strike_out = false;
};

// What a paint callback may do. Coordinates are the child's client pixels;
// drawing is clipped to the child.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual Size size() const = 0;
    virtual void fill(Rect, Colour) = 0;
    // Selects the font for the text calls below; false when it cannot be made,
    // in which case the default GUI font is selected instead.
    virtual bool select_font(const Font&) = 0;
    virtual int line_height() = 0;
    virtual int text_width(std::string_view utf8) = 0;
    // Draws one line with its top-left at (x, y), over a transparent background.
    virtual void draw_text(int x, int y, std::string_view utf8, Colour) = 0;
};

// Notifications of a browser view, in the order a page load usually raises them.
enum class BrowserNotice {
    BeforeNavigate,      // text: the address; answer false to cancel
    NavigateComplete,    // text: the address
    DownloadBegin,
    ProgressChange,      // number: percent
    DownloadComplete,
    DocumentComplete,    // text: the address
    StatusTextChange,    // text: the status text
    TitleChange,         // text: the title
    CommandStateChange,  // number: 1 back, 2 forward; flag: enabled
    NewWindow,           // text: the address; answer false to refuse
};

class WindowListener {
public:
    virtual ~WindowListener() = default;
    // Top-level: close box, system menu Close or Alt+F4 was used.
    virtual void on_close_request() {}
    // Top-level: a key press meant for this window or any of its children,
    // seen before it is dispatched. Answer true to consume it.
    virtual bool on_key(const KeyPress&) { return false; }
    // Top-level: the window became active (true) or inactive (false).
    virtual void on_activate(bool) {}
    // A message posted with post() is being dispatched.
    virtual void on_posted() {}
    // Painted child: draw yourself.
    virtual void on_paint(Canvas&) {}
    // Push button: it was clicked (mouse or Space).
    virtual void on_clicked() {}
    // Browser view: a notification; the answer matters for BeforeNavigate and NewWindow.
    virtual bool on_browser(BrowserNotice, std::string_view text, int number, bool flag)
    {
        (void)text; (void)number; (void)flag;
        return true;
    }
};

// ---------------------------------------------------------------------------
// Process and desktop

// Brings the platform up for this thread. Returns false only when the GUI
// cannot run at all (no display); message_box still works then, on stderr.
bool start();
// Releases what start() acquired (the component library, icons).
void finish();
[[noreturn]] void exit_process(int code);

std::string executable_path();
bool set_current_directory(const std::string& folder);
char path_separator();

Size screen_size();            // the primary screen, not the work area
Colour button_face_colour();   // looked up on every call
void error_box(std::string_view title, std::string_view text);  // stop icon, OK

// ---------------------------------------------------------------------------
// Top-level windows

struct TopLevelStyle {
    std::string title;
    bool caption = true;
    bool system_menu = true;      // with the close box
    bool minimize_box = false;
    bool maximize_box = false;
    bool fixed_frame = true;      // never resized by dragging
    bool movable = true;
    bool topmost = false;
    bool disabled = false;
    Window* owner = nullptr;      // owned windows have no task-bar button
    Colour background = 0;        // resolved colour for the client area
    bool background_is_default = true;  // follow the desktop's button face
};

// An invisible tool window that owns dialogs. Never shown.
Window* create_hidden_owner();
// Creates a hidden top-level window whose OUTER rectangle (frame and caption
// included) is exactly `outer`. Carries the application icon pair.
Window* create_top_level(const TopLevelStyle&, Rect outer, WindowListener*);
void show_top_level(Window*);
bool is_minimized(Window*);
void restore(Window*);
void activate(Window*);
bool is_enabled(Window*);
void set_enabled(Window*, bool);

// ---------------------------------------------------------------------------
// Child windows, created hidden inside a top-level window

struct ChildStyle {
    bool disabled = false;
    bool focus_stop = false;
    bool transparent = false;   // what lies beneath is painted first
};

Window* create_painted_child(Window* parent, Rect, const ChildStyle&, WindowListener*);

enum class Align { Near, Centre, Far };

struct ButtonStyle {
    std::string caption;
    bool default_push = false;
    Align horizontal = Align::Centre;
    Align vertical = Align::Centre;
};
Window* create_button(Window* parent, Rect, const ChildStyle&, const ButtonStyle&, WindowListener*);

struct BrowserSettings {
    int zoom_step = 2;          // 0..4, text size
    bool offline = false;
    bool silent = false;
    std::string url;            // navigated to inside creation; empty: nothing
};
Window* create_browser(Window* parent, Rect, const ChildStyle&, const BrowserSettings&, WindowListener*);

// Stacks the children of one parent, first in the list on top.
void stack_children(Window* const* top_to_bottom, std::size_t count);
void show_child(Window*, bool visible);
bool is_visible(Window*);

// Keyboard focus within a top-level window.
void set_focus(Window* child);
Window* focused_child(Window* top_level);

// Destroys a window with its children. Messages still posted to it are dropped.
void destroy(Window*);

// ---------------------------------------------------------------------------
// Messages

// Posts a private message; the window's listener gets on_posted() when a loop
// step dispatches it. Posted messages are dispatched before input.
void post(Window*);
void post_quit(int code);
// Dispatches the messages that are already waiting, up to (not including) a
// quit message, without waiting for more.
void dispatch_waiting();
// True when the next message to be taken is the quit message.
bool quit_is_next();
// Waits for the next message and dispatches it; key presses go through the
// top-level window's on_key first. Returns true when the message taken was
// the quit message (its code in *code).
bool run_one_step(int* code);

}  // namespace platform

// The process body, defined by the frame; each backend's entry point calls it.
namespace frame {
int process_main();
}
