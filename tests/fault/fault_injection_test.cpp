// Data at stake under failing surroundings: a full disk, a read-only folder, kill -9 at any moment of a
// save or an export, and a server that dies in the middle of an upload. Each time the earlier file is
// byte-identical, the chosen path never holds a partial file, and a clean end leaves no temporary file.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "child_process.h"
#include "fault/process_run.h"
#include "media/media_probe.h"
#include "small_disk.h"

#ifndef TAMO_RENDER_BIN
#error "TAMO_RENDER_BIN must name the tamovid-render executable"
#endif

namespace tamo::test {
namespace {

using nlohmann::json;

const std::string kOldProject = "{\n  \"régi\": \"állapot\"\n}";
const std::string kOldExport = "an earlier export that must survive";

std::string line(const json& value) { return value.dump() + "\n"; }

// The input that saves `state` as `target` through the real program.
std::string saveInput(const std::filesystem::path& target, const json& state) {
    return line({{"choose", target.string()}}) + line({{"swift", {{"action", "saveProject"}, {"params", state}}}});
}

json bulkyState(std::size_t bytes, int generation) {
    return {{"generation", generation}, {"textObjects", json::array()}, {"notes", std::string(bytes, 'n')}};
}

struct Run {
    int exitCode = -1;
    std::string output;
};

Run runToEnd(const std::vector<std::string>& argv, const std::string& input, const ChildProcess::Options& options,
             const TempDir& logs) {
    const auto out = logs / "child-output.txt";
    ChildProcess child(argv, out, options);
    EXPECT_TRUE(child.started());
    child.write(input);
    child.closeInput();
    Run run;
    run.exitCode = child.wait();
    run.output = readFile(out);
    return run;
}

std::vector<std::string> headless() { return {TAMO_HEADLESS_BIN}; }

std::vector<std::string> render(const std::filesystem::path& video, const std::filesystem::path& output) {
    return {TAMO_RENDER_BIN, "--video", video.string(), "--output", output.string()};
}

// A full disk, the real kind when the test may mount one, else a cap on file sizes.
struct FullDisk {
    SmallDisk disk{512 * 1024};
    TempDir fallback;
    ChildProcess::Options options;
    std::filesystem::path folder() const { return disk.mounted() ? disk.path() : fallback.path(); }
    // Call once the earlier files are in place.
    void fill(std::size_t leave) {
        if (disk.mounted())
            disk.fillLeaving(leave);
        else
            options.maxFileBytes = static_cast<long>(leave);
    }
};

TEST(FullDisk, ProjectSaveKeepsTheEarlierFile) {
    FullDisk full;
    TempDir logs;
    const auto target = full.folder() / "munka.tamovid";
    writeFile(target, kOldProject);
    full.fill(16 * 1024);
    auto run = runToEnd(headless(), saveInput(target, bulkyState(200 * 1024, 1)), full.options, logs);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("❌ Save failed: "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("💾 Project saved"), std::string::npos) << run.output;
    EXPECT_EQ(readFile(target), kOldProject);
    std::vector<std::string> expected = {"munka.tamovid"};
    if (full.disk.mounted()) expected.insert(expected.begin(), "filler");
    EXPECT_EQ(visibleNames(full.folder()), expected) << "temporary file left behind";
}

TEST(FullDisk, ExportKeepsTheEarlierFile) {
    TempDir source;
    ASSERT_TRUE(makeClip(source / "clip.mp4", 160, 90, 1.0));
    FullDisk full;
    TempDir logs;
    const auto target = full.folder() / "kész.mp4";
    writeFile(target, kOldExport);
    full.fill(4 * 1024);
    auto run = runToEnd(render(source / "clip.mp4", target), "", full.options, logs);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(readFile(target), kOldExport);
    std::vector<std::string> expected = {"kész.mp4"};
    if (full.disk.mounted()) expected.insert(expected.begin(), "filler");
    EXPECT_EQ(visibleNames(full.folder()), expected) << "temporary file left behind";
}

// Read-only: a read-only mount when the test may make one, else a folder without write rights
// (which root would ignore).
TEST(ReadOnlyFolder, SaveAndExportFailWithoutTouchingAnything) {
    SmallDisk disk(256 * 1024);
    TempDir plain;
    const std::filesystem::path folder = disk.mounted() ? disk.path() : plain.path();
    writeFile(folder / "munka.tamovid", kOldProject);
    writeFile(folder / "kész.mp4", kOldExport);
    if (disk.mounted()) {
        ASSERT_TRUE(disk.makeReadOnly());
    } else {
        if (::geteuid() == 0) GTEST_SKIP() << "root without a mountable tmpfs: a folder's rights cannot stop it";
        std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    TempDir logs, source;
    ASSERT_TRUE(makeClip(source / "clip.mp4", 160, 90, 0.4));
    auto save = runToEnd(headless(), saveInput(folder / "munka.tamovid", bulkyState(1000, 1)), {}, logs);
    EXPECT_NE(save.output.find("❌ Save failed: "), std::string::npos) << save.output;
    auto exported = runToEnd(render(source / "clip.mp4", folder / "kész.mp4"), "", {}, logs);
    EXPECT_EQ(exported.exitCode, 1) << exported.output;
    EXPECT_EQ(readFile(folder / "munka.tamovid"), kOldProject);
    EXPECT_EQ(readFile(folder / "kész.mp4"), kOldExport);
    EXPECT_EQ(visibleNames(folder), (std::vector<std::string>{"kész.mp4", "munka.tamovid"}));
    if (!disk.mounted()) std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

// The kill points are random within the length of one clean run; what is checked never depends on
// where they fell.
std::chrono::microseconds cleanRunLength(const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

TEST(KillNine, ASaveKilledAnywhereLeavesTheOldProjectOrTheNewOne) {
    TempDir dir, logs;
    const auto target = dir / "munka.tamovid";
    const std::size_t kStateBytes = 3 * 1024 * 1024;  // a write long enough to be cut in the middle
    // A clean save first: it names the length of a run, and leaves no temporary file.
    auto length = cleanRunLength([&] {
        auto run = runToEnd(headless(), saveInput(target, bulkyState(kStateBytes, 0)), {}, logs);
        EXPECT_EQ(run.exitCode, 0) << run.output;
    });
    ASSERT_EQ(visibleNames(dir.path()), std::vector<std::string>{"munka.tamovid"});
    std::mt19937 random(std::random_device{}());
    int survived = 0, replaced = 0;
    for (int generation = 1; generation <= 8; ++generation) {
        const std::string before = readFile(target);
        const json beforeDocument = json::parse(before);
        {
            ChildProcess child(headless(), logs / "killed.txt", {});
            ASSERT_TRUE(child.started());
            child.write(saveInput(target, bulkyState(kStateBytes, generation)));
            std::this_thread::sleep_for(std::chrono::microseconds(random() % (length.count() + 1)));
            child.killNow();
        }
        const std::string after = readFile(target);
        json afterDocument = json::parse(after, nullptr, false);
        ASSERT_FALSE(afterDocument.is_discarded()) << "partial project after a kill, generation " << generation;
        if (afterDocument["generation"] == beforeDocument["generation"]) {
            EXPECT_EQ(after, before) << "the earlier project changed, generation " << generation;
            ++survived;
        } else {
            EXPECT_EQ(afterDocument["generation"], generation);
            EXPECT_EQ(afterDocument["notes"].get<std::string>().size(), kStateBytes);
            ++replaced;
        }
    }
    EXPECT_EQ(survived + replaced, 8);
    RecordProperty("kills_before_the_rename", survived);
    RecordProperty("kills_after_the_rename", replaced);
}

TEST(KillNine, AnExportKilledAnywhereLeavesTheEarlierFileOrAWholeExport) {
    TempDir source, dir, logs;
    ASSERT_TRUE(makeClip(source / "clip.mp4", 160, 90, 1.0));
    const auto target = dir / "kész.mp4";
    const auto fresh = dir / "új.mp4";
    auto length = cleanRunLength([&] {
        auto run = runToEnd(render(source / "clip.mp4", fresh), "", {}, logs);
        EXPECT_EQ(run.exitCode, 0) << run.output;
    });
    ASSERT_EQ(visibleNames(dir.path()), std::vector<std::string>{"új.mp4"}) << "temporary file after a clean export";
    std::filesystem::remove(fresh);
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 6; ++round) {
        // Even rounds replace an earlier file, odd ones write a new name.
        const bool hadEarlier = round % 2 == 0;
        if (hadEarlier)
            writeFile(target, kOldExport);
        else
            std::filesystem::remove(target);
        {
            ChildProcess child(render(source / "clip.mp4", target), logs / "killed.txt", {});
            ASSERT_TRUE(child.started());
            child.closeInput();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % (length.count() + 1)));
            child.killNow();
        }
        std::error_code ec;
        if (!std::filesystem::exists(target, ec)) {
            EXPECT_FALSE(hadEarlier) << "the earlier export vanished, round " << round;
            continue;
        }
        if (hadEarlier && readFile(target) == kOldExport) continue;
        // Otherwise the export had finished: the whole clip must be there.
        auto info = probeMedia(target);
        ASSERT_TRUE(info && info->hasVideo) << "partial export at the chosen path, round " << round;
        EXPECT_NEAR(info->duration.value_or(0), 1.0, 0.1);
    }
}

// A speech service that reads part of the upload, then resets the connection.
class DyingServer {
public:
    DyingServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~DyingServer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    int connections() const { return connections_; }
    std::size_t largestRead() const { return largestRead_; }

private:
    void serve() {
        for (;;) {
            int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            ++connections_;
            std::size_t total = 0;
            char buffer[4096];
            while (total < 8 * 1024) {  // headers and the start of the sound, then it dies
                ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                total += static_cast<std::size_t>(n);
            }
            if (total > largestRead_) largestRead_ = total;
            linger reset{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(client);
        }
    }
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<std::size_t> largestRead_{0};
    std::thread thread_;
};

TEST(ServerDies, AnUploadCutShortAnswersOnceAndLeavesNoFile) {
    TempDir media, scratch, logs;
    ASSERT_TRUE(makeClip(media / "clip.mp4", 160, 90, 2.0));
    DyingServer server;
    ASSERT_GT(server.port(), 0);
    ChildProcess::Options options;
    options.env = {{"TMPDIR", scratch.path().string()},
                   {"TAMO_SPEECH_BASE_URL", "http://127.0.0.1:" + std::to_string(server.port())}};
    const std::string input = line({{"choose", (media / "clip.mp4").string()}}) +
                              line({{"swift", {{"action", "openVideo"}}}}) + line({{"idle", true}}) +
                              line({{"swift", {{"action", "whisperTranscribe"}, {"params", {{"apiKey", "k"}}}}}});
    auto run = runToEnd(headless(), input, options, logs);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_GE(server.connections(), 1);
    EXPECT_GT(server.largestRead(), 4096u) << "the server died before the upload began";
    std::size_t errors = 0, results = 0, pos = 0;
    while ((pos = run.output.find("JS> onWhisperError(", pos)) != std::string::npos) ++errors, ++pos;
    pos = 0;
    while ((pos = run.output.find("JS> onWhisperResult(", pos)) != std::string::npos) ++results, ++pos;
    EXPECT_EQ(errors, 1u) << run.output;
    EXPECT_EQ(results, 0u) << run.output;
    EXPECT_EQ(visibleNames(scratch.path()), std::vector<std::string>{}) << "the extracted sound was left behind";
}

}  // namespace
}  // namespace tamo::test
