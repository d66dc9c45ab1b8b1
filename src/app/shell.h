#pragma once
#include <filesystem>
#include <memory>

#include "app/media_request.h"
#include "bridge/app_delegate.h"
#include "platform/glib_main_queue.h"
#include "platform/gtk/gtk_dialogs.h"

typedef struct _GtkApplication GtkApplication;
typedef struct _GtkWindow GtkWindow;
typedef struct _WebKitWebView WebKitWebView;

namespace tamo {

// What the desktop program holds for its whole run: the application object and the GTK pieces
// it is shown through. Lives until the process ends.
struct Shell {
    GtkApplication* gtkApp = nullptr;
    std::shared_ptr<GlibMainQueue> queue;
    std::shared_ptr<GtkDialogs> dialogs;
    std::shared_ptr<AppDelegate> app;
    std::shared_ptr<MediaAllowList> sharedMedia = std::make_shared<MediaAllowList>();  // served to the page
    std::filesystem::path editorPage;  // fixed at start: the navigation policy compares against it
    GtkWindow* window = nullptr;       // set once by createMainWindow
    WebKitWebView* webView = nullptr;  // set once by createMainWindow
};

// Menu bar with its actions and shortcuts (Ctrl stands in for the Command key).
void setupMenu(Shell& shell);

// The one window with the web view filling it; loads the editor page and shows the window.
void createMainWindow(Shell& shell);

// Loads editor.html into the web view; a missing page leaves the view empty and is logged.
void loadEditor(Shell& shell);

// Creates the web view: settings, the "swift" and "consoleLog" handlers, the console script and the
// navigation policy.
WebKitWebView* createWebView(Shell& shell);

}  // namespace tamo
