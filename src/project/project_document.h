#pragma once
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>

// The .tamovid file: one JSON object holding the page's state, plus what the native side adds
// ("videoPath", "imagePaths", "narrationPath").
namespace tamo::project {

inline constexpr const char* kExtension = "tamovid";

// The page's state with the current video's path, and the picture library's files and the
// narration's file unless the page keeps its own "imagePaths" / "narrationPath". Paths that cannot
// be written as JSON text are left out.
nlohmann::json documentToSave(const nlohmann::json& pageState, const std::optional<std::filesystem::path>& currentVideo,
                              const std::map<std::string, std::filesystem::path>& storedImages,
                              const std::optional<std::filesystem::path>& narration = std::nullopt);

// Pretty-printed JSON, or the description of why it cannot be written (a path that is not UTF-8).
struct Serialized {
    std::optional<std::string> text;
    std::string error;
};
Serialized serializeForFile(const nlohmann::json& document);

// Outcome of reading a project file.
struct LoadFailed {
    std::string description;  // logged after "❌ Load failed: "
};
struct NotAnObject {};  // valid JSON whose top level is an array
using ReadResult = std::variant<nlohmann::json, LoadFailed, NotAnObject>;

ReadResult readProjectFile(const std::filesystem::path& path);
// Same, for text already in memory.
ReadResult parseProjectText(const std::string& text);

// A member holding a path ("videoPath", "narrationPath"), whether or not the file exists; nothing when
// it is absent, not a text or empty.
std::optional<std::filesystem::path> storedPath(const nlohmann::json& document, const char* member);

// Adds the pictures of "imagePaths" whose files still exist; identifiers already in use keep their file.
// Returns how many were added.
int restoreImagePaths(const nlohmann::json& document, std::map<std::string, std::filesystem::path>& storedImages);

}  // namespace tamo::project
