#include "project/project_document.h"

#include <glib.h>

#include <fstream>
#include <system_error>

#include "platform/json_depth.h"

namespace tamo::project {
namespace {

// A project is the page's state; anything this large is not one.
constexpr std::uintmax_t kMaxFileBytes = 256ull * 1024 * 1024;

bool writableAsJson(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

// The reader's message without its "[json.exception…] " tag, and with any bytes it quotes from a
// binary file made valid UTF-8 so the log line stays text.
std::string describe(const nlohmann::json::exception& e) {
    std::string text = e.what();
    if (text.rfind("[json.exception.", 0) == 0) {
        auto end = text.find("] ");
        if (end != std::string::npos) text.erase(0, end + 2);
    }
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

}  // namespace

nlohmann::json documentToSave(const nlohmann::json& pageState, const std::optional<std::filesystem::path>& currentVideo,
                              const std::map<std::string, std::filesystem::path>& storedImages,
                              const std::optional<std::filesystem::path>& narration) {
    nlohmann::json document = pageState.is_object() ? pageState : nlohmann::json::object();
    if (currentVideo) document["videoPath"] = currentVideo->string();
    // Picture identifiers mean nothing in a later run; their files let the next run file them again.
    if (!document.contains("imagePaths") && !storedImages.empty()) {
        nlohmann::json paths = nlohmann::json::object();
        for (const auto& [imageId, file] : storedImages)
            if (writableAsJson(imageId) && writableAsJson(file.string())) paths[imageId] = file.string();
        if (!paths.empty()) document["imagePaths"] = std::move(paths);
    }
    // The narration belongs to the work as much as the pictures: an export after reopening needs it.
    if (!document.contains("narrationPath") && narration && writableAsJson(narration->string()))
        document["narrationPath"] = narration->string();
    return document;
}

Outcome<std::string> serializeForFile(const nlohmann::json& document) {
    try {
        return document.dump(2);
    } catch (const nlohmann::json::exception& e) {
        return fail(describe(e));
    }
}

namespace {

Failure loadFailed(std::string description) {
    Failure failure = fail(std::move(description));
    failure.logLine = "❌ Load failed: " + failure.text;
    return failure;
}

}  // namespace

Outcome<nlohmann::json> parseProjectText(const std::string& text) {
    if (json_depth::textTooDeep(text)) return loadFailed(json_depth::kTooDeepText);
    nlohmann::json value;
    try {
        value = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        return loadFailed(describe(e));
    }
    if (value.is_object()) return value;
    if (value.is_array()) {
        Failure invalid = fail("not a project object");
        invalid.logLine = "❌ Invalid project file";
        return invalid;
    }
    // A lone text, number, boolean or null is not a JSON document the project reader takes.
    return loadFailed("the JSON text does not start with an object or an array");
}

Outcome<nlohmann::json> readProjectFile(const std::filesystem::path& path) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (ec) return loadFailed(ec.message());
    if (std::filesystem::is_directory(status)) return loadFailed(std::system_category().message(EISDIR));
    // A pipe or device could block the main thread for ever.
    if (!std::filesystem::is_regular_file(status)) return loadFailed("not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return loadFailed(std::system_category().message(errno ? errno : ENOENT));
    auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxFileBytes) return loadFailed("the file is too large for a project");
    std::string text;
    if (!ec) text.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileBytes) return loadFailed("the file is too large for a project");
    }
    if (in.bad()) return loadFailed(std::system_category().message(EIO));
    return parseProjectText(text);
}

std::optional<std::filesystem::path> storedPath(const nlohmann::json& document, const char* member) {
    auto found = document.find(member);
    if (found == document.end() || !found->is_string() || found->get_ref<const std::string&>().empty())
        return std::nullopt;
    return std::filesystem::path(found->get<std::string>());
}

int restoreImagePaths(const nlohmann::json& document, std::map<std::string, std::filesystem::path>& storedImages) {
    auto found = document.find("imagePaths");
    if (found == document.end() || !found->is_object()) return 0;
    int added = 0;
    for (const auto& [imageId, value] : found->items()) {
        if (!value.is_string()) continue;
        std::filesystem::path file = value.get<std::string>();
        std::error_code ec;
        if (file.empty() || !std::filesystem::is_regular_file(file, ec)) continue;
        if (storedImages.emplace(imageId, file).second) ++added;
    }
    return added;
}

}  // namespace tamo::project
