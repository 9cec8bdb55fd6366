// The GTK backend's own view of a native window, shared by its files.
//
// What it does: top-level windows with the window manager's decorations and
// an exact outer size, a hidden owner, painted children (cairo + pango),
// native push buttons, browser views (WebKitGTK), a posted-message queue
// that is served before input, and key presses seen before dispatch.
// What it leaves to others: page loading and rendering (the engine), window
// placement beyond the first position (the window manager).
#pragma once

#include "platform/platform.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace gtk_backend {

enum class Type { HiddenOwner, TopLevel, Painted, Button, Browser };

}  // namespace gtk_backend

struct platform::Window {
    explicit Window(gtk_backend::Type t) : type(t) {}
    gtk_backend::Type type;
    GtkWidget* widget = nullptr;       // the GtkWindow, or the child widget
    GtkWidget* outer = nullptr;        // child: what sits in the layout (widget or its frame)
    GtkWidget* client = nullptr;       // top-level: the GtkLayout holding the children
    WindowListener* listener = nullptr;
    Window* parent = nullptr;
    std::vector<Window*> children;     // top-level: its children in stacking order
    bool enabled = true;
    Rect place;                        // child: place in the client area
    bool default_push = false;         // button: takes Enter
    // top-level
    TopLevelStyle style;
    Size client_size;                  // the fixed client size (outer less the frame)
    guint resize_check = 0;
};

namespace gtk_backend {

// The window manager's frame around a client window, in pixels.
struct Extents {
    long left = 0, right = 0, top = 0, bottom = 0;
};
// Asks the window manager what frame it will put around this realised,
// unmapped window; all zero when there is no window manager to ask.
Extents frame_extents(GtkWidget* window);

// The installed family to use for a face name, or "" when there is none.
std::string installed_face(const std::string& face);

platform::Window* window_of(GtkWidget*);
void attach(GtkWidget*, platform::Window*);
// The top-level platform window a GDK window belongs to, or nullptr.
platform::Window* top_level_of(GdkWindow*);
// Forgets posted messages for a window that is going away.
void drop_posted(platform::Window*);
bool have_display();
void place_child(platform::Window* parent, platform::Window* child, platform::Rect);
void free_window_tree(platform::Window*);

}  // namespace gtk_backend
