// Top-level windows, painted children, push buttons, stacking and focus.
#include "platform/gtk/backend.h"

#include <algorithm>
#include <utility>

namespace gtk_backend {
std::string_view icon_png_16();
std::string_view icon_png_32();
}  // namespace gtk_backend

using platform::Window;

namespace gtk_backend {

namespace {

constexpr char kKey[] = "vexilo-window";

GList* g_icons = nullptr;   // the application icon pair, loaded once

GList* application_icons()
{
    if (g_icons)
        return g_icons;
    for (std::string_view png : {icon_png_32(), icon_png_16()}) {
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
        if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(png.data()), png.size(), nullptr)
            && gdk_pixbuf_loader_close(loader, nullptr)) {
            if (GdkPixbuf* p = gdk_pixbuf_loader_get_pixbuf(loader))
                g_icons = g_list_append(g_icons, g_object_ref(p));
        } else {
            gdk_pixbuf_loader_close(loader, nullptr);
        }
        g_object_unref(loader);
    }
    return g_icons;
}

void set_source_colour(cairo_t* cr, platform::Colour c)
{
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0, (c >> 16 & 0xFF) / 255.0);
}

gboolean draw_client(GtkWidget* widget, cairo_t* cr, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    platform::Colour c = w->style.background_is_default ? platform::button_face_colour() : w->style.background;
    set_source_colour(cr, c);
    cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
    cairo_fill(cr);
    return FALSE;
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    if (w->enabled && w->listener)
        w->listener->on_close_request();
    return TRUE;   // the frame decides whether and when the window goes
}

Window* g_last_active = nullptr;   // the enabled top-level window active last

void on_active(GObject* object, GParamSpec*, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    bool active = gtk_window_is_active(GTK_WINDOW(object));
    if (active && w->enabled)
        g_last_active = w;
    // A disabled window cannot be active: the window manager's focus goes
    // back to the dialog that disabled it, which also comes back on top.
    if (active && !w->enabled && g_last_active && g_last_active != w && g_last_active->enabled) {
        gtk_window_present(GTK_WINDOW(g_last_active->widget));
        return;
    }
    if (w->listener)
        w->listener->on_activate(active);
}

bool maximised(Window* w)
{
    GdkWindow* gw = gtk_widget_get_window(w->widget);
    return gw && (gdk_window_get_state(gw) & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN));
}

// A fixed frame that offers maximise must stay resizable for the window
// manager to offer it; size changes are refused while not maximised.
gboolean check_size(gpointer data)
{
    auto* w = static_cast<Window*>(data);
    w->resize_check = 0;
    if (maximised(w))
        return G_SOURCE_REMOVE;
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(w->widget), &width, &height);
    if (width != w->client_size.width || height != w->client_size.height)
        gtk_window_resize(GTK_WINDOW(w->widget), w->client_size.width, w->client_size.height);
    return G_SOURCE_REMOVE;
}

gboolean on_configure(GtkWidget*, GdkEventConfigure* event, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    bool off = event->width != w->client_size.width || event->height != w->client_size.height;
    // Later than the state change that comes with a maximise request.
    if (off && !w->resize_check)
        w->resize_check = g_timeout_add(60, check_size, w);
    return FALSE;
}

}  // namespace

Window* window_of(GtkWidget* widget)
{
    return widget ? static_cast<Window*>(g_object_get_data(G_OBJECT(widget), kKey)) : nullptr;
}

void attach(GtkWidget* widget, Window* w)
{
    g_object_set_data(G_OBJECT(widget), kKey, w);
}

Window* top_level_of(GdkWindow* gw)
{
    GdkWindow* top = gdk_window_get_toplevel(gw);
    gpointer user = nullptr;
    gdk_window_get_user_data(top, &user);
    Window* w = user ? window_of(GTK_WIDGET(user)) : nullptr;
    return w && w->type == Type::TopLevel ? w : nullptr;
}

void place_child(Window* parent, Window* child, platform::Rect r)
{
    child->parent = parent;
    child->place = r;
    parent->children.push_back(child);
    attach(child->widget, child);
    // Siblings stack by their own windows; a child without one would be
    // drawn beneath all of them, so it gets a frame that has one.
    if (gtk_widget_get_has_window(child->widget) || child->type == Type::Painted) {
        child->outer = child->widget;
    } else {
        child->outer = gtk_event_box_new();
        gtk_container_add(GTK_CONTAINER(child->outer), child->widget);
        gtk_widget_show(child->widget);
    }
    gtk_widget_set_size_request(child->outer, std::max(r.width, 0), std::max(r.height, 0));
    gtk_layout_put(GTK_LAYOUT(parent->client), child->outer, r.x, r.y);
}

