// tamovid-headless: the whole native side without a window, driven by JSON lines on standard
// input and reporting on standard output. Used by the end-to-end tests and for scripting.
#include <glib-unix.h>
#include <glib.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "headless/headless_driver.h"
#include "headless/stdin_lines.h"
#include "platform/log.h"

using namespace tamo;

namespace {

// How long quitting waits for cancelled background work to clean up and end.
constexpr std::chrono::milliseconds kQuitBound{1000};

struct Quit {
    GMainLoop* loop = nullptr;
    int signal = 0;  // the signal that ended the run, if one did
};

// SIGTERM or SIGINT: work in flight is cancelled instead of waited for (end of input waits).
template <int Signal>
gboolean onQuitSignal(gpointer data) {
    auto* quit = static_cast<Quit*>(data);
    quit->signal = Signal;
    g_main_loop_quit(quit->loop);
    return G_SOURCE_REMOVE;
}

}  // namespace

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
    Quit quit{loop};
    g_unix_signal_add(SIGTERM, onQuitSignal<SIGTERM>, &quit);
    g_unix_signal_add(SIGINT, onQuitSignal<SIGINT>, &quit);

    {
        // Standard input is read on its own thread; each line is handed to the main thread in order.
        headless::StdinLines input(
            [&driver](std::string line) {
                g_main_context_invoke_full(
                    nullptr, G_PRIORITY_DEFAULT,
                    [](gpointer data) -> gboolean {
                        auto* pair = static_cast<std::pair<headless::Driver*, std::string>*>(data);
                        pair->first->addLine(std::move(pair->second));
                        delete pair;
                        return G_SOURCE_REMOVE;
                    },
                    new std::pair<headless::Driver*, std::string>(&driver, std::move(line)), nullptr);
            },
            [&driver] {
                g_main_context_invoke(
                    nullptr,
                    [](gpointer data) -> gboolean {
                        static_cast<headless::Driver*>(data)->endOfInput();
                        return G_SOURCE_REMOVE;
                    },
                    &driver);
            });
        g_main_loop_run(loop);
    }

    // Cancelled work removes its temporary files; a worker that does not end within the bound
    // must not meet the static destructors, so the process ends at once.
    if (!work->shutdown(kQuitBound)) {
        std::fprintf(stderr, "tamovid-headless: background work did not end in time; quitting without it\n");
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(quit.signal ? 128 + quit.signal : 0);
    }
    g_main_loop_unref(loop);
    std::fflush(stdout);
    // Ended by a signal: the status says so, as the signal's own default would have.
    return quit.signal ? 128 + quit.signal : 0;
}
