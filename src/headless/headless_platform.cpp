#include "headless/headless_platform.h"

#include <nlohmann/json.hpp>

#include "platform/log.h"

namespace tamo::headless {

void StdoutPage::evaluateScript(const std::string& script) { writeStdout("JS> " + oneLine(script) + "\n"); }

void StdoutWindow::setTitle(const std::string& title) { writeStdout("TITLE> " + oneLine(title) + "\n"); }

void ScriptedDialogs::chooseFileToOpen(const ChooserOptions& options, ChooserDone done) {
    choose("open", options, std::move(done));
}

void ScriptedDialogs::chooseFileToSave(const ChooserOptions& options, ChooserDone done) {
    choose("save", options, std::move(done));
}

void ScriptedDialogs::choose(const char* kind, const ChooserOptions& options, ChooserDone done) {
    nlohmann::json line = {{"kind", kind}, {"title", options.title}, {"extensions", options.extensions}};
    if (std::string(kind) == "save") line["suggestedName"] = options.suggestedName;
    writeStdout("CHOOSER> " + oneLine(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) + "\n");

    std::optional<std::filesystem::path> answer;
    if (!answers_.empty()) {
        if (answers_.front()) answer = std::filesystem::path(*answers_.front());
        answers_.pop_front();
    }
    queue_.post([done = std::move(done), answer] { done(answer); });
}

void ScriptedDialogs::askQuestion(const QuestionOptions& options, QuestionDone done) {
    nlohmann::json line = {{"title", options.title}, {"message", options.message}};
    writeStdout("QUESTION> " + line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    bool yes = false;
    if (!confirmations_.empty()) {
        yes = confirmations_.front();
        confirmations_.pop_front();
    }
    queue_.post([done = std::move(done), yes] { done(yes); });
}

}  // namespace tamo::headless
