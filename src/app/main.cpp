// tamovid: the desktop program. One window whose web view shows the editor page; the native side
// answers the page's messages.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/resource_folder.h"
#include "app/shell.h"
#include "platform/gtk/gtk_launcher.h"
#include "platform/log.h"

using namespace tamo;

namespace {

// How long quitting waits for cancelled background work (an export removing its temporary files)
// to end.
constexpr std::chrono::milliseconds kQuitBound{1000};

// Test-only: TAMO_RESOURCE_DIR names a folder whose editor.html is loaded instead of the program's own.
std::optional<std::filesystem::path> resourceOverride() {
    const char* dir = std::getenv("TAMO_RESOURCE_DIR");
    if (!dir || !*dir) return std::nullopt;
    return std::filesystem::path(dir);
}

// Without a GPU render node (a virtual X server, a remote session) the web view's DMA-BUF renderer
// paints nothing once the page composites (a playing video, for one); the shared-memory path
// works everywhere. Decided before GTK and WebKit start; an explicit choice of the user stays.
void avoidDmabufWithoutRenderNode() {
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev/dri", ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().rfind("renderD", 0) == 0) return;
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", /*overwrite=*/0);
}

void onStartup(GApplication*, gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    logLine("🚀 TamoVideoEditor starting...");
    // Page messages reach the operations from here on, before the window exists.
    shell.app->editorHandler->delegate = shell.app;
    setupMenu(shell);
}

// A polite kill ends the program the way the menu's quit does, so running work is cancelled
// and cleans up instead of dying with its temporary files in place.
gboolean onQuitSignal(gpointer data) {
    g_application_quit(G_APPLICATION(static_cast<Shell*>(data)->gtkApp));
    return G_SOURCE_CONTINUE;
}

void onActivate(GApplication*, gpointer data) {
    auto& shell = *static_cast<Shell*>(data);
    if (shell.window) {
        gtk_window_present(shell.window);
        return;
    }
    createMainWindow(shell);
}

}  // namespace

int main(int argc, char** argv) {
    // Log lines must appear at once also when standard output is a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    avoidDmabufWithoutRenderNode();

    // The shell and the application object live until the process ends: quitting cancels the work
    // in flight and waits a bounded time for it, and runs no other clean-up.
    auto* shell = new Shell;
    shell->queue = std::make_shared<GlibMainQueue>();
    shell->dialogs = std::make_shared<GtkDialogs>();
    shell->app = std::make_shared<AppDelegate>(PlatformServices{
        shell->queue, shell->dialogs, std::make_shared<BackgroundWork>(), std::make_shared<GtkLauncher>()});

    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    auto exeDir = executableDirectory();
    shell->editorPage = editorPagePath(exeDir ? resourceFolder(*exeDir) : std::nullopt,
                                       ec ? std::filesystem::path("/") : cwd, resourceOverride());

    // Several editors may run side by side; none needs the session bus.
    shell->gtkApp = gtk_application_new("hu.tamo.TamoVideoEditor", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(shell->gtkApp, "startup", G_CALLBACK(onStartup), shell);
    g_signal_connect(shell->gtkApp, "activate", G_CALLBACK(onActivate), shell);

    // No command-line options are read.
    (void)argc;
    char* noArgs[] = {argv[0], nullptr};
    g_unix_signal_add(SIGTERM, onQuitSignal, shell);
    g_unix_signal_add(SIGINT, onQuitSignal, shell);
    int status = g_application_run(G_APPLICATION(shell->gtkApp), 1, noArgs);

    // A worker that has not ended by now must never meet the static destructors: end at once.
    if (!shell->app->services().work->shutdown(kQuitBound)) {
        std::fprintf(stderr, "tamovid: background work did not end in time; quitting without it\n");
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    std::fflush(stdout);
    return status;
}
