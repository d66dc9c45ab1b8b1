#include "app/media_request.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <system_error>

namespace tamo {

namespace fs = std::filesystem;

void MediaAllowList::allow(const fs::path& file) { files_.insert(file.lexically_normal().string()); }

bool MediaAllowList::allows(const fs::path& file) const { return files_.count(file.lexically_normal().string()) > 0; }

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A run of decimal digits, all of it; nothing for an empty or oversized number.
std::optional<std::uint64_t> wholeNumber(std::string_view s) {
    if (s.empty()) return std::nullopt;
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace

RangeAnswer answerRange(std::string_view header, std::uint64_t size) {
    RangeAnswer whole{RangeAnswer::Kind::Whole, 0, size};
    header = trimmed(header);
    constexpr std::string_view unit = "bytes=";
    if (header.size() < unit.size() || !std::equal(unit.begin(), unit.end(), header.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        }))
        return whole;
    std::string_view rangeSet = trimmed(header.substr(unit.size()));
    // Several spans would need a multipart answer; serving the whole file is allowed instead.
    if (rangeSet.find(',') != std::string_view::npos) return whole;
    auto dash = rangeSet.find('-');
    if (dash == std::string_view::npos) return whole;
    std::string_view firstText = trimmed(rangeSet.substr(0, dash)), lastText = trimmed(rangeSet.substr(dash + 1));

    if (firstText.empty()) {  // "-N": the last N bytes
        auto suffix = wholeNumber(lastText);
        if (!suffix) return whole;
        if (*suffix == 0 || size == 0) return {RangeAnswer::Kind::Unsatisfiable, 0, 0};
        std::uint64_t length = std::min(*suffix, size);
        return {RangeAnswer::Kind::Partial, size - length, length};
    }
    auto first = wholeNumber(firstText);
    if (!first) return whole;
    std::uint64_t last = size == 0 ? 0 : size - 1;
    if (!lastText.empty()) {
        auto asked = wholeNumber(lastText);
        if (!asked || *asked < *first) return whole;  // syntactically invalid: ignored
        last = std::min(*asked, last);
    }
    if (*first >= size) return {RangeAnswer::Kind::Unsatisfiable, 0, 0};
    return {RangeAnswer::Kind::Partial, *first, last - *first + 1};
}

std::optional<fs::path> mediaFileFromUri(std::string_view uri) {
    std::string prefix = std::string(kMediaScheme) + "://";
    if (uri.size() <= prefix.size() || uri.substr(0, prefix.size()) != prefix) return std::nullopt;
    // The same spelling as the file:// address the page was given, so GLib decodes it the same way.
    std::string fileUri = "file://" + std::string(uri.substr(prefix.size()));
    if (auto query = fileUri.find_first_of("?#"); query != std::string::npos) fileUri.resize(query);
    GError* error = nullptr;
    char* hostname = nullptr;
    char* name = g_filename_from_uri(fileUri.c_str(), &hostname, &error);
    g_clear_error(&error);
    std::unique_ptr<char, decltype(&g_free)> ownedName(name, g_free), ownedHost(hostname, g_free);
    if (!name || (hostname && *hostname)) return std::nullopt;
    fs::path path(name);
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::string mediaContentType(const fs::path& file) {
    static const std::map<std::string, std::string> types = {
        {".mp4", "video/mp4"},   {".m4v", "video/mp4"},       {".mov", "video/quicktime"}, {".mkv", "video/x-matroska"},
        {".webm", "video/webm"}, {".avi", "video/x-msvideo"}, {".m4a", "audio/mp4"},       {".aac", "audio/aac"},
        {".mp3", "audio/mpeg"},  {".wav", "audio/wav"},       {".ogg", "audio/ogg"},       {".opus", "audio/ogg"}};
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    auto it = types.find(extension);
    return it == types.end() ? "application/octet-stream" : it->second;
}

MediaAnswer answerMediaRequest(const MediaAllowList& allowed, std::string_view uri, std::string_view rangeHeader) {
    MediaAnswer answer;
    // Only local pages can reach the scheme at all (it is registered as local), and the editor is
    // one of them: its fetch() may read the answer, spans and refusals included.
    answer.headers = {{"Access-Control-Allow-Origin", "*"},
                      {"Access-Control-Allow-Headers", "Range"},
                      {"Access-Control-Expose-Headers", "Content-Range, Content-Length, Accept-Ranges"}};
    auto file = mediaFileFromUri(uri);
    if (!file) {
        answer.status = 404;
        answer.reason = "Not Found";
        return answer;
    }
    if (!allowed.allows(*file)) {
        answer.status = 403;
        answer.reason = "Forbidden";
        return answer;
    }
    // From here on the listed spelling is the one opened: "dir/link/../clip" must not reach past
    // the list through a symbolic link that lexical normalisation stepped over.
    *file = file->lexically_normal();
    std::error_code ec;
    auto status = fs::status(*file, ec);
    if (ec || !fs::is_regular_file(status)) {
        answer.status = 404;
        answer.reason = "Not Found";
        return answer;
    }
    std::uint64_t size = fs::file_size(*file, ec);
    if (ec) {
        answer.status = 404;
        answer.reason = "Not Found";
        return answer;
    }
    answer.headers.emplace_back("Accept-Ranges", "bytes");
    // The page's own copy of a file may change (a background made again under the same name).
    answer.headers.emplace_back("Cache-Control", "no-store");
    RangeAnswer range = answerRange(rangeHeader, size);
    switch (range.kind) {
    case RangeAnswer::Kind::Unsatisfiable:
        answer.status = 416;
        answer.reason = "Range Not Satisfiable";
        answer.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        return answer;
    case RangeAnswer::Kind::Partial:
        answer.status = 206;
        answer.reason = "Partial Content";
        answer.headers.emplace_back("Content-Range", "bytes " + std::to_string(range.offset) + "-" +
                                                         std::to_string(range.offset + range.length - 1) + "/" +
                                                         std::to_string(size));
        break;
    case RangeAnswer::Kind::Whole:
        answer.status = 200;
        answer.reason = "OK";
        break;
    }
    answer.file = *file;
    answer.offset = range.offset;
    answer.length = range.length;
    answer.contentType = mediaContentType(*file);
    answer.headers.emplace_back("Content-Length", std::to_string(range.length));
    return answer;
}

}  // namespace tamo
