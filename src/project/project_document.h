#pragma once
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

// The .tamovid file: one JSON object holding the page's state, plus what the native side adds
// ("videoPath", "imagePaths", "narrationPath").
#include "platform/outcome.h"

namespace tamo::project {

inline constexpr const char* kExtension = "tamovid";

// The page's state with the current video's path, and the picture library's files and the
// narration's file unless the page keeps its own "imagePaths" / "narrationPath". Paths that cannot
// be written as JSON text are left out.
nlohmann::json documentToSave(const nlohmann::json& pageState, const std::optional<std::filesystem::path>& currentVideo,
                              const std::map<std::string, std::filesystem::path>& storedImages,
                              const std::optional<std::filesystem::path>& narration = std::nullopt);

// Pretty-printed JSON, or the description of why it cannot be written (a path that is not UTF-8).
// The document as the file holds it, or why it cannot be written (logged after "❌ Save failed: ").
Outcome<std::string> serializeForFile(const nlohmann::json& document);

// The document a project file holds, or why not: the failure's text is logged after
// "❌ Load failed: ", and its log line is the whole line ("❌ Invalid project file" for valid JSON
// whose top level is an array).
Outcome<nlohmann::json> readProjectFile(const std::filesystem::path& path);
// Same, for text already in memory.
Outcome<nlohmann::json> parseProjectText(const std::string& text);

// A member holding a path ("videoPath", "narrationPath"), whether or not the file exists; nothing when
// it is absent, not a text or empty.
std::optional<std::filesystem::path> storedPath(const nlohmann::json& document, const char* member);

// Adds the pictures of "imagePaths" whose files still exist; identifiers already in use keep their file.
// Returns how many were added.
int restoreImagePaths(const nlohmann::json& document, std::map<std::string, std::filesystem::path>& storedImages);

}  // namespace tamo::project
