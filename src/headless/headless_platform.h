#pragma once
#include <deque>
#include <optional>
#include <string>

#include "platform/dialogs.h"
#include "platform/main_queue.h"
#include "platform/page.h"
#include "platform/window.h"

namespace tamo::headless {

// The page: every script call becomes a "JS> " line on standard output.
class StdoutPage : public Page {
public:
    void evaluateScript(const std::string& script) override;
};

// The window: every title becomes a "TITLE> " line.
class StdoutWindow : public Window {
public:
    void setTitle(const std::string& title) override;
};

// Choosers answered from a queue that the input fills ({"choose": PATH} or {"choose": null}).
// Each chooser is announced as a "CHOOSER> " line; with no queued answer it is cancelled.
// The answer arrives later on the main queue, as a real chooser's would.
class ScriptedDialogs : public Dialogs {
public:
    explicit ScriptedDialogs(MainQueue& queue) : queue_(queue) {}
    void queueAnswer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }
    // Questions are answered from their own queue ({"confirm": true} or {"confirm": false}),
    // announced as "QUESTION> " lines; with no queued answer the answer is no.
    void queueConfirmation(bool yes) { confirmations_.push_back(yes); }
    void chooseFileToOpen(const ChooserOptions& options, ChooserDone done) override;
    void chooseFileToSave(const ChooserOptions& options, ChooserDone done) override;
    void askQuestion(const QuestionOptions& options, QuestionDone done) override;

private:
    void choose(const char* kind, const ChooserOptions& options, ChooserDone done);
    MainQueue& queue_;
    std::deque<std::optional<std::string>> answers_;
    std::deque<bool> confirmations_;
};

}  // namespace tamo::headless
