#pragma once
// Test doubles for the platform interfaces.
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/app_delegate.h"
#include "platform/dialogs.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "platform/page.h"
#include "platform/window.h"

namespace tamo::test {

// Records every evaluated script call.
class FakePage : public Page {
public:
    void evaluateScript(const std::string& script) override { calls.push_back(script); }
    std::vector<std::string> calls;
};

class FakeWindow : public Window {
public:
    void setTitle(const std::string& title) override { titles.push_back(title); }
    std::vector<std::string> titles;
};

// A main queue the test drains by hand (tasks may be posted from any thread).
class ManualMainQueue : public MainQueue {
public:
    void post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    // Runs queued tasks (and the ones they post) until none is left; returns how many ran.
    int drain() {
        int ran = 0;
        for (std::function<void()> task; (task = take()); ++ran) task();
        return ran;
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

private:
    std::function<void()> take() {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return {};
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

// Choosers and questions that answer as the test scripts them; each chooser request is recorded.
class FakeDialogs : public Dialogs {
public:
    struct Request {
        std::string kind;  // "open" or "save"
        ChooserOptions options;
    };
    std::vector<Request> requests;
    std::deque<std::optional<std::filesystem::path>> answers;  // empty → cancel
    std::vector<QuestionOptions> questions;
    std::deque<bool> questionAnswers;  // empty → no

    void chooseFileToOpen(const ChooserOptions& options, ChooserDone done) override {
        answer("open", options, std::move(done));
    }
    void chooseFileToSave(const ChooserOptions& options, ChooserDone done) override {
        answer("save", options, std::move(done));
    }
    void askQuestion(const QuestionOptions& options, QuestionDone done) override {
        questions.push_back(options);
        done(!questionAnswers.empty() && next(questionAnswers));
    }

private:
    template <typename T>
    static T next(std::deque<T>& queue) {
        T front = std::move(queue.front());
        queue.pop_front();
        return front;
    }
    void answer(const char* kind, const ChooserOptions& options, ChooserDone done) {
        requests.push_back({kind, options});
        done(answers.empty() ? std::nullopt : next(answers));
    }
};

// Captures log lines while alive.
class LogCapture {
public:
    LogCapture() {
        setLogSink([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~LogCapture() { setLogSink({}); }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// An application object wired to fakes.
struct FakeApp {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakePage> page = std::make_shared<FakePage>();
    std::shared_ptr<FakeWindow> window = std::make_shared<FakeWindow>();

    std::shared_ptr<AppDelegate> app =
        std::make_shared<AppDelegate>(PlatformServices{queue, dialogs, std::make_shared<BackgroundWork>()});

    FakeApp() {
        app->webView = page;
        app->mainWindow = window;
        app->editorHandler->delegate = app;
    }
};

// Runs main-queue tasks until no background work is left; false if it did not end in time.
inline bool settle(FakeApp& fake, std::chrono::seconds timeout = std::chrono::seconds(60)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        fake.queue->drain();
        if (fake.app->services().work->inFlight() == 0 && fake.queue->size() == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

}  // namespace tamo::test
