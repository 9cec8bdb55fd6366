// Window classes, top-level windows, painted children, push buttons,
// stacking, focus and destroying.
#include "platform/win32/backend.h"

#include <algorithm>
#include <utility>

using platform::Colour;
using platform::Rect;
using platform::Window;
using platform::WindowListener;

namespace win32_backend {

const wchar_t kTopLevelClass[] = L"Vexilo.TopLevel";
const wchar_t kPaintedClass[] = L"Vexilo.Painted";
const wchar_t kBrowserHostClass[] = L"Vexilo.BrowserHost";

namespace {

HICON g_icon_big = nullptr, g_icon_small = nullptr;

void load_icons()
{
    if (g_icon_big)
        return;
    g_icon_big = static_cast<HICON>(LoadImageW(module(), L"DEFAULT_ICON", IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    g_icon_small = static_cast<HICON>(LoadImageW(module(), L"DEFAULT_ICON", IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

HFONT gui_font()
{
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void fill(HDC dc, const RECT& r, Colour c)
{
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// ---------------------------------------------------------------------------
// Painted children: a GDI canvas over the child's paint DC

class GdiCanvas final : public platform::Canvas {
public:
    GdiCanvas(HWND hwnd, HDC dc) : m_hwnd(hwnd), m_dc(dc)
    {
        m_original_font = SelectObject(dc, gui_font());
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    }

    ~GdiCanvas() override
    {
        SelectObject(m_dc, m_original_font);
        if (m_font)
            DeleteObject(m_font);
    }

    platform::Size size() const override
    {
        RECT r{};
        GetClientRect(m_hwnd, &r);
        return {r.right, r.bottom};
    }

    void fill(Rect r, Colour c) override
    {
        win32_backend::fill(m_dc, RECT{r.x, r.y, r.x + r.width, r.y + r.height}, c);
    }

    bool select_font(const platform::Font& f) override
    {
        HFONT made = nullptr;
        if (!f.face.empty())
            made = CreateFontW(f.height, f.width, 0, 0, f.weight, f.italic, f.underline, f.strike_out, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH,
                               wide(f.face).c_str());
        SelectObject(m_dc, made ? made : gui_font());
        if (m_font)
            DeleteObject(m_font);
        m_font = made;
        return made || f.face.empty();
    }

    int line_height() override
    {
        TEXTMETRICW tm{};
        GetTextMetricsW(m_dc, &tm);
        return tm.tmHeight;
    }

    int text_width(std::string_view text) override
    {
        std::wstring w = wide(text);
        SIZE s{};
        GetTextExtentPoint32W(m_dc, w.c_str(), static_cast<int>(w.size()), &s);
        return s.cx;
    }

    void draw_text(int x, int y, std::string_view text, Colour c) override
    {
        std::wstring w = wide(text);
        SetTextColor(m_dc, c);
        TextOutW(m_dc, x, y, w.c_str(), static_cast<int>(w.size()));
    }

private:
    HWND m_hwnd;
    HDC m_dc;
    HGDIOBJ m_original_font;
    HFONT m_font = nullptr;   // ours to delete
};

// ---------------------------------------------------------------------------
// Window procedures

void deliver_posted(Window* top, HWND target)
{
    Window* w = target == top->hwnd ? top : child_holding(top, target);
    // A child's record is found only while the child is still the hwnd's own.
    if (w && w->hwnd == target && w->listener)
        w->listener->on_posted();
}

LRESULT top_level_message(Window* w, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(hwnd, &r);
        fill(reinterpret_cast<HDC>(wp), r, w->background_is_default ? GetSysColor(COLOR_BTNFACE) : w->background);
        return 1;
    }
    case WM_SYSCOLORCHANGE:
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        break;
    case WM_CLOSE:
        // The frame decides whether and when the window goes.
        if (w->listener && IsWindowEnabled(hwnd))
            w->listener->on_close_request();
        return 0;
    case WM_ACTIVATE: {
        const bool active = LOWORD(wp) != WA_INACTIVE;
        if (w->listener)
            w->listener->on_activate(active);
        // The frame puts the focus on one of its controls; the default (the
        // window itself) only when it chose none, so the focus makes no detour.
        if (active && !IsChild(hwnd, GetFocus()))
            return DefWindowProcW(hwnd, msg, wp, lp);
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && lp) {
            Window* button = child_holding(w, reinterpret_cast<HWND>(lp));
            if (button && button->type == Type::Button && button->listener)
                button->listener->on_clicked();   // may destroy this window
            return 0;
        }
        break;
    case kPostedMessage:
        deliver_posted(w, reinterpret_cast<HWND>(lp));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT painted_message(Window* w, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (w->listener) {
            GdiCanvas canvas(hwnd, dc);
            w->listener->on_paint(canvas);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* w = static_cast<Window*>(cs->lpCreateParams);
        w->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    }
    auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!w)
        return DefWindowProcW(hwnd, msg, wp, lp);
    switch (w->type) {
    case Type::HiddenOwner:
        return msg == WM_CLOSE ? 0 : DefWindowProcW(hwnd, msg, wp, lp);
    case Type::TopLevel: return top_level_message(w, hwnd, msg, wp, lp);
    case Type::Painted: return painted_message(w, hwnd, msg, wp, lp);
    case Type::Browser: {
        bool handled = false;
        LRESULT r = browser_host_message(w, msg, wp, lp, &handled);
        return handled ? r : DefWindowProcW(hwnd, msg, wp, lp);
    }
    case Type::Button: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool register_class(const wchar_t* name, HBRUSH background)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = module();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

Window* create_child(Window* parent, Type type, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex_style,
                     Rect r, const platform::ChildStyle& child, WindowListener* listener)
{
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (child.focus_stop)
        style |= WS_TABSTOP;
    if (child.disabled)
        style |= WS_DISABLED;
    if (child.transparent)
        ex_style |= WS_EX_TRANSPARENT;
    auto* w = new Window(type);
    w->listener = listener;
    w->parent = parent;
    HWND hwnd = CreateWindowExW(ex_style, cls, text, style, r.x, r.y, r.width, r.height, parent->hwnd, nullptr,
                                module(), w);
    if (!hwnd) {
        delete w;
        return nullptr;
    }
    w->hwnd = hwnd;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(gui_font()), FALSE);
    parent->children.push_back(w);
    return w;
}

bool register_classes()
{
    return register_class(kTopLevelClass, nullptr) && register_class(kPaintedClass, nullptr)
           && register_class(kBrowserHostClass, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void free_icons()
{
    for (HICON* icon : {&g_icon_big, &g_icon_small})
        if (*icon)
            DestroyIcon(std::exchange(*icon, nullptr));
}

Window* window_of(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    wchar_t cls[32];
    if (!GetClassNameW(hwnd, cls, 32))
        return nullptr;
    for (const wchar_t* ours : {kTopLevelClass, kPaintedClass, kBrowserHostClass})
        if (wcscmp(cls, ours) == 0)
            return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return nullptr;
}

Window* top_level_holding(HWND hwnd)
{
    Window* w = hwnd ? window_of(GetAncestor(hwnd, GA_ROOT)) : nullptr;
    return w && w->type == Type::TopLevel ? w : nullptr;
}

Window* child_holding(Window* top, HWND hwnd)
{
    if (!top || !hwnd)
        return nullptr;
    // Up from the inner windows of a control to the child of the top-level window.
    while (hwnd && GetAncestor(hwnd, GA_PARENT) != top->hwnd)
        hwnd = hwnd == top->hwnd ? nullptr : GetAncestor(hwnd, GA_PARENT);
    for (Window* c : top->children)
        if (c->hwnd == hwnd)
            return c;
    return nullptr;
}

}  // namespace win32_backend

using namespace win32_backend;

namespace platform {

Window* create_hidden_owner()
{
    auto* w = new Window(Type::HiddenOwner);
    if (!CreateWindowExW(WS_EX_TOOLWINDOW, kTopLevelClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, module(), w)) {
        delete w;
        return nullptr;
    }
    return w;
}

Window* create_top_level(const TopLevelStyle& style, Rect outer, WindowListener* listener)
{
    // Always a dialog frame: these windows are never resized by dragging.
    DWORD ws = (style.caption ? WS_CAPTION : WS_POPUP) | WS_DLGFRAME | WS_CLIPCHILDREN;
    if (style.system_menu)
        ws |= WS_SYSMENU;
    if (style.minimize_box)
        ws |= WS_MINIMIZEBOX;
    if (style.maximize_box)
        ws |= WS_MAXIMIZEBOX;
    if (style.disabled)
        ws |= WS_DISABLED;
    auto* w = new Window(Type::TopLevel);
    w->listener = listener;
    w->background = style.background;
    w->background_is_default = style.background_is_default;
    HWND owner = style.owner ? style.owner->hwnd : nullptr;
    HWND hwnd = CreateWindowExW(0, kTopLevelClass, wide(style.title).c_str(), ws, outer.x, outer.y, outer.width,
                                outer.height, owner, nullptr, module(), w);
    if (!hwnd) {
        delete w;
        return nullptr;
    }
    RECT r{};
    GetWindowRect(hwnd, &r);
    if (r.left != outer.x || r.top != outer.y || r.right - r.left != outer.width || r.bottom - r.top != outer.height)
        MoveWindow(hwnd, outer.x, outer.y, outer.width, outer.height, FALSE);
    if (style.topmost)
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (!style.movable)
        DeleteMenu(GetSystemMenu(hwnd, FALSE), SC_MOVE, MF_BYCOMMAND);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(gui_font()), FALSE);
    load_icons();
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_icon_big));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_icon_small));
    return w;
}

void show_top_level(Window* w)
{
    ShowWindow(w->hwnd, SW_SHOW);
    UpdateWindow(w->hwnd);
}

bool is_minimized(Window* w)
{
    return IsIconic(w->hwnd);
}

void restore(Window* w)
{
    ShowWindow(w->hwnd, SW_RESTORE);
    SetForegroundWindow(w->hwnd);
}

void activate(Window* w)
{
    SetForegroundWindow(w->hwnd);
}

bool is_enabled(Window* w)
{
    return IsWindowEnabled(w->hwnd);
}

void set_enabled(Window* w, bool enabled)
{
    EnableWindow(w->hwnd, enabled);
}

Window* create_painted_child(Window* parent, Rect r, const ChildStyle& style, WindowListener* listener)
{
    return create_child(parent, Type::Painted, kPaintedClass, L"", 0, 0, r, style, listener);
}

Window* create_button(Window* parent, Rect r, const ChildStyle& style, const ButtonStyle& button, WindowListener* listener)
{
    DWORD bs = (button.default_push ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_MULTILINE;
    bs |= button.horizontal == Align::Near ? BS_LEFT : button.horizontal == Align::Far ? BS_RIGHT : BS_CENTER;
    bs |= button.vertical == Align::Near ? BS_TOP : button.vertical == Align::Far ? BS_BOTTOM : BS_VCENTER;
    return create_child(parent, Type::Button, L"BUTTON", wide(button.caption).c_str(), bs, 0, r, style, listener);
}

void stack_children(Window* const* top_to_bottom, std::size_t count)
{
    if (count == 0)
        return;
    HWND above = HWND_TOP;
    for (std::size_t i = 0; i < count; ++i) {
        SetWindowPos(top_to_bottom[i]->hwnd, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = top_to_bottom[i]->hwnd;
    }
    Window* parent = top_to_bottom[0]->parent;
    std::vector<Window*> order(top_to_bottom, top_to_bottom + count);
    for (Window* c : parent->children)
        if (std::find(order.begin(), order.end(), c) == order.end())
            order.push_back(c);
    parent->children = std::move(order);
}

void show_child(Window* w, bool visible)
{
    ShowWindow(w->hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

bool is_visible(Window* w)
{
    // The window's own flag, as for a child of a window not yet shown.
    return (GetWindowLongW(w->hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void set_focus(Window* child)
{
    SetFocus(child->hwnd);
}

Window* focused_child(Window* top)
{
    return child_holding(top, GetFocus());
}

void destroy(Window* w)
{
    if (!w)
        return;
    w->listener = nullptr;
    for (Window* c : w->children)
        c->listener = nullptr;
    // The controls go while their host windows still exist.
    for (Window* c : w->children)
        if (c->type == Type::Browser)
            close_browser(c);
    if (w->type == Type::Browser)
        close_browser(w);
    if (w->parent)
        std::erase(w->parent->children, w);
    // Destroying the window drops the messages still posted to it.
    DestroyWindow(w->hwnd);
    for (Window* c : w->children)
        delete c;
    delete w;
}

}  // namespace platform
