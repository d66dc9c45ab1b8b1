// Which requests for local media the page gets answered, and with which bytes of the file.
#include "app/media_request.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>

namespace tamo {
namespace {

namespace fs = std::filesystem;
using Kind = RangeAnswer::Kind;

std::string addressOf(const fs::path& file) {
    char* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    std::string text = std::string(kMediaScheme) + (uri + 4);  // "file:///…" → "tamo-media:///…"
    g_free(uri);
    return text;
}

std::map<std::string, std::string> headerMap(const MediaAnswer& answer) {
    return {answer.headers.begin(), answer.headers.end()};
}

TEST(MediaRange, SpansTheWayHttpDefinesThem) {
    struct Case {
        const char* header;
        std::uint64_t size;
        Kind kind;
        std::uint64_t offset, length;
    } cases[] = {
        {"", 1000, Kind::Whole, 0, 1000},
        {"bytes=0-", 1000, Kind::Partial, 0, 1000},
        {"bytes=100-199", 1000, Kind::Partial, 100, 100},
        {"bytes=999-999", 1000, Kind::Partial, 999, 1},
        {"bytes=900-5000", 1000, Kind::Partial, 900, 100},  // an end past the file is cut to it
        {"bytes=-100", 1000, Kind::Partial, 900, 100},
        {"bytes=-5000", 1000, Kind::Partial, 0, 1000},
        {" Bytes=10-19 ", 1000, Kind::Partial, 10, 10},
        {"bytes=1000-", 1000, Kind::Unsatisfiable, 0, 0},
        {"bytes=5000-6000", 1000, Kind::Unsatisfiable, 0, 0},
        {"bytes=-0", 1000, Kind::Unsatisfiable, 0, 0},
        {"bytes=0-", 0, Kind::Unsatisfiable, 0, 0},
        // Not understood: HTTP lets the server answer with the whole file.
        {"bytes=200-100", 1000, Kind::Whole, 0, 1000},
        {"bytes=0-10,20-30", 1000, Kind::Whole, 0, 1000},
        {"items=0-10", 1000, Kind::Whole, 0, 1000},
        {"bytes=x-10", 1000, Kind::Whole, 0, 1000},
        {"bytes=10", 1000, Kind::Whole, 0, 1000},
        {"bytes = 10-19", 1000, Kind::Whole, 0, 1000},
        {"bytes=99999999999999999999999-", 1000, Kind::Whole, 0, 1000},
    };
    for (const auto& c : cases) {
        RangeAnswer a = answerRange(c.header, c.size);
        EXPECT_EQ(a.kind, c.kind) << c.header;
        EXPECT_EQ(a.offset, c.offset) << c.header;
        EXPECT_EQ(a.length, c.length) << c.header;
    }
}

TEST(MediaAddress, OnlyAbsoluteLocalPathsOfTheScheme) {
    EXPECT_EQ(mediaFileFromUri("tamo-media:///home/u/.hidden/a%20b%C3%A9.mp4"), fs::path("/home/u/.hidden/a bé.mp4"));
    EXPECT_EQ(mediaFileFromUri("tamo-media:///media/x.mp4?t=1#frag"), fs::path("/media/x.mp4"));
    EXPECT_FALSE(mediaFileFromUri("file:///media/x.mp4"));
    EXPECT_FALSE(mediaFileFromUri("tamo-media://somehost/media/x.mp4"));
    EXPECT_FALSE(mediaFileFromUri("tamo-media:relative.mp4"));
    EXPECT_FALSE(mediaFileFromUri("tamo-media://"));
    EXPECT_EQ(mediaContentType("/a/B.MP4"), "video/mp4");
    EXPECT_EQ(mediaContentType("/a/b.mov"), "video/quicktime");
    EXPECT_EQ(mediaContentType("/a/b"), "application/octet-stream");
}

class MediaRequest : public ::testing::Test {
protected:
    MediaRequest() {
        dir_ = fs::temp_directory_path() / ("tamo_media_request_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / ".hidden folder");
        clip_ = dir_ / ".hidden folder/klip é.mp4";
        std::ofstream(clip_, std::ios::binary) << std::string(1000, 'v');
        other_ = dir_ / "other.mp4";
        std::ofstream(other_, std::ios::binary) << "secret";
        allowed_.allow(clip_);
    }
    ~MediaRequest() override { fs::remove_all(dir_); }
    fs::path dir_, clip_, other_;
    MediaAllowList allowed_;
};

TEST_F(MediaRequest, AnAllowedFileIsServedWholeOrInPart) {
    MediaAnswer whole = answerMediaRequest(allowed_, addressOf(clip_), "");
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.file, clip_);
    EXPECT_EQ(whole.length, 1000u);
    EXPECT_EQ(whole.contentType, "video/mp4");
    EXPECT_EQ(headerMap(whole)["Content-Length"], "1000");
    EXPECT_EQ(headerMap(whole)["Accept-Ranges"], "bytes");
    EXPECT_EQ(headerMap(whole).count("Content-Range"), 0u);

    MediaAnswer part = answerMediaRequest(allowed_, addressOf(clip_), "bytes=100-");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.offset, 100u);
    EXPECT_EQ(part.length, 900u);
    EXPECT_EQ(headerMap(part)["Content-Range"], "bytes 100-999/1000");
    EXPECT_EQ(headerMap(part)["Content-Length"], "900");

    MediaAnswer beyond = answerMediaRequest(allowed_, addressOf(clip_), "bytes=1000-");
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(headerMap(beyond)["Content-Range"], "bytes */1000");
    EXPECT_TRUE(beyond.file.empty());
}

TEST_F(MediaRequest, EverythingElseIsRefused) {
    // A file beside the allowed one, and the allowed one spelled around the list.
    EXPECT_EQ(answerMediaRequest(allowed_, addressOf(other_), "").status, 403);
    EXPECT_EQ(answerMediaRequest(allowed_, addressOf(dir_ / ".hidden folder/../other.mp4"), "").status, 403);
    EXPECT_EQ(answerMediaRequest(allowed_, addressOf("/etc/passwd"), "").status, 403);
    EXPECT_EQ(answerMediaRequest(allowed_, "file://" + addressOf(clip_).substr(kMediaScheme.size() + 3), "").status,
              404);
    // The same file through a path with "." and ".." is the same file.
    fs::path roundabout = dir_ / "." / ".hidden folder" / ".." / ".hidden folder" / "klip é.mp4";
    MediaAnswer same = answerMediaRequest(allowed_, addressOf(roundabout), "");
    EXPECT_EQ(same.status, 200);
    EXPECT_EQ(same.file, clip_);  // opened by its listed name, not through the detour

    // An allowed entry that is no longer a regular file is not found, never read.
    fs::remove(clip_);
    EXPECT_EQ(answerMediaRequest(allowed_, addressOf(clip_), "").status, 404);
    fs::create_directory(clip_);
    EXPECT_EQ(answerMediaRequest(allowed_, addressOf(clip_), "").status, 404);
}

}  // namespace
}  // namespace tamo
