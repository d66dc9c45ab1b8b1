#pragma once
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tamo {

struct ChooserOptions {
    std::string title;
    std::vector<std::string> extensions;  // without dot; empty = any file
    std::string suggestedName;            // save choosers only
};

// Called once on the main thread: the chosen path, or nothing when cancelled.
using ChooserDone = std::function<void(std::optional<std::filesystem::path>)>;

// A yes/no question such as "replace the existing file?".
struct QuestionOptions {
    std::string title;
    std::string message;
    std::string acceptLabel;  // the button that answers yes
    std::string cancelLabel;  // the button that answers no
};
// Called once on the main thread: true only when the user accepted.
using QuestionDone = std::function<void(bool)>;

// Non-modal open/save choosers and a question. All return at once; the answer comes later.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void chooseFileToOpen(const ChooserOptions& options, ChooserDone done) = 0;
    virtual void chooseFileToSave(const ChooserOptions& options, ChooserDone done) = 0;
    // A platform that cannot ask answers no: nothing is replaced without the user's yes.
    virtual void askQuestion(const QuestionOptions& options, QuestionDone done) {
        (void)options;
        done(false);
    }
};

}  // namespace tamo