void free_window_tree(Window* w)
{
    for (Window* c : w->children) {
        drop_posted(c);
        delete c;
    }
    drop_posted(w);
    delete w;
}

}  // namespace gtk_backend

using namespace gtk_backend;

namespace platform {

void finish()
{
    g_list_free_full(std::exchange(g_icons, nullptr), g_object_unref);
}

Window* create_hidden_owner()
{
    if (!have_display())
        return nullptr;
    auto* w = new Window(Type::HiddenOwner);
    w->widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_type_hint(GTK_WINDOW(w->widget), GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(w->widget), TRUE);
    attach(w->widget, w);
    return w;
}

Window* create_top_level(const TopLevelStyle& style, Rect outer, WindowListener* listener)
{
    if (!have_display())
        return nullptr;
    auto* w = new Window(Type::TopLevel);
    w->style = style;
    w->listener = listener;
    w->enabled = !style.disabled;
    GtkWindow* win = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    w->widget = GTK_WIDGET(win);
    attach(w->widget, w);
    // Window managers write a name of their own into an empty caption.
    gtk_window_set_title(win, style.title.empty() ? " " : style.title.c_str());
    // Without minimise and maximise buttons it is a dialog to the window
    // manager, which then offers neither.
    if (!style.minimize_box && !style.maximize_box)
        gtk_window_set_type_hint(win, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_icon_list(win, application_icons());
    gtk_window_set_resizable(win, style.maximize_box || !style.fixed_frame);
    if (style.owner) {
        gtk_window_set_skip_taskbar_hint(win, TRUE);
        gtk_window_set_skip_pager_hint(win, TRUE);
    }
    gtk_window_set_keep_above(win, style.topmost);

    // The client area: children are placed at fixed pixels and may run past
    // its edges, so it asks for no size of its own.
    w->client = gtk_layout_new(nullptr, nullptr);
    gtk_widget_set_app_paintable(w->client, TRUE);
    g_signal_connect(w->client, "draw", G_CALLBACK(draw_client), w);
    gtk_container_add(GTK_CONTAINER(win), w->client);
    gtk_widget_show(w->client);

    gtk_widget_realize(w->widget);
    GdkWindow* gw = gtk_widget_get_window(w->widget);
    int decor = GDK_DECOR_BORDER;
    int funcs = 0;
    if (style.caption)
        decor |= GDK_DECOR_TITLE;
    if (style.system_menu) {
        decor |= GDK_DECOR_MENU;
        funcs |= GDK_FUNC_CLOSE;
    }
    if (style.minimize_box) {
        decor |= GDK_DECOR_MINIMIZE;
        funcs |= GDK_FUNC_MINIMIZE;
    }
    if (style.maximize_box) {
        decor |= GDK_DECOR_MAXIMIZE;
        funcs |= GDK_FUNC_MAXIMIZE | GDK_FUNC_RESIZE;
    }
    if (!style.fixed_frame) {
        decor |= GDK_DECOR_RESIZEH;
        funcs |= GDK_FUNC_RESIZE;
    }
    if (style.movable)
        funcs |= GDK_FUNC_MOVE;
    gdk_window_set_decorations(gw, static_cast<GdkWMDecoration>(decor));
    gdk_window_set_functions(gw, static_cast<GdkWMFunction>(funcs));

    Extents e = frame_extents(w->widget);
    w->client_size = {std::max<int>(1, outer.width - e.left - e.right), std::max<int>(1, outer.height - e.top - e.bottom)};
    gtk_widget_set_size_request(w->client, w->client_size.width, w->client_size.height);
    gtk_window_set_default_size(win, w->client_size.width, w->client_size.height);
    gtk_window_move(win, outer.x, outer.y);

    g_signal_connect(win, "delete-event", G_CALLBACK(on_delete), w);
    g_signal_connect(win, "notify::is-active", G_CALLBACK(on_active), w);
    if (style.fixed_frame && style.maximize_box)
        g_signal_connect(win, "configure-event", G_CALLBACK(on_configure), w);
    return w;
}

void show_top_level(Window* w)
{
    gtk_widget_show(w->widget);
    gtk_window_present(GTK_WINDOW(w->widget));
}

bool is_minimized(Window* w)
{
    GdkWindow* gw = gtk_widget_get_window(w->widget);
    return gw && (gdk_window_get_state(gw) & GDK_WINDOW_STATE_ICONIFIED);
}

void restore(Window* w)
{
    gtk_window_deiconify(GTK_WINDOW(w->widget));
    gtk_window_present(GTK_WINDOW(w->widget));
}

void activate(Window* w)
{
    gtk_window_present(GTK_WINDOW(w->widget));
}

bool is_enabled(Window* w)
{
    return w->enabled;
}

void set_enabled(Window* w, bool enabled)
{
    // Input is filtered, not the widgets' sensitivity, so the window keeps its
    // look and its pages keep running.
    w->enabled = enabled;
}

// ---------------------------------------------------------------------------
// Painted children

namespace {

class CairoCanvas final : public Canvas {
public:
    CairoCanvas(GtkWidget* widget, cairo_t* cr) : m_widget(widget), m_cr(cr)
    {
        m_layout = gtk_widget_create_pango_layout(widget, nullptr);
    }
    ~CairoCanvas() override { g_object_unref(m_layout); }

    Size size() const override
    {
        return {gtk_widget_get_allocated_width(m_widget), gtk_widget_get_allocated_height(m_widget)};
    }

    void fill(Rect r, Colour c) override
    {
        set_source_colour(m_cr, c);
        cairo_rectangle(m_cr, r.x, r.y, r.width, r.height);
        cairo_fill(m_cr);
    }

    bool select_font(const Font& f) override
    {
        std::string family = f.face.empty() ? std::string() : installed_face(f.face);
        if (family.empty()) {
            // The default GUI font, also for a face that is not installed.
            pango_layout_set_font_description(m_layout, nullptr);
            pango_layout_set_attributes(m_layout, nullptr);
            return f.face.empty();
        }
        PangoFontDescription* d = pango_font_description_new();
        pango_font_description_set_family(d, family.c_str());
        // Negative heights give the character height, positive ones the cell.
        int px = f.height < 0 ? -f.height : f.height > 0 ? f.height * 4 / 5 : 0;
        if (px > 0)
            pango_font_description_set_absolute_size(d, px * PANGO_SCALE);
        pango_font_description_set_weight(d, static_cast<PangoWeight>(std::clamp(f.weight, 100, 1000)));
        pango_font_description_set_style(d, f.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        pango_layout_set_font_description(m_layout, d);
        pango_font_description_free(d);
        PangoAttrList* attrs = pango_attr_list_new();
        if (f.underline)
            pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (f.strike_out)
            pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
        pango_layout_set_attributes(m_layout, attrs);
        pango_attr_list_unref(attrs);
        return true;
    }

    int line_height() override
    {
        pango_layout_set_text(m_layout, "Ag中", -1);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(m_layout, &w, &h);
        return h;
    }

    int text_width(std::string_view text) override
    {
        pango_layout_set_text(m_layout, text.data(), static_cast<int>(text.size()));
        int w = 0, h = 0;
        pango_layout_get_pixel_size(m_layout, &w, &h);
        return w;
    }

    void draw_text(int x, int y, std::string_view text, Colour c) override
    {
        pango_layout_set_text(m_layout, text.data(), static_cast<int>(text.size()));
        set_source_colour(m_cr, c);
        cairo_move_to(m_cr, x, y);
        pango_cairo_show_layout(m_cr, m_layout);
    }

private:
    GtkWidget* m_widget;
    cairo_t* m_cr;
    PangoLayout* m_layout;
};

gboolean draw_painted(GtkWidget* widget, cairo_t* cr, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    if (w->listener) {
        CairoCanvas canvas(widget, cr);
        w->listener->on_paint(canvas);
    }
    return TRUE;
}

}  // namespace

Window* create_painted_child(Window* parent, Rect r, const ChildStyle& style, WindowListener* listener)
{
    auto* w = new Window(Type::Painted);
    w->listener = listener;
    w->enabled = !style.disabled;
    w->widget = gtk_drawing_area_new();
    // An opaque child has a window of its own and takes the mouse over what
    // it covers; a transparent one draws on its parent after what lies beneath.
    gtk_widget_set_has_window(w->widget, !style.transparent);
    g_signal_connect(w->widget, "draw", G_CALLBACK(draw_painted), w);
    place_child(parent, w, r);
    return w;
}

// ---------------------------------------------------------------------------
// Push buttons

namespace {

void on_clicked(GtkButton*, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    if (w->listener)
        w->listener->on_clicked();
}

// A push button that is not a default button ignores Enter.
gboolean button_key(GtkWidget*, GdkEventKey* event, gpointer data)
{
    auto* w = static_cast<Window*>(data);
    bool enter = event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter || event->keyval == GDK_KEY_ISO_Enter;
    return enter && !w->default_push;
}

void use_compact_buttons()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Buttons get exactly the size they are given, as native buttons do.
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "button.vexilo { min-height: 0; min-width: 0; padding: 0 2px; box-shadow: none; }", -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

float align_fraction(Align a)
{
    return a == Align::Near ? 0.0f : a == Align::Centre ? 0.5f : 1.0f;
}

}  // namespace

Window* create_button(Window* parent, Rect r, const ChildStyle& style, const ButtonStyle& button, WindowListener* listener)
{
    use_compact_buttons();
    auto* w = new Window(Type::Button);
    w->listener = listener;
    w->enabled = !style.disabled;
    w->default_push = button.default_push;
    w->widget = gtk_button_new();
    gtk_style_context_add_class(gtk_widget_get_style_context(w->widget), "vexilo");
    GtkWidget* label = gtk_label_new(button.caption.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);   // multi-line captions
    gtk_label_set_justify(GTK_LABEL(label), button.horizontal == Align::Near ? GTK_JUSTIFY_LEFT
                                            : button.horizontal == Align::Far ? GTK_JUSTIFY_RIGHT
                                                                              : GTK_JUSTIFY_CENTER);
    gtk_label_set_xalign(GTK_LABEL(label), align_fraction(button.horizontal));
    gtk_label_set_yalign(GTK_LABEL(label), align_fraction(button.vertical));
    gtk_widget_set_hexpand(label, TRUE);
    gtk_widget_set_vexpand(label, TRUE);
    gtk_widget_show(label);
    gtk_container_add(GTK_CONTAINER(w->widget), label);
    gtk_widget_set_sensitive(w->widget, !style.disabled);
    gtk_widget_set_can_focus(w->widget, TRUE);
    g_signal_connect(w->widget, "clicked", G_CALLBACK(on_clicked), w);
    g_signal_connect(w->widget, "key-press-event", G_CALLBACK(button_key), w);
    place_child(parent, w, r);
    return w;
}

// ---------------------------------------------------------------------------

void stack_children(Window* const* top_to_bottom, std::size_t count)
{
    if (count == 0)
        return;
    Window* parent = top_to_bottom[0]->parent;
    GtkLayout* layout = GTK_LAYOUT(parent->client);
    // Controls are usually created bottom first, which is already the order
    // wanted; moving children would re-create their windows for nothing.
    if (std::equal(top_to_bottom, top_to_bottom + count, parent->children.rbegin(), parent->children.rend())) {
        parent->children.assign(top_to_bottom, top_to_bottom + count);
        return;
    }
    // A layout draws its children in order and stacks their windows as they
    // are realised, so the bottom child goes in first.
    for (std::size_t i = 0; i < count; ++i) {
        g_object_ref(top_to_bottom[i]->outer);
        gtk_container_remove(GTK_CONTAINER(layout), top_to_bottom[i]->outer);
    }
    for (std::size_t i = count; i-- > 0;) {
        Window* c = top_to_bottom[i];
        gtk_layout_put(layout, c->outer, c->place.x, c->place.y);
        g_object_unref(c->outer);
    }
    parent->children.assign(top_to_bottom, top_to_bottom + count);
}

void show_child(Window* w, bool visible)
{
    gtk_widget_set_visible(w->outer, visible);
}

bool is_visible(Window* w)
{
    return gtk_widget_get_visible(w->outer ? w->outer : w->widget);
}

void set_focus(Window* child)
{
    gtk_widget_grab_focus(child->widget);
}

Window* focused_child(Window* top)
{
    GtkWidget* f = gtk_window_get_focus(GTK_WINDOW(top->widget));
    for (; f; f = gtk_widget_get_parent(f))
        if (Window* w = window_of(f); w && w->parent == top)
            return w;
    return nullptr;
}

void destroy(Window* w)
{
    if (!w)
        return;
    w->listener = nullptr;
    for (Window* c : w->children)
        c->listener = nullptr;
    if (w->resize_check)
        g_source_remove(w->resize_check);
    if (w->parent)
        std::erase(w->parent->children, w);
    if (g_last_active == w)
        g_last_active = nullptr;
    gtk_widget_destroy(w->outer ? w->outer : w->widget);
    free_window_tree(w);
}

}  // namespace platform
