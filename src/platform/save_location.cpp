#include "platform/save_location.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/texts/file_texts.h"

namespace tamo {
namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::filesystem::path withExtension(std::filesystem::path chosen, const std::string& extension) {
    if (!chosen.has_filename() || lowered(chosen.extension().string()) == "." + lowered(extension)) return chosen;
    chosen += "." + extension;
    return chosen;
}

void settleSaveLocation(Dialogs& dialogs, const std::optional<std::filesystem::path>& chosen,
                        const std::string& extension, ChooserDone done) {
    if (!chosen || chosen->empty()) return done(std::nullopt);
    std::filesystem::path location = withExtension(*chosen, extension);
    std::error_code ec;
    // symlink_status: a dangling link is still something the write would replace.
    bool occupied = std::filesystem::exists(std::filesystem::symlink_status(location, ec));
    if (location == *chosen || !occupied) return done(location);

    QuestionOptions question;
    question.title = texts::file::kReplaceTitle;
    question.message = texts::file::replaceQuestion(location.filename().string());
    question.acceptLabel = texts::file::kReplaceAccept;
    question.cancelLabel = texts::file::kReplaceCancel;
    dialogs.askQuestion(question, [location, done = std::move(done)](bool yes) {
        done(yes ? std::optional<std::filesystem::path>(location) : std::nullopt);
    });
}

}  // namespace tamo
