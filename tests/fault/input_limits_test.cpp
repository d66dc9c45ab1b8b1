// Input nobody should send, and each way in holds against it: nesting far past any real state, names
// with line breaks, pictures that unpack into gigabytes, playlists posing as clips, special files at a
// chosen path, and crowds of background work.
#include <cairo.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "fault/process_run.h"
#include "media/ffmpeg_ptr.h"
#include "media/media_probe.h"
#include "media/picture_decoder.h"
#include "media/picture_png.h"
#include "media/picture_size.h"
#include "platform/atomic_file.h"
#include "platform/json_depth.h"
#include "platform/log.h"
#include "platform/work_gate.h"
#include "support/headless_runner.h"

#ifndef TAMO_RENDER_BIN
#error "TAMO_RENDER_BIN must name the tamovid-render executable"
#endif

namespace tamo::test {
namespace {

using nlohmann::json;

std::string nestedArrays(int depth, const std::string& inner = "1") {
    return std::string(static_cast<std::size_t>(depth), '[') + inner +
           std::string(static_cast<std::size_t>(depth), ']');
}

bool anyLineStartsWith(const HeadlessResult& r, const std::string& prefix) {
    for (const auto& line : r.lines)
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

TEST(JsonDepth, TextAndValuesShareOneLimit) {
    const int limit = json_depth::kMaxNesting;
    EXPECT_FALSE(json_depth::textTooDeep(nestedArrays(limit)));
    EXPECT_TRUE(json_depth::textTooDeep(nestedArrays(limit + 1)));
    // Brackets inside strings, escaped quotes included, are text.
    EXPECT_FALSE(json_depth::textTooDeep("[\"\\\"" + std::string(2000, '[') + "\"]"));
    EXPECT_FALSE(json_depth::valueTooDeep(json::parse(nestedArrays(limit))));
    EXPECT_TRUE(json_depth::valueTooDeep(json::parse("{\"a\":" + nestedArrays(limit) + "}")));
    EXPECT_TRUE(json_depth::parseWithinLimit(nestedArrays(limit + 1)).is_discarded());
    EXPECT_EQ(json_depth::parseWithinLimit(nestedArrays(3)), json::parse("[[[1]]]"));
}

// A page message nested a hundred thousand levels deep used to crash the program while its
// parameters were copied. Now saving and exporting refuse it with their own errors, while state
// right at the limit is saved and loads back.
TEST(JsonDepth, DeepPageMessagesAreRefusedByTheirOperations) {
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "clip.mp4", 64, 36, 0.2, false));
    const std::string deep = nestedArrays(100000);
    const std::string deepSave = R"({"swift":{"action":"saveProject","params":{"state":)" + deep + "}}}";
    const std::string deepExport =
        R"({"swift":{"action":"exportVideo","params":{"textObjects":[{"id":"t","x":)" + deep + "}]}}}";
    const auto atLimit = dir / "at_limit.tamovid";
    json atLimitState = {{"state", json::parse(nestedArrays(json_depth::kMaxNesting - 1))}};

    auto r = runHeadlessRaw({
        json{{"choose", (dir / "clip.mp4").string()}}.dump(),
        swift("openVideo").dump(),
        idle().dump(),
        deepSave,
        deepExport,
        idle().dump(),
        json{{"choose", atLimit.string()}}.dump(),
        swift("saveProject", atLimitState).dump(),
        idle().dump(),
        json{{"choose", atLimit.string()}}.dump(),
        swift("loadProject").dump(),
    });
    ASSERT_EQ(r.exitCode, 0) << r.stderrText;
    EXPECT_TRUE(r.hasLine("❌ Save failed: the JSON text is nested too deeply"));
    EXPECT_TRUE(anyLineStartsWith(r, "JS> onExportError("));
    EXPECT_FALSE(anyLineStartsWith(r, "JS> onExportProgress("));
    EXPECT_TRUE(r.hasLine("💾 Project saved: " + atLimit.string()));
    EXPECT_TRUE(r.hasLine("📂 Project loaded: " + atLimit.string()));
    EXPECT_TRUE(anyLineStartsWith(r, "JS> onProjectLoaded("));
}

TEST(JsonDepth, DeepExportParametersFileIsRefusedByTheCommandLine) {
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "clip.mp4", 64, 36, 0.2, false));
    writeFile(dir / "params.json", R"({"textObjects":[{"id":"t","x":)" + nestedArrays(100000) + "}]}");
    auto end = runShell(dir, std::string(TAMO_RENDER_BIN) + " --video " + shellQuoted((dir / "clip.mp4").string()) +
                                 " --params " + shellQuoted((dir / "params.json").string()) + " --output " +
                                 shellQuoted((dir / "out.mp4").string()));
    EXPECT_EQ(end.exitCode, 1) << end.err;
    EXPECT_NE(end.err.find("nested too deeply"), std::string::npos) << end.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mp4"));
}

