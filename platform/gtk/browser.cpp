// Browser views on WebKitGTK.
//
// Text size: steps 0..4 are text-only zoom factors 0.7, 0.85, 1.0, 1.15, 1.3.
// Offline: navigations to network addresses are not made (the engine has no
// cache-only mode for one view). Silent: script dialogs, permission prompts
// and file choosers are answered without showing anything. Media may start
// without a user gesture, and a page's new window is always opened.
#include "platform/gtk/backend.h"

#include <webkit2/webkit2.h>

#include <algorithm>

using platform::BrowserNotice;
using platform::Window;

namespace {

constexpr double kZoom[] = {0.7, 0.85, 1.0, 1.15, 1.3};

struct View {
    Window* window;
    bool offline;
    bool silent;
};

View* view_of(gpointer data)
{
    return static_cast<View*>(data);
}

// Raises a notification; false when the frame's answer is "no". The listener
// may destroy the view's window, so callers touch nothing of it afterwards.
bool notify(View* v, BrowserNotice notice, const char* text = "", int number = 0, bool flag = false)
{
    platform::WindowListener* l = v->window ? v->window->listener : nullptr;
    return l ? l->on_browser(notice, text ? text : "", number, flag) : true;
}

bool network_address(const char* uri)
{
    return uri && (g_str_has_prefix(uri, "http:") || g_str_has_prefix(uri, "https:"));
}

gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data)
{
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
        return FALSE;
    View* v = view_of(data);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    bool offline = v->offline;
    g_object_ref(decision);
    bool go = notify(v, BrowserNotice::BeforeNavigate, uri) && !(offline && network_address(uri));
    if (go)
        webkit_policy_decision_use(decision);
    else
        webkit_policy_decision_ignore(decision);
    g_object_unref(decision);
    return TRUE;
}

void on_load_changed(WebKitWebView* view, WebKitLoadEvent event, gpointer data)
{
    View* v = view_of(data);
    const char* uri = webkit_web_view_get_uri(view);
    switch (event) {
    case WEBKIT_LOAD_STARTED: notify(v, BrowserNotice::DownloadBegin); break;
    case WEBKIT_LOAD_COMMITTED: notify(v, BrowserNotice::NavigateComplete, uri); break;
    case WEBKIT_LOAD_FINISHED:
        // The first notification may end the view's life; the second is only
        // raised while the view is still ours.
        g_object_ref(view);
        notify(v, BrowserNotice::DownloadComplete);
        if (webkit_web_view_get_uri(view) && g_object_get_data(G_OBJECT(view), "vexilo-view") == v)
            notify(v, BrowserNotice::DocumentComplete, webkit_web_view_get_uri(view));
        g_object_unref(view);
        break;
    default: break;
    }
}

void on_progress(WebKitWebView* view, GParamSpec*, gpointer data)
{
    notify(view_of(data), BrowserNotice::ProgressChange, "",
           static_cast<int>(webkit_web_view_get_estimated_load_progress(view) * 100.0 + 0.5));
}

void on_title(WebKitWebView* view, GParamSpec*, gpointer data)
{
    notify(view_of(data), BrowserNotice::TitleChange, webkit_web_view_get_title(view));
}

void on_mouse_target(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer data)
{
    const char* link = webkit_hit_test_result_context_is_link(hit) ? webkit_hit_test_result_get_link_uri(hit) : "";
    notify(view_of(data), BrowserNotice::StatusTextChange, link);
}

void on_history(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer data)
{
    View* v = view_of(data);
    if (!v->window)
        return;
    auto* view = WEBKIT_WEB_VIEW(v->window->widget);
    bool back = webkit_web_view_can_go_back(view);
    bool forward = webkit_web_view_can_go_forward(view);
    g_object_ref(view);
    notify(v, BrowserNotice::CommandStateChange, "", 1, back);
    if (g_object_get_data(G_OBJECT(view), "vexilo-view") == v)
        notify(v, BrowserNotice::CommandStateChange, "", 2, forward);
    g_object_unref(view);
}

gboolean on_script_dialog(WebKitWebView*, WebKitScriptDialog*, gpointer data)
{
    return view_of(data)->silent;   // handled: nothing is shown, the page gets "cancel"
}

gboolean on_permission(WebKitWebView*, WebKitPermissionRequest* request, gpointer data)
{
    if (!view_of(data)->silent)
        return FALSE;
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean on_file_chooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer data)
{
    if (!view_of(data)->silent)
        return FALSE;
    webkit_file_chooser_request_cancel(request);
    return TRUE;
}

