#pragma once
#include <filesystem>
#include <string>

#include "platform/dialogs.h"

namespace tamo {

// The chosen path with the file type's extension (no dot, compared without regard to letter case).
std::filesystem::path withExtension(std::filesystem::path chosen, const std::string& extension);

// Settles where a save chooser's answer is written. A name that already ends in the extension is
// used as it is: the chooser itself asked before returning an existing file. A name typed without
// it gets the extension, and since the chooser never saw that name, an existing file there is
// replaced only after the user says yes. done gets the final path, or nothing when the user said no
// (or the chooser was cancelled).
void settleSaveLocation(Dialogs& dialogs, const std::optional<std::filesystem::path>& chosen,
                        const std::string& extension, ChooserDone done);

}  // namespace tamo
