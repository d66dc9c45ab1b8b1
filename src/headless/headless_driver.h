#pragma once
#include <deque>
#include <memory>
#include <string>

#include "bridge/app_delegate.h"
#include "headless/headless_platform.h"
#include "platform/glib_main_queue.h"

typedef struct _GMainLoop GMainLoop;

namespace tamo::headless {

// Drives the native side from JSON lines (one per line, taken in order on the main thread):
//   {"swift": BODY}      post BODY to the "swift" handler
//   {"consoleLog": BODY} post BODY to the "consoleLog" handler
//   {"choose": "PATH"}   answer the next chooser with PATH; {"choose": null} cancels it
//   {"idle": true}       take no further line until no background work is in flight
// At end of input it waits as for idle, then quits the loop.
class Driver {
public:
    Driver(std::shared_ptr<AppDelegate> app, std::shared_ptr<GlibMainQueue> queue,
           std::shared_ptr<ScriptedDialogs> dialogs, std::shared_ptr<BackgroundWork> work, GMainLoop* loop);

    // Called on the main thread for each input line; endOfInput once at the end.
    void addLine(std::string line);
    void endOfInput();

private:
    void schedulePump();
    static int pumpCallback(void* self);
    bool pump();  // true while it should run again
    bool isIdle() const;
    void handle(const std::string& line);

    std::shared_ptr<AppDelegate> app_;
    std::shared_ptr<GlibMainQueue> queue_;
    std::shared_ptr<ScriptedDialogs> dialogs_;
    std::shared_ptr<BackgroundWork> work_;
    GMainLoop* loop_;
    std::deque<std::string> lines_;
    bool ended_ = false;
    bool waitingForIdle_ = false;
    bool pumpScheduled_ = false;
};

}  // namespace tamo::headless