// A page's new window: a plain window of its own, outside the program's windows.
void popup_ready(WebKitWebView* view, gpointer window)
{
    WebKitWindowProperties* props = webkit_web_view_get_window_properties(view);
    GdkRectangle geometry{};
    webkit_window_properties_get_geometry(props, &geometry);
    gtk_window_set_default_size(GTK_WINDOW(window), geometry.width > 0 ? geometry.width : 800,
                                geometry.height > 0 ? geometry.height : 600);
    gtk_widget_show_all(GTK_WIDGET(window));
}

void popup_close(WebKitWebView*, gpointer window)
{
    gtk_widget_destroy(GTK_WIDGET(window));
}

GtkWidget* on_create(WebKitWebView* view, WebKitNavigationAction* action, gpointer data)
{
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    g_object_ref(view);
    bool allowed = notify(view_of(data), BrowserNotice::NewWindow, uri);
    GtkWidget* popup = nullptr;
    if (allowed) {
        popup = webkit_web_view_new_with_related_view(view);
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(window), popup);
        g_signal_connect(popup, "ready-to-show", G_CALLBACK(popup_ready), window);
        g_signal_connect(popup, "close", G_CALLBACK(popup_close), window);
    }
    g_object_unref(view);
    return popup;
}

void forget_view(gpointer data, GClosure*)
{
    delete view_of(data);
}

void on_view_destroy(GtkWidget* widget, gpointer data)
{
    View* v = view_of(data);
    v->window = nullptr;
    g_object_set_data(G_OBJECT(widget), "vexilo-view", nullptr);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(WEBKIT_WEB_VIEW(widget)), v);
    webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(widget));
}

WebKitSettings* shared_settings()
{
    static WebKitSettings* settings = [] {
        WebKitSettings* s = webkit_settings_new();
        webkit_settings_set_zoom_text_only(s, TRUE);
        webkit_settings_set_media_playback_requires_user_gesture(s, FALSE);
        webkit_settings_set_javascript_can_open_windows_automatically(s, TRUE);
        // The accelerated renderer leaves the top rows of a view blank when the
        // view runs past its window's bottom edge, as the banner view does.
        webkit_settings_set_hardware_acceleration_policy(s, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
        return s;
    }();
    return settings;
}

}  // namespace

namespace platform {

Window* create_browser(Window* parent, Rect r, const ChildStyle& style, const BrowserSettings& settings,
                       WindowListener* listener)
{
    // The views of one window share one web process: it starts the pages
    // sooner and costs a process less. A related view takes the first one's
    // policies; it must be given the very same settings object.
    GtkWidget* widget = nullptr;
    auto sibling = std::find_if(parent->children.begin(), parent->children.end(),
                                [](const Window* c) { return c->type == gtk_backend::Type::Browser; });
    if (sibling != parent->children.end()) {
        widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", (*sibling)->widget, "settings",
                                         shared_settings(), nullptr));
    } else {
        WebKitWebsitePolicies* policies =
            webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
        widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", shared_settings(), "website-policies",
                                         policies, nullptr));
        g_object_unref(policies);
    }
    if (!widget)
        return nullptr;

    auto* w = new Window(gtk_backend::Type::Browser);
    w->listener = listener;
    w->enabled = !style.disabled;
    w->widget = widget;
    auto* v = new View{w, settings.offline, settings.silent};
    g_object_set_data(G_OBJECT(widget), "vexilo-view", v);
    WebKitWebView* view = WEBKIT_WEB_VIEW(widget);
    webkit_web_view_set_zoom_level(view, kZoom[std::clamp(settings.zoom_step, 0, 4)]);

    g_signal_connect(widget, "decide-policy", G_CALLBACK(on_decide_policy), v);
    g_signal_connect(widget, "load-changed", G_CALLBACK(on_load_changed), v);
    g_signal_connect(widget, "notify::estimated-load-progress", G_CALLBACK(on_progress), v);
    g_signal_connect(widget, "notify::title", G_CALLBACK(on_title), v);
    g_signal_connect(widget, "mouse-target-changed", G_CALLBACK(on_mouse_target), v);
    g_signal_connect(widget, "script-dialog", G_CALLBACK(on_script_dialog), v);
    g_signal_connect(widget, "permission-request", G_CALLBACK(on_permission), v);
    g_signal_connect(widget, "run-file-chooser", G_CALLBACK(on_file_chooser), v);
    g_signal_connect(widget, "create", G_CALLBACK(on_create), v);
    g_signal_connect(webkit_web_view_get_back_forward_list(view), "changed", G_CALLBACK(on_history), v);
    g_signal_connect_data(widget, "destroy", G_CALLBACK(on_view_destroy), v, forget_view, GConnectFlags(0));
    gtk_widget_set_can_focus(widget, TRUE);
    gtk_backend::place_child(parent, w, r);

    // The fetch starts now, before the window is first shown.
    if (!settings.url.empty())
        webkit_web_view_load_uri(view, settings.url.c_str());
    return w;
}

}  // namespace platform
