// The Win32 backend's own view of a native window, shared by its files.
//
// What it does: top-level windows with a dialog frame and an exact outer
// rectangle, a hidden owner, painted children (GDI), native push buttons,
// browser boxes holding the system WebBrowser control through a small OLE
// container of our own, a private posted message, and key presses seen
// before dispatch.
// What it leaves to the system: the window frame, caption and system menu,
// button drawing and behaviour, page loading and rendering (the control),
// the message box, and the ordering of the message queue (posted messages
// come before input there already).
#pragma once

#include "platform/platform.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace win32_backend {

enum class Type { HiddenOwner, TopLevel, Painted, Button, Browser };

class Browser;

}  // namespace win32_backend

struct platform::Window {
    explicit Window(win32_backend::Type t) : type(t) {}
    win32_backend::Type type;
    HWND hwnd = nullptr;
    WindowListener* listener = nullptr;
    Window* parent = nullptr;
    std::vector<Window*> children;     // top-level: its children, top of the stack first
    // top-level
    Colour background = 0;
    bool background_is_default = true;
    // browser box
    win32_backend::Browser* browser = nullptr;
};

namespace win32_backend {

// The private message behind platform::post(); lParam names the target window.
constexpr UINT kPostedMessage = WM_APP + 1;

std::wstring wide(std::string_view utf8);
std::string utf8(const wchar_t* text, int length = -1);

HINSTANCE module();
// Window classes, registered by platform::start().
extern const wchar_t kTopLevelClass[];
extern const wchar_t kPaintedClass[];
extern const wchar_t kBrowserHostClass[];
bool register_classes();
// The application icon pair, loaded on first use.
void free_icons();

// Creates a hidden child window of one of our classes, or the system's
// button, with the default GUI font; nullptr when it cannot be made.
platform::Window* create_child(platform::Window* parent, Type, const wchar_t* cls, const wchar_t* text, DWORD style,
                               DWORD ex_style, platform::Rect, const platform::ChildStyle&, platform::WindowListener*);

// Our record of a window of one of our own classes, or nullptr.
platform::Window* window_of(HWND);
// The child record of `top` that is or holds `hwnd`, or nullptr.
platform::Window* child_holding(platform::Window* top, HWND hwnd);
// The top-level record whose window is or holds `hwnd`, or nullptr.
platform::Window* top_level_holding(HWND hwnd);

// The browser box side (browser.cpp).
LRESULT browser_host_message(platform::Window*, UINT, WPARAM, LPARAM, bool* handled);
// Lets the control take a key message meant for its page; true when it did.
bool browser_translate_key(platform::Window* box, MSG*);
// Disconnects and releases the control; the host window stays.
void close_browser(platform::Window* box);

}  // namespace win32_backend
