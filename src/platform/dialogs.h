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

// Non-modal open/save choosers. Both return at once; the answer comes later.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void chooseFileToOpen(const ChooserOptions& options, ChooserDone done) = 0;
    virtual void chooseFileToSave(const ChooserOptions& options, ChooserDone done) = 0;
};

}  // namespace tamo
