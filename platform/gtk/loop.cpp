// Process, desktop metrics, the message box and the message loop.
#include "platform/gtk/backend.h"

#include <cstdio>
#include <deque>
#include <unistd.h>

#include <climits>

namespace {

struct Posted {
    platform::Window* target;   // nullptr: the quit message
    int code;
};

std::deque<Posted> g_posted;
bool g_display = false;

platform::Key key_of(guint keyval)
{
    switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab: return platform::Key::Tab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return platform::Key::Enter;
    case GDK_KEY_Escape: return platform::Key::Escape;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space: return platform::Key::Space;
    default: return platform::Key::Other;
    }
}

bool is_input(GdkEventType t)
{
    switch (t) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_MOTION_NOTIFY:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL: return true;
    default: return false;
    }
}

// Every event passes here before GTK dispatches it: input for a disabled
// window goes nowhere, and key presses meet the window's key handling first.
void filter_event(GdkEvent* event, gpointer)
{
    GdkWindow* target = gdk_event_get_window(event);
    platform::Window* top = target ? gtk_backend::top_level_of(target) : nullptr;
    if (top && is_input(event->type) && !top->enabled)
        return;
    if (top && event->type == GDK_KEY_PRESS && top->listener) {
        GdkModifierType state = static_cast<GdkModifierType>(event->key.state);
        platform::KeyPress key;
        key.key = key_of(event->key.keyval);
        key.shift = state & GDK_SHIFT_MASK;
        key.ctrl = state & GDK_CONTROL_MASK;
        key.alt = state & GDK_MOD1_MASK;
        if (key.key != platform::Key::Other && top->listener->on_key(key))
            return;
    }
    gtk_main_do_event(event);
}

void deliver(const Posted& m)
{
    if (m.target && m.target->listener)
        m.target->listener->on_posted();
}

}  // namespace

namespace gtk_backend {

bool have_display()
{
    return g_display;
}

void drop_posted(platform::Window* w)
{
    std::erase_if(g_posted, [w](const Posted& m) { return m.target == w; });
}

}  // namespace gtk_backend

namespace platform {

bool start()
{
    g_display = gtk_init_check(nullptr, nullptr);
    if (g_display)
        gdk_event_handler_set(filter_event, nullptr, nullptr);
    return g_display;
}

void exit_process(int code)
{
    std::fflush(nullptr);
    // The engine's helper processes end when their connection closes.
    _exit(code);
}

std::string executable_path()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool set_current_directory(const std::string& folder)
{
    return chdir(folder.c_str()) == 0;
}

char path_separator()
{
    return '/';
}

Size screen_size()
{
    if (!g_display)
        return {};
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor)
        monitor = gdk_display_get_monitor(display, 0);
    GdkRectangle r{};
    gdk_monitor_get_geometry(monitor, &r);
    int scale = gdk_monitor_get_scale_factor(monitor);
    return {r.width * scale, r.height * scale};
}

Colour button_face_colour()
{
    if (!g_display)
        return 0xF0F0F0;
    // The theme's window background is this desktop's button face.
    static GtkWidget* probe = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GdkRGBA c{0.94, 0.94, 0.94, 1};
    if (!gtk_style_context_lookup_color(gtk_widget_get_style_context(probe), "theme_bg_color", &c))
        c = {0.94, 0.94, 0.94, 1};
    auto byte = [](double v) { return static_cast<Colour>(v * 255.0 + 0.5) & 0xFF; };
    return byte(c.red) | byte(c.green) << 8 | byte(c.blue) << 16;
}

void error_box(std::string_view title, std::string_view text)
{
    // Also on stderr, where there may be nobody to read the box.
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    if (!g_display)
        return;
    std::string body(text);
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                            body.c_str());
    gtk_window_set_title(GTK_WINDOW(box), std::string(title).c_str());
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), icon);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(icon);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void post(Window* w)
{
    g_posted.push_back({w, 0});
    g_main_context_wakeup(nullptr);
}

void post_quit(int code)
{
    g_posted.push_back({nullptr, code});
    g_main_context_wakeup(nullptr);
}

bool quit_is_next()
{
    return !g_posted.empty() && g_posted.front().target == nullptr;
}

bool run_one_step(int* code)
{
    // Posted messages come before input, as a destroy request must overtake
    // the rest of a double click.
    if (!g_posted.empty()) {
        Posted m = g_posted.front();
        g_posted.pop_front();
        if (!m.target) {
            *code = m.code;
            return true;
        }
        deliver(m);
        return false;
    }
    g_main_context_iteration(nullptr, TRUE);
    return false;
}

void dispatch_waiting()
{
    // What is waiting now, not what arrives meanwhile: a page keeps sources
    // ready for ever.
    for (std::size_t n = g_posted.size(); n > 0 && !g_posted.empty() && g_posted.front().target; --n) {
        Posted m = g_posted.front();
        g_posted.pop_front();
        deliver(m);
    }
    if (!quit_is_next())
        g_main_context_iteration(nullptr, FALSE);
}

}  // namespace platform

int main()
{
    return frame::process_main();
}
