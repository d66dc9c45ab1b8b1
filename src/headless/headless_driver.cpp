#include "headless/headless_driver.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <cstdio>

#include "headless/input_line.h"
#include "platform/log.h"

namespace tamo::headless {

Driver::Driver(std::shared_ptr<AppDelegate> app, std::shared_ptr<GlibMainQueue> queue,
               std::shared_ptr<ScriptedDialogs> dialogs, std::shared_ptr<BackgroundWork> work, GMainLoop* loop)
    : app_(std::move(app)),
      queue_(std::move(queue)),
      dialogs_(std::move(dialogs)),
      work_(std::move(work)),
      loop_(loop) {}

void Driver::addLine(std::string line) {
    lines_.push_back(std::move(line));
    schedulePump();
}

void Driver::endOfInput() {
    ended_ = true;
    schedulePump();
}

void Driver::schedulePump() {
    if (pumpScheduled_) return;
    pumpScheduled_ = true;
    // Low priority: everything already posted to the main queue (chooser answers, callbacks)
    // runs before the next input line is taken.
    g_idle_add_full(G_PRIORITY_LOW, reinterpret_cast<GSourceFunc>(&Driver::pumpCallback), this, nullptr);
}

int Driver::pumpCallback(void* self) {
    auto* driver = static_cast<Driver*>(self);
    if (driver->pump()) return G_SOURCE_CONTINUE;
    driver->pumpScheduled_ = false;
    return G_SOURCE_REMOVE;
}

bool Driver::isIdle() const { return work_->inFlight() == 0 && queue_->pending() == 0; }

bool Driver::pump() {
    if (waitingForIdle_) {
        if (!isIdle()) {
            g_usleep(2000);  // background work ends on other threads; poll gently
            return true;
        }
        waitingForIdle_ = false;
    }
    if (!lines_.empty()) {
        std::string line = std::move(lines_.front());
        lines_.pop_front();
        handle(line);
        return waitingForIdle_ || !lines_.empty() || ended_;
    }
    if (ended_) {
        if (!isIdle()) {
            g_usleep(2000);
            return true;
        }
        g_main_loop_quit(loop_);
    }
    return false;
}

void Driver::handle(const std::string& line) {
    InputLine input = readInputLine(line);
    switch (input.kind) {
    case InputLine::Kind::Blank: break;
    case InputLine::Kind::Skipped:
        std::fprintf(stderr, "tamovid-headless: skipped line (%s): %.200s\n", input.skipReason, oneLine(line).c_str());
        break;
    case InputLine::Kind::Swift: app_->editorHandler->didReceive(input.body); break;
    case InputLine::Kind::ConsoleLog: app_->consoleLogHandler->didReceive(input.body); break;
    case InputLine::Kind::Choose: dialogs_->queueAnswer(input.chosenPath); break;
    case InputLine::Kind::Confirm: dialogs_->queueConfirmation(input.confirmed); break;
    case InputLine::Kind::Idle: waitingForIdle_ = true; break;
    }
}

}  // namespace tamo::headless
