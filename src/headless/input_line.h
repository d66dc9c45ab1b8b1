#pragma once
#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace tamo::headless {

// One line of tamovid-headless input, read but not yet acted on.
struct InputLine {
    enum class Kind { Blank, Swift, ConsoleLog, Choose, Confirm, Idle, Skipped };
    Kind kind = Kind::Blank;
    nlohmann::json body;                    // the posted value (Swift, ConsoleLog)
    std::optional<std::string> chosenPath;  // Choose: the answer; nothing cancels the chooser
    bool confirmed = false;                 // Confirm: the answer to the next question
    const char* skipReason = "";            // Skipped: why
};

// Reads a line of the protocol: {"swift": BODY}, {"consoleLog": BODY}, {"choose": PATH|null},
// {"confirm": true|false} or {"idle": true}. Blank lines are ignored; anything else is skipped with a reason.
InputLine readInputLine(const std::string& line);

}  // namespace tamo::headless
