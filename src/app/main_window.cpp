#include <gdk/x11/gdkx.h>
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <system_error>

#include "app/media_scheme.h"
#include "app/shell.h"
#include "platform/gtk/gtk_page.h"
#include "platform/gtk/gtk_window.h"
#include "platform/log.h"
#include "platform/texts/app_texts.h"

namespace tamo {
namespace {

constexpr int kFallbackWidth = 1440, kFallbackHeight = 900;
constexpr int kMinWidth = 960, kMinHeight = 600;

// The first monitor's usable area (without panels, where the desktop reports them); the fallback
// size when there is no monitor.
GdkRectangle usableArea() {
    GdkRectangle area{0, 0, kFallbackWidth, kFallbackHeight};
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return area;
    GListModel* monitors = gdk_display_get_monitors(display);
    if (g_list_model_get_n_items(monitors) == 0) return area;
    auto* monitor = static_cast<GdkMonitor*>(g_list_model_get_item(monitors, 0));
    GdkRectangle found{};
#ifdef GDK_WINDOWING_X11
    if (GDK_IS_X11_MONITOR(monitor))
        gdk_x11_monitor_get_workarea(monitor, &found);
    else
#endif
        gdk_monitor_get_geometry(monitor, &found);
    g_object_unref(monitor);
    if (found.width > 0 && found.height > 0) area = found;
    return area;
}

void applyBackground(GtkWidget* window) {
    // (0.08, 0.08, 0.12) in 0–255 steps; shows while the page is not yet drawn.
    static GtkCssProvider* provider = [] {
        GtkCssProvider* p = gtk_css_provider_new();
        gtk_css_provider_load_from_data(p,
                                        "window.tamo-main { background-color: rgb(20.4, 20.4, 30.6); }"
                                        "window.tamo-main popovermenubar > item { color: #e4e4ec; }",
                                        -1);
        gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(p),
                                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        return p;
    }();
    (void)provider;
    gtk_widget_add_css_class(window, "tamo-main");
}

}  // namespace

void createMainWindow(Shell& shell) {
    GdkRectangle area = usableArea();
    GtkWidget* window = gtk_application_window_new(shell.gtkApp);
    shell.window = GTK_WINDOW(window);
    shell.app->mainWindow = std::make_shared<GtkMainWindow>(shell.window);
    gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window), TRUE);
    gtk_window_set_title(shell.window, texts::app::kWindowTitle);
    gtk_window_set_default_size(shell.window, area.width, area.height);
    gtk_widget_set_size_request(window, kMinWidth, kMinHeight);
    applyBackground(window);

    shell.webView = createWebView(shell);
    shell.app->webView = std::make_shared<MediaSharingPage>(shell.webView, shell.sharedMedia);
    gtk_widget_set_hexpand(GTK_WIDGET(shell.webView), TRUE);
    gtk_widget_set_vexpand(GTK_WIDGET(shell.webView), TRUE);
    gtk_window_set_child(shell.window, GTK_WIDGET(shell.webView));
    shell.dialogs->setParent(shell.window);

    loadEditor(shell);
    gtk_window_present(shell.window);
}

void loadEditor(Shell& shell) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(shell.editorPage, ec)) {
        // The window stays empty; say why instead of leaving a silent blank view.
        logLine("❌ Editor page not found: " + shell.editorPage.string());
        return;
    }
    char* uri = g_filename_to_uri(shell.editorPage.c_str(), nullptr, nullptr);
    if (!uri) {
        logLine("❌ Editor page not found: " + shell.editorPage.string());
        return;
    }
    webkit_web_view_load_uri(shell.webView, uri);
    g_free(uri);
}

}  // namespace tamo
