// What only the X11 window system can tell: the frame the window manager
// will put around a window.
#include "platform/gtk/backend.h"

#include <gdk/gdkx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace gtk_backend {

namespace {

bool read_frame_extents(Display* dpy, ::Window xid, Atom prop, Extents& out)
{
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool ok = XGetWindowProperty(dpy, xid, prop, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after, &data)
                  == Success
              && type == XA_CARDINAL && format == 32 && count == 4;
    if (ok) {
        auto* v = reinterpret_cast<long*>(data);
        out = {v[0], v[1], v[2], v[3]};
    }
    if (data)
        XFree(data);
    return ok;
}

}  // namespace

// Asks the window manager what frame it will put around this (unmapped)
// window, so that the outer size can be exact from the first show.
Extents frame_extents(GtkWidget* window)
{
    Extents e;
    GdkWindow* gw = gtk_widget_get_window(window);
    if (!gw || !GDK_IS_X11_WINDOW(gw))
        return e;
    GdkScreen* screen = gdk_window_get_screen(gw);
    if (!gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS")))
        return e;
    Display* dpy = GDK_WINDOW_XDISPLAY(gw);
    ::Window xid = GDK_WINDOW_XID(gw);
    Atom prop = XInternAtom(dpy, "_NET_FRAME_EXTENTS", False);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = xid;
    ev.xclient.message_type = XInternAtom(dpy, "_NET_REQUEST_FRAME_EXTENTS", False);
    ev.xclient.format = 32;
    XSendEvent(dpy, GDK_WINDOW_XID(gdk_screen_get_root_window(screen)), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy);
    // The answer is a property change; polling it leaves GDK's event queue alone.
    for (int i = 0; i < 250; ++i) {
        if (read_frame_extents(dpy, xid, prop, e))
            return e;
        g_usleep(1000);
    }
    return e;
}

}  // namespace gtk_backend
