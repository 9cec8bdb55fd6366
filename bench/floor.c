/* The engine's floor: what any program showing our two pages in one window
 * costs at least. A plain window of the main window's client size (566x421,
 * the outer 568x446 less openbox's frame) holding two web views at the same
 * places and sizes as the player and the banner, autoplay allowed so the
 * music starts; nothing else.
 *
 *   vexilo-floor [PLAYER_URL [BANNER_URL]]
 */
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

static void put_view(GtkWidget *layout, const char *uri, int x, int y, int width, int height)
{
    WebKitWebsitePolicies *policies = webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, NULL);
    GtkWidget *view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "website-policies", policies, NULL));
    g_object_unref(policies);
    gtk_widget_set_size_request(view, width, height);
    gtk_layout_put(GTK_LAYOUT(layout), view, x, y);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
}

int main(int argc, char **argv)
{
    gtk_init(&argc, &argv);
    const char *player = argc > 1 ? argv[1] : "http://music.vexilo.net/jiujiuting/99Players.htm";
    const char *banner = argc > 2 ? argv[2] : "http://www.vexilo.net/admin/ad/vexilo.htm";

    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "vexilo-floor");
    gtk_window_set_default_size(GTK_WINDOW(window), 566, 421);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

    /* A layout, as the views run past the window's edges and must not
     * make it grow. */
    GtkWidget *layout = gtk_layout_new(NULL, NULL);
    gtk_container_add(GTK_CONTAINER(window), layout);
    put_view(layout, player, 4, 8, 584, 312);
    put_view(layout, banner, -2, 324, 435, 123);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
