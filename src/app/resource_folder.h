#pragma once
#include <filesystem>
#include <optional>

namespace tamo {

// The program's resource folder: "resources" beside the executable when it holds editor.html
// (the build tree), else "../share/tamovid" from the executable's folder (the installed layout);
// nothing when neither exists.
std::optional<std::filesystem::path> resourceFolder(const std::filesystem::path& executableDir);

// The editor page: editor.html in the resource folder, or in "Resources" under the working
// directory when the program has none. An override folder (for tests) replaces both.
std::filesystem::path editorPagePath(const std::optional<std::filesystem::path>& resources,
                                     const std::filesystem::path& workingDirectory,
                                     const std::optional<std::filesystem::path>& overrideFolder = std::nullopt);

// The folder of the running executable (from /proc/self/exe), or nothing when it cannot be read.
std::optional<std::filesystem::path> executableDirectory();

}  // namespace tamo
