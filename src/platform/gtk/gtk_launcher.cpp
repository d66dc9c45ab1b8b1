#include "platform/gtk/gtk_launcher.h"

#include <gio/gio.h>

#include "platform/log.h"

namespace tamo {
namespace {

void launched(GObject*, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri_finish(result, &error)) {
        logLine(std::string("❌ No default handler could open ") + static_cast<char*>(data) + ": " +
                (error ? error->message : "unknown error"));
    }
    if (error) g_error_free(error);
    g_free(data);
}

}  // namespace

void GtkLauncher::openWithDefaultHandler(const std::filesystem::path& target) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(target.c_str(), nullptr, &error);
    if (!uri) {
        logLine("❌ Not a local file name: " + target.string());
        if (error) g_error_free(error);
        return;
    }
    // Asynchronous: a slow handler start must not hold the window.
    g_app_info_launch_default_for_uri_async(uri, nullptr, nullptr, launched, g_strdup(uri));
    g_free(uri);
}

}  // namespace tamo
