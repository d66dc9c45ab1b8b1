// tamovid-headless: the whole native side without a window, driven by JSON lines on standard
// input and reporting on standard output. Used by the end-to-end tests and for scripting.
#include <glib.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "headless/headless_driver.h"
#include "platform/log.h"

using namespace tamo;

int main() {
    // The locale of the environment, as GTK sets it for the window: whatever the window would
    // write differently on a Hungarian desktop is written the same way here.
    std::setlocale(LC_ALL, "");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);

    auto queue = std::make_shared<GlibMainQueue>();
    auto dialogs = std::make_shared<headless::ScriptedDialogs>(*queue);
    auto work = std::make_shared<BackgroundWork>();
    auto app = std::make_shared<AppDelegate>(PlatformServices{queue, dialogs, work});
    app->webView = std::make_shared<headless::StdoutPage>();
    app->mainWindow = std::make_shared<headless::StdoutWindow>();
    app->editorHandler->delegate = app;

    headless::Driver driver(app, queue, dialogs, work, loop);

    // Standard input is read on its own thread; each line is handed to the main thread in order.
    std::thread reader([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
            g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, [](gpointer data) -> gboolean {
                auto* pair = static_cast<std::pair<headless::Driver*, std::string>*>(data);
                pair->first->addLine(std::move(pair->second));
                delete pair;
                return G_SOURCE_REMOVE;
            }, new std::pair<headless::Driver*, std::string>(&driver, line), nullptr);
        }
        g_main_context_invoke(nullptr, [](gpointer data) -> gboolean {
            static_cast<headless::Driver*>(data)->endOfInput();
            return G_SOURCE_REMOVE;
        }, &driver);
    });

    g_main_loop_run(loop);
    reader.join();
    g_main_loop_unref(loop);
    return 0;
}
