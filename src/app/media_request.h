#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tamo {

// The address scheme the page plays local media through; the web process itself never opens them.
inline constexpr std::string_view kMediaScheme = "tamo-media";

// The files the native side has handed to the page (the current video, a generated background,
// the narration). Nothing else is served, however the address is spelled. Main thread only.
class MediaAllowList {
public:
    void allow(const std::filesystem::path& file);
    bool allows(const std::filesystem::path& file) const;

private:
    std::set<std::string> files_;
};

// What a Range header asks of a file of `size` bytes: the whole file (no header, or one we do not
// understand, which HTTP lets a server ignore), one span of it, or a span beyond its end.
struct RangeAnswer {
    enum class Kind { Whole, Partial, Unsatisfiable } kind = Kind::Whole;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
RangeAnswer answerRange(std::string_view rangeHeader, std::uint64_t size);

// The path behind a "tamo-media:///…" address (percent-decoded as in file:// addresses); nothing
// for any other address, a relative one, or one with a host.
std::optional<std::filesystem::path> mediaFileFromUri(std::string_view uri);

// "Content-Type" by extension, for the media the editor hands out.
std::string mediaContentType(const std::filesystem::path& file);

// The full answer to one request, before any byte is read.
struct MediaAnswer {
    int status = 404;  // 200, 206, 403, 404 or 416
    std::string reason;
    std::filesystem::path file;  // set for 200 and 206
    std::uint64_t offset = 0;    // first byte sent
    std::uint64_t length = 0;    // bytes sent
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
};
MediaAnswer answerMediaRequest(const MediaAllowList& allowed, std::string_view uri, std::string_view rangeHeader);

}  // namespace tamo