// Every line tamovid-headless prints stays one line, whatever a name taken from the page holds.
TEST(OneLineOutput, NamesCannotForgeProtocolLines) {
    EXPECT_EQ(oneLine("a\nb\r\nc"), "a\\nb\\r\\nc");
    EXPECT_EQ(oneLine("x\u2028y\u2029z\u0085\x0b\x0c\x1e"), "x\\u2028y\\u2029z\\u0085\\u000b\\u000c\\u001e");
    EXPECT_EQ(oneLine("C:\\út ✅"), "C:\\út ✅");

    TempDir dir;
    const auto project = dir / "p\nTITLE> forged.tamovid";
    auto r = runHeadlessRaw({
        json{{"swift", {{"action", "x\nJS> forged()\r\nCHOOSER> {}"}}}}.dump(),
        json{{"consoleLog", {{"level", "log"}, {"message", "one\nJS> forged()"}}}}.dump(),
        json{{"choose", project.string()}}.dump(),
        swift("saveProject", json::object()).dump(),
    });
    ASSERT_EQ(r.exitCode, 0) << r.stderrText;
    for (const auto& line : r.lines) {
        EXPECT_NE(line, "JS> forged()");
        EXPECT_NE(line, "CHOOSER> {}");
        EXPECT_NE(line, "TITLE> forged.tamovid");
    }
    EXPECT_TRUE(r.hasLine("⚠️ Unknown action: x\\nJS> forged()\\r\\nCHOOSER> {}"));
    EXPECT_TRUE(std::filesystem::exists(project));
    EXPECT_TRUE(anyLineStartsWith(r, "TITLE> Tamo Video Editor \u2014 p\\nTITLE> forged.tamovid"));
}

// A one-bit PNG: a few kilobytes on disk for any number of pixels.
void writeBlankPng(const std::filesystem::path& file, int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_surface_write_to_png(surface, file.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);
}

bool decodePictureFromBmpSeed(const std::string& bytes) {
    TempDir dir;
    writeFile(dir / "tiny.bmp", bytes);
    return pictureFileSizeAllowed(dir / "tiny.bmp") && pictureFileToPng(dir / "tiny.bmp").has_value();
}

// A project's pictures used to skip the size check downloads get: an export stalled for seconds and
// took gigabytes drawing one.
TEST(PictureSize, OneRuleForEveryPictureThatComesIn) {
    EXPECT_TRUE(pictureSizeAllowed(10000, 10000));
    EXPECT_FALSE(pictureSizeAllowed(10000, 10001));
    EXPECT_FALSE(pictureSizeAllowed(0, 10));
    EXPECT_FALSE(pictureSizeAllowed(2'000'000'000, 2'000'000'000));

    // 58 bytes of BMP whose pixel data would start 4 GB in: its decoder would reserve all of that.
    const std::string bmpBomb = readFile(std::filesystem::path(TAMO_SOURCE_DIR) /
                                         "tests/fuzz/corpus/picture_bytes/regression_bmp_data_offset_4gb.bmp");
    ASSERT_EQ(bmpBomb.size(), 58u);
    EXPECT_FALSE(pictureHeaderPlausible(bmpBomb, bmpBomb.size()));
    const std::string headerBomb = readFile(std::filesystem::path(TAMO_SOURCE_DIR) /
                                            "tests/fuzz/corpus/picture_bytes/regression_bmp_header_size_4gb.bmp");
    EXPECT_FALSE(pictureHeaderPlausible(headerBomb, headerBomb.size()));
    const std::string tinyBmp =
        readFile(std::filesystem::path(TAMO_SOURCE_DIR) / "tests/fuzz/corpus/picture_bytes/tiny.bmp");
    EXPECT_TRUE(pictureHeaderPlausible(tinyBmp, tinyBmp.size()));
    EXPECT_TRUE(decodePictureFromBmpSeed(tinyBmp));

    TempDir dir;
    writeFile(dir / "bomb.bmp", bmpBomb);
    EXPECT_FALSE(pictureFileSizeAllowed(dir / "bomb.bmp"));
    writeBlankPng(dir / "huge.png", 10240, 10240);
    writeBlankPng(dir / "small.png", 64, 48);
    ASSERT_LT(std::filesystem::file_size(dir / "huge.png"), 2u * 1024 * 1024);
    EXPECT_FALSE(pictureFileSizeAllowed(dir / "huge.png"));
    DecodedPicture huge = decodePictureFile(dir / "huge.png");
    EXPECT_FALSE(huge) << "the picture decoder decoded a picture past the limit";
    EXPECT_TRUE(huge.tooLarge);
    EXPECT_FALSE(pictureFileToPng(dir / "huge.png"));
    DecodedPicture small = decodePictureFile(dir / "small.png");
    ASSERT_TRUE(small);
    EXPECT_EQ(small.width, 64);
    EXPECT_EQ(small.height, 48);
}

