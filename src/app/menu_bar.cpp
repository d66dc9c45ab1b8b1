#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "app/shell.h"
#include "bridge/script_calls.h"
#include "platform/texts/app_texts.h"

namespace tamo {
namespace {

// Export and save need the editor state that only the page holds: the page is asked to start
// them and posts "exportVideo" / "saveProject" back.
void exportVideoMenu(AppDelegate& app) { app.evaluate(scriptcall::triggerExport()); }
void saveProjectMenu(AppDelegate& app) { app.evaluate(scriptcall::triggerSaveProject()); }
void openVideoMenu(AppDelegate& app) { app.openVideo(); }
void loadProjectMenu(AppDelegate& app) { app.loadProject(); }

using Command = void (*)(Shell&);

struct ActionSpec {
    const char* name;
    Command run;
    const char* accel;  // nullptr: no shortcut
};

void editing(Shell& shell, const char* command) {
    // Acts on whatever holds the focus inside the page (a text field, a selection).
    if (shell.webView) webkit_web_view_execute_editing_command(shell.webView, command);
}

const ActionSpec kActions[] = {
    {"quit", [](Shell& s) { g_application_quit(G_APPLICATION(s.gtkApp)); }, "<Control>q"},
    {"load-project", [](Shell& s) { loadProjectMenu(*s.app); }, "<Control>o"},
    {"open-video", [](Shell& s) { openVideoMenu(*s.app); }, nullptr},
    {"save-project", [](Shell& s) { saveProjectMenu(*s.app); }, "<Control>s"},
    {"export", [](Shell& s) { exportVideoMenu(*s.app); }, "<Control>e"},
    {"cut", [](Shell& s) { editing(s, WEBKIT_EDITING_COMMAND_CUT); }, "<Control>x"},
    {"copy", [](Shell& s) { editing(s, WEBKIT_EDITING_COMMAND_COPY); }, "<Control>c"},
    {"paste", [](Shell& s) { editing(s, WEBKIT_EDITING_COMMAND_PASTE); }, "<Control>v"},
    {"select-all", [](Shell& s) { editing(s, WEBKIT_EDITING_COMMAND_SELECT_ALL); }, "<Control>a"},
};

struct ActionBinding {
    Shell* shell;
    Command run;
};

void onActivate(GSimpleAction*, GVariant*, gpointer data) {
    auto* binding = static_cast<ActionBinding*>(data);
    binding->run(*binding->shell);
}

void appendItem(GMenu* menu, const char* label, const char* action) {
    GMenuItem* item = g_menu_item_new(label, action);
    g_menu_append_item(menu, item);
    g_object_unref(item);
}

// A GMenu section per group: GTK draws separators between sections.
GMenu* section(GMenu* parent) {
    GMenu* s = g_menu_new();
    g_menu_append_section(parent, nullptr, G_MENU_MODEL(s));
    g_object_unref(s);  // the parent keeps it
    return s;
}

}  // namespace

void setupMenu(Shell& shell) {
    GActionMap* map = G_ACTION_MAP(shell.gtkApp);
    for (const auto& spec : kActions) {
        GSimpleAction* action = g_simple_action_new(spec.name, nullptr);
        g_signal_connect_data(
            action, "activate", G_CALLBACK(onActivate), new ActionBinding{&shell, spec.run},
            [](gpointer data, GClosure*) { delete static_cast<ActionBinding*>(data); }, GConnectFlags{});
        g_action_map_add_action(map, G_ACTION(action));
        g_object_unref(action);
        if (spec.accel) {
            std::string detailed = std::string("app.") + spec.name;
            const char* accels[] = {spec.accel, nullptr};
            gtk_application_set_accels_for_action(shell.gtkApp, detailed.c_str(), accels);
        }
    }
    // Present but inactive.
    GSimpleAction* about = g_simple_action_new("about", nullptr);
    g_simple_action_set_enabled(about, FALSE);
    g_action_map_add_action(map, G_ACTION(about));
    g_object_unref(about);

    GMenu* bar = g_menu_new();

    GMenu* appMenu = g_menu_new();
    appendItem(section(appMenu), texts::app::kAbout, "app.about");
    appendItem(section(appMenu), texts::app::kQuit, "app.quit");
    g_menu_append_submenu(bar, texts::app::kAppMenu, G_MENU_MODEL(appMenu));
    g_object_unref(appMenu);

    GMenu* fileMenu = g_menu_new();
    GMenu* open = section(fileMenu);
    appendItem(open, texts::app::kOpenProject, "app.load-project");
    appendItem(open, texts::app::kOpenVideo, "app.open-video");
    appendItem(section(fileMenu), texts::app::kSaveProject, "app.save-project");
    appendItem(section(fileMenu), texts::app::kExport, "app.export");
    g_menu_append_submenu(bar, texts::app::kFileMenu, G_MENU_MODEL(fileMenu));
    g_object_unref(fileMenu);

    GMenu* editMenu = g_menu_new();
    appendItem(editMenu, texts::app::kCut, "app.cut");
    appendItem(editMenu, texts::app::kCopy, "app.copy");
    appendItem(editMenu, texts::app::kPaste, "app.paste");
    appendItem(editMenu, texts::app::kSelectAll, "app.select-all");
    g_menu_append_submenu(bar, texts::app::kEditMenu, G_MENU_MODEL(editMenu));
    g_object_unref(editMenu);

    gtk_application_set_menubar(shell.gtkApp, G_MENU_MODEL(bar));
    g_object_unref(bar);
}

}  // namespace tamo
