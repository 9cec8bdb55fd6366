// Process, desktop metrics, the message box, the message loop and the entry
// point.
#include "platform/win32/backend.h"

#include <ole2.h>

#include <cstdio>

using platform::Window;

namespace {

bool g_ole = false;   // this thread's component library is ours to release

platform::Key key_of(WPARAM vk)
{
    switch (vk) {
    case VK_TAB: return platform::Key::Tab;
    case VK_RETURN: return platform::Key::Enter;
    case VK_ESCAPE: return platform::Key::Escape;
    case VK_SPACE: return platform::Key::Space;
    default: return platform::Key::Other;
    }
}

// The browser box of our windows that holds the keyboard focus, or nullptr.
Window* browser_with_focus()
{
    HWND focus = GetFocus();
    Window* child = win32_backend::child_holding(win32_backend::top_level_holding(focus), focus);
    return child && child->type == win32_backend::Type::Browser ? child : nullptr;
}

// Key messages meet the top-level window's key handling first, then the
// page's own (Tab between links, Delete, its accelerators). True when taken.
bool pre_translate(MSG* m)
{
    if (m->message < WM_KEYFIRST || m->message > WM_KEYLAST)
        return false;
    if (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) {
        platform::KeyPress key;
        key.key = key_of(m->wParam);
        Window* top = win32_backend::top_level_holding(m->hwnd);
        if (key.key != platform::Key::Other && top && top->listener) {
            key.shift = GetKeyState(VK_SHIFT) < 0;
            key.ctrl = GetKeyState(VK_CONTROL) < 0;
            key.alt = GetKeyState(VK_MENU) < 0;
            // The listener may destroy the window: nothing of it is used after.
            if (top->listener->on_key(key))
                return true;
        }
    }
    Window* box = browser_with_focus();
    return box && win32_backend::browser_translate_key(box, m);
}

void handle(MSG* m)
{
    if (pre_translate(m))
        return;
    TranslateMessage(m);
    DispatchMessageW(m);
}

}  // namespace

namespace win32_backend {

std::wstring wide(std::string_view text)
{
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text, int length)
{
    if (!text || length == 0)
        return {};
    if (length < 0)
        length = static_cast<int>(wcslen(text));
    int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

HINSTANCE module()
{
    return GetModuleHandleW(nullptr);
}

}  // namespace win32_backend

namespace platform {

bool start()
{
    // The browser control wants an apartment-threaded GUI thread. S_FALSE
    // (already initialised) must be balanced as well.
    g_ole = SUCCEEDED(OleInitialize(nullptr));
    return win32_backend::register_classes();
}

void finish()
{
    win32_backend::free_icons();
    if (g_ole)
        OleUninitialize();
    g_ole = false;
}

void exit_process(int code)
{
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(code));
}

std::string executable_path()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size())
            return win32_backend::utf8(buf.data(), static_cast<int>(n));
        buf.resize(buf.size() * 2);
    }
}

bool set_current_directory(const std::string& folder)
{
    return SetCurrentDirectoryW(win32_backend::wide(folder).c_str()) != 0;
}

char path_separator()
{
    return '\\';
}

Size screen_size()
{
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

Colour button_face_colour()
{
    return GetSysColor(COLOR_BTNFACE);   // COLORREF is 0x00BBGGRR already
}

void error_box(std::string_view title, std::string_view text)
{
    MessageBoxW(nullptr, win32_backend::wide(text).c_str(), win32_backend::wide(title).c_str(), MB_OK | MB_ICONSTOP);
}

void post(Window* w)
{
    // Sent to the top-level window, naming the target: a destroyed window's
    // messages go with its top-level window, or find no record any more.
    Window* top = w->parent ? w->parent : w;
    PostMessageW(top->hwnd, win32_backend::kPostedMessage, 0, reinterpret_cast<LPARAM>(w->hwnd));
}

void post_quit(int code)
{
    PostQuitMessage(code);
}

bool quit_is_next()
{
    MSG m;
    return PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && m.message == WM_QUIT;
}

bool run_one_step(int* code)
{
    MSG m;
    BOOL r = GetMessageW(&m, nullptr, 0, 0);
    if (r == 0) {
        *code = static_cast<int>(m.wParam);
        return true;
    }
    if (r > 0)
        handle(&m);
    return false;
}

void dispatch_waiting()
{
    // Bounded: a page can keep timers due for ever.
    for (int i = 0; i < 1000; ++i) {
        MSG m;
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) || m.message == WM_QUIT)
            return;
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            return;
        if (m.message == WM_QUIT) {
            // Posted by a sent message between the two looks: it stays queued.
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        handle(&m);
    }
}

}  // namespace platform

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return frame::process_main();
}