// A local file that is really a playlist or a concat list would pull other files into the export.
TEST(MediaOpening, PlaylistsAndProtocolsAreNotMedia) {
    TempDir dir;
    const auto clip = dir / "clip.mp4";
    ASSERT_TRUE(makeClip(clip, 64, 36, 0.4, false));
    writeFile(dir / "playlist.mp4",
              "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:0\n"
              "#EXTINF:0.4,\n" +
                  clip.string() + "\n#EXT-X-ENDLIST\n");
    writeFile(dir / "list.mov", "ffconcat version 1.0\nfile '" + clip.string() + "'\n");

    EXPECT_TRUE(av::openInput(clip.string()));
    EXPECT_TRUE(probeMedia(clip));
    for (const char* name : {"playlist.mp4", "list.mov"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(av::openInput((dir / name).string()));
        EXPECT_FALSE(av::openContainer((dir / name).string()));
        EXPECT_FALSE(probeMedia(dir / name));
    }
    // A colon in what is meant as a path never names a protocol.
    EXPECT_FALSE(av::openInput("concat:" + clip.string() + "|" + clip.string()));
    EXPECT_FALSE(av::openInput("subfile,,start,0,end,0,,:" + clip.string()));
}

// At most `limit` run at once, in the order they came; a slot handed back lets the next one in.
TEST(WorkGate, BoundsConcurrentWorkAndKeepsArrivalOrder) {
    WorkGate gate(2);
    constexpr int kJobs = 6;
    std::atomic<int> mayLeave{0};
    std::mutex orderMutex;
    std::vector<int> admitted;
    std::atomic<int> maxRunning{0}, runningNow{0};
    std::vector<std::thread> jobs;
    auto waitFor = [](auto condition) {
        while (!condition()) std::this_thread::yield();
    };
    for (int i = 0; i < kJobs; ++i) {
        jobs.emplace_back([&, i] {
            auto slot = gate.enter();
            int now = ++runningNow;
            int seen = maxRunning.load();
            while (now > seen && !maxRunning.compare_exchange_weak(seen, now)) {
            }
            {
                std::lock_guard lock(orderMutex);
                admitted.push_back(i);
            }
            waitFor([&] { return mayLeave.load() > i; });
            --runningNow;
        });
        // Arrival order is the order the test starts them in.
        waitFor([&] {
            std::lock_guard lock(orderMutex);
            return gate.running() + gate.waiting() == static_cast<std::size_t>(i + 1) &&
                   admitted.size() == static_cast<std::size_t>(std::min(i + 1, 2));
        });
    }
    EXPECT_EQ(gate.running(), 2u);
    EXPECT_EQ(gate.waiting(), 4u);
    for (int i = 1; i <= kJobs; ++i) {
        mayLeave = i;
        // The next one in has noted itself before another leaves, so the notes keep the gate's order.
        const std::size_t noted = static_cast<std::size_t>(std::min(kJobs, i + 2));
        waitFor([&] {
            std::lock_guard lock(orderMutex);
            return gate.running() + gate.waiting() == static_cast<std::size_t>(kJobs - i) && admitted.size() == noted;
        });
    }
    for (auto& job : jobs) job.join();
    EXPECT_EQ(maxRunning.load(), 2);
    EXPECT_EQ(admitted, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (auto kind : {WorkKind::Export, WorkKind::Merge, WorkKind::Speech, WorkKind::Background, WorkKind::Network})
        EXPECT_LE(workGate(kind).limit(), 4u);
}

// Write-then-rename never replaces a device, pipe, socket or folder, and names up to the file
// system's limit can be saved.
TEST(AtomicReplace, OnlyRegularFilesAreReplacedAndLongNamesFit) {
    TempDir dir;
    const std::string longName = std::string(247, 'a') + ".tamovid";  // 255 bytes
    ASSERT_EQ(longName.size(), 255u);
    EXPECT_EQ(replaceFileAtomically(dir / longName, "{}"), std::nullopt);
    EXPECT_EQ(readFile(dir / longName), "{}");
    std::string accented;
    while (accented.size() + 2 + 8 <= 255) accented += "é";
    accented += ".tamovid";
    const auto sibling = temporarySibling(dir / accented, "12345678").filename().string();
    EXPECT_LE(sibling.size(), 255u);
    EXPECT_TRUE(g_utf8_validate(sibling.data(), static_cast<gssize>(sibling.size()), nullptr));
    EXPECT_EQ(replaceFileAtomically(dir / accented, "[1]"), std::nullopt);
    EXPECT_EQ(readFile(dir / accented), "[1]");
    EXPECT_EQ(visibleNames(dir.path()), (std::vector<std::string>{longName, accented}));

    TempDir special;
    ASSERT_EQ(::mkfifo((special / "pipe.tamovid").c_str(), 0600), 0);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (special / "sock.tamovid").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::filesystem::create_symlink("pipe.tamovid", special / "link.tamovid");
    for (const char* name : {"pipe.tamovid", "sock.tamovid", "link.tamovid"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(replaceFileAtomically(special / name, "{}"), "not a regular file");
    }
    writeFile(special / "done.tmp", "x");
    EXPECT_EQ(renameOverRegularFile(special / "done.tmp", special / "pipe.tamovid"), "not a regular file");
    ::close(sock);
    EXPECT_TRUE(std::filesystem::is_fifo(special / "pipe.tamovid"));
    EXPECT_TRUE(std::filesystem::is_socket(special / "sock.tamovid"));
    EXPECT_TRUE(std::filesystem::is_symlink(special / "link.tamovid"));
    EXPECT_EQ(visibleNames(special.path()),
              (std::vector<std::string>{"done.tmp", "link.tamovid", "pipe.tamovid", "sock.tamovid"}));
}

// An export to a pipe is refused after the work, and the pipe stays a pipe.
TEST(AtomicReplace, AnExportOverAPipeIsRefused) {
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "clip.mp4", 64, 36, 0.2, false));
    ASSERT_EQ(::mkfifo((dir / "out.mp4").c_str(), 0600), 0);
    auto end = runShell(dir, "timeout 120 " + std::string(TAMO_RENDER_BIN) + " --video " +
                                 shellQuoted((dir / "clip.mp4").string()) + " --output " +
                                 shellQuoted((dir / "out.mp4").string()));
    EXPECT_EQ(end.exitCode, 1) << end.err;
    EXPECT_NE(end.err.find("not a regular file"), std::string::npos) << end.err;
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "out.mp4"));
    EXPECT_EQ(visibleNames(dir.path()), (std::vector<std::string>{"clip.mp4", "out.mp4"}));
}

TEST(AtomicReplace, ThePageExportToAPipeIsRefusedBeforeTheWork) {
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "clip.mp4", 64, 36, 0.2, false));
    ASSERT_EQ(::mkfifo((dir / "out.mp4").c_str(), 0600), 0);
    auto r = runHeadless({choose((dir / "clip.mp4").string()), swift("openVideo"), idle(),
                          choose((dir / "out.mp4").string()), swift("exportVideo", {{"textObjects", json::array()}})});
    ASSERT_EQ(r.exitCode, 0) << r.stderrText;
    bool refused = false;
    for (const auto& call : r.scriptCalls())
        refused =
            refused || (call.rfind("onExportError(", 0) == 0 && call.find("nem közönséges fájl") != std::string::npos);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(anyLineStartsWith(r, "JS> onExportProgress("));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "out.mp4"));
    EXPECT_EQ(visibleNames(dir.path()), (std::vector<std::string>{"clip.mp4", "out.mp4"}));
}

}  // namespace
}  // namespace tamo::test
