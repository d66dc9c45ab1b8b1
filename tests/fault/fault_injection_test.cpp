// Data at stake under failing surroundings: a full disk, a read-only folder, kill -9 at any moment of a
// save or an export, and a server that dies in the middle of an upload. Each time the earlier file is
// byte-identical, the chosen path never holds a partial file, and a clean end leaves no temporary file.
// Then hostile input that needs a real process or a real file; the rest lives in tests/fuzz/corpus/.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <random>

#include "fault_env.h"
#include "media/ffmpeg_ptr.h"
#include "media/media_probe.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

using nlohmann::json;

const std::string kOldProject = "{\n  \"régi\": \"állapot\"\n}", kOldExport = "an earlier export that must survive";
const std::vector<std::string> kHeadless = {TAMO_HEADLESS_BIN};

std::string saveInput(const std::filesystem::path& target, std::size_t bytes, int generation) {
    json state = {{"generation", generation}, {"notes", std::string(bytes, 'n')}};
    return choose(target).dump() + "\n" + swift("saveProject", state).dump() + "\n";
}
std::vector<std::string> render(const std::filesystem::path& video, const std::filesystem::path& output) {
    return {TAMO_RENDER_BIN, "--video", video.string(), "--output", output.string()};
}

// Saving over munka.tamovid and exporting over kész.mp4 in a folder that cannot take them: a full tmpfs
// (without root: a cap on file sizes) or a read-only one (without root: a folder without write rights).
void expectSaveAndExportFail(bool readOnly) {
    SmallDisk disk(512 * 1024);
    TempDir plain, source;
    const auto folder = disk.mounted() ? disk.path() : plain.path();
    writeFile(folder / "munka.tamovid", kOldProject);
    writeFile(folder / "kész.mp4", kOldExport);
    std::vector<std::string> names = {"kész.mp4", "munka.tamovid"};
    long cap = -1;
    if (readOnly && disk.mounted()) {
        ASSERT_TRUE(disk.makeReadOnly());
    } else if (readOnly) {
        if (::geteuid() == 0) GTEST_SKIP() << "root without a mountable tmpfs: a folder's rights cannot stop it";
        ::chmod(folder.c_str(), 0500);
    } else if (disk.mounted()) {
        disk.fillLeaving(4 * 1024);
        names.insert(names.begin(), "filler");
    } else {
        cap = 4 * 1024;
    }
    ASSERT_TRUE(makeClip(source / "clip.mp4", 160, 90, 1.0));
    auto save = runToEnd(kHeadless, saveInput(folder / "munka.tamovid", 200 * 1024, 1), cap);
    EXPECT_EQ(save.exitCode, 0) << save.output;
    EXPECT_NE(save.output.find("❌ Save failed: "), std::string::npos) << save.output;
    EXPECT_EQ(save.output.find("💾 Project saved"), std::string::npos) << save.output;
    auto exported = runToEnd(render(source / "clip.mp4", folder / "kész.mp4"), "", cap);
    EXPECT_EQ(exported.exitCode, 1) << exported.output;
    EXPECT_EQ(readFile(folder / "munka.tamovid"), kOldProject);
    EXPECT_EQ(readFile(folder / "kész.mp4"), kOldExport);
    EXPECT_EQ(visibleNames(folder), names) << "temporary file left behind";
    ::chmod(folder.c_str(), 0700);
}

TEST(FullDisk, SaveAndExportKeepTheEarlierFiles) { expectSaveAndExportFail(false); }
TEST(ReadOnlyFolder, SaveAndExportFailWithoutTouchingAnything) { expectSaveAndExportFail(true); }

// Kills at random moments within the length of one clean run; what is checked never depends on
// where they fell.
class KillNine : public ::testing::Test {
protected:
    TempDir dir, logs;
    std::mt19937 random{std::random_device{}()};
    std::chrono::microseconds cleanRun{0};
    void runCleanly(const std::vector<std::string>& argv, const std::string& input) {
        const auto start = std::chrono::steady_clock::now();
        auto run = runToEnd(argv, input);
        cleanRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_EQ(run.exitCode, 0) << run.output;
    }
    void killSomewhere(const std::vector<std::string>& argv, const std::string& input) {
        const pid_t child = startChild(argv, input, logs / "killed.txt");
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (cleanRun.count() + 1)));
        ::kill(child, SIGKILL);
        waitFor(child);
    }
};

TEST_F(KillNine, ASaveKilledAnywhereLeavesTheOldProjectOrTheNewOne) {
    const auto target = dir / "munka.tamovid";
    const std::size_t kBytes = 3 * 1024 * 1024;  // a write long enough to be cut in the middle
    runCleanly(kHeadless, saveInput(target, kBytes, 0));
    ASSERT_EQ(visibleNames(dir.path()), std::vector<std::string>{"munka.tamovid"});
    for (int generation = 1; generation <= 8; ++generation) {
        SCOPED_TRACE(generation);
        const std::string before = readFile(target);
        killSomewhere(kHeadless, saveInput(target, kBytes, generation));
        const std::string after = readFile(target);
        json document = json::parse(after, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << "partial project after a kill";
        if (after != before) {
            EXPECT_EQ(document["generation"], generation);
            EXPECT_EQ(document["notes"].get<std::string>().size(), kBytes);
        }
    }
}

TEST_F(KillNine, AnExportKilledAnywhereLeavesTheEarlierFileOrAWholeExport) {
    TempDir source;
    ASSERT_TRUE(makeClip(source / "clip.mp4", 160, 90, 1.0));
    const auto target = dir / "kész.mp4";
    runCleanly(render(source / "clip.mp4", target), "");
    ASSERT_EQ(visibleNames(dir.path()), std::vector<std::string>{"kész.mp4"}) << "temporary file after an export";
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const bool hadEarlier = round % 2 == 0;  // else a new name
        if (hadEarlier)
            writeFile(target, kOldExport);
        else
            std::filesystem::remove(target);
        killSomewhere(render(source / "clip.mp4", target), "");
        if (!std::filesystem::exists(target)) {
            EXPECT_FALSE(hadEarlier) << "the earlier export vanished";
        } else if (!hadEarlier || readFile(target) != kOldExport) {
            auto info = probeMedia(target);  // the export had finished: the whole clip is there
            ASSERT_TRUE(info && info->hasVideo) << "partial export at the chosen path";
            EXPECT_NEAR(info->duration.value_or(0), 1.0, 0.1);
        }
    }
}

TEST(ServerDies, AnUploadCutShortAnswersOnceAndLeavesNoFile) {
    TempDir media, scratch;
    ASSERT_TRUE(makeClip(media / "clip.mp4", 160, 90, 2.0));
    std::atomic<std::size_t> largestRead{0};
    RawServer server([&](int client, const auto&) {  // headers and the start of the sound, then it dies
        largestRead = std::max(largestRead.load(), RawServer::receive(client, 8 * 1024).size());
        RawServer::resetOnClose(client);
    });
    HeadlessOptions options;
    options.env = {{"TMPDIR", scratch.path().string()}, {"TAMO_SPEECH_BASE_URL", server.url("")}};
    auto run = runHeadless(
        {choose(media / "clip.mp4"), swift("openVideo"), idle(), swift("whisperTranscribe", {{"apiKey", "k"}})},
        options);
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_GT(largestRead.load(), 4096u) << "the server died before the upload began";
    std::vector<std::string> answers;
    for (const auto& call : run.scriptCalls())
        if (call.rfind("onWhisperR", 0) == 0 || call.rfind("onWhisperE", 0) == 0) answers.push_back(call.substr(0, 14));
    EXPECT_EQ(answers, std::vector<std::string>{"onWhisperError"});
    EXPECT_EQ(visibleNames(scratch.path()), std::vector<std::string>{}) << "the extracted sound was left behind";
}

// A page message nested a hundred thousand levels deep used to crash the program while its parameters
// were copied; names from the page could forge protocol lines; an export to a pipe must leave it a pipe;
// deep parameter files and local playlists reach the render tool and FFmpeg.
TEST(HostileInput, DeepMessagesForgedLinesPipesDeepFilesAndPlaylistsAreRefused) {
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "clip.mp4", 64, 36, 0.2, false));
    ASSERT_EQ(::mkfifo((dir / "out.mp4").c_str(), 0600), 0);
    const auto forged = dir / "p\nTITLE> forged.tamovid";
    const std::string deep = std::string(100000, '[') + "1" + std::string(100000, ']');
    auto r = runHeadlessRaw({
        choose(dir / "clip.mp4").dump(),
        swift("openVideo").dump(),
        idle().dump(),
        R"({"swift":{"action":"saveProject","params":{"state":)" + deep + "}}}",
        R"({"swift":{"action":"exportVideo","params":{"textObjects":[{"id":"t","x":)" + deep + "}]}}}",
        choose(dir / "out.mp4").dump(),
        swift("exportVideo", {{"textObjects", json::array()}}).dump(),
        idle().dump(),
        swift("x\nJS> forged()\r\nCHOOSER> {}").dump(),
        json{{"consoleLog", {{"level", "log"}, {"message", "one\nJS> forged()"}}}}.dump(),
        choose(forged).dump(),
        swift("saveProject", json::object()).dump(),
    });
    ASSERT_EQ(r.exitCode, 0) << r.stderrText;
    EXPECT_TRUE(r.hasLine("❌ Save failed: the JSON text is nested too deeply"));
    const auto calls = r.scriptCalls();
    auto calledWith = [&](const std::string& start, const std::string& part) {
        return std::any_of(calls.begin(), calls.end(), [&](const std::string& c) {
            return c.rfind(start, 0) == 0 && c.find(part) != std::string::npos;
        });
    };
    EXPECT_TRUE(calledWith("onExportError(", "nem közönséges fájl"));
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& c) { return c.rfind("onExportError(", 0) == 0; }), 2);
    EXPECT_FALSE(calledWith("onExportProgress(", ""));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "out.mp4"));
    for (const auto& line : r.lines)
        EXPECT_TRUE(line != "JS> forged()" && line != "CHOOSER> {}" && line != "TITLE> forged.tamovid") << line;
    EXPECT_TRUE(r.hasLine("⚠️ Unknown action: x\\nJS> forged()\\r\\nCHOOSER> {}"));
    EXPECT_TRUE(r.hasLine("TITLE> Tamo Video Editor \u2014 p\\nTITLE> forged.tamovid"));
    EXPECT_TRUE(std::filesystem::exists(forged));
    EXPECT_EQ(visibleNames(dir.path()), (std::vector<std::string>{"clip.mp4", "out.mp4", forged.filename()}));

    // The render tool on a parameter file as deep.
    const auto clip = dir / "clip.mp4";
    writeFile(dir / "params.json", R"({"textObjects":[{"id":"t","x":)" + deep + "}]}");
    auto run =
        runToEnd({TAMO_RENDER_BIN, "--video", clip, "--params", dir / "params.json", "--output", dir / "o.mp4"}, "");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("nested too deeply"), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "o.mp4"));

    // A local file that is really a playlist or a concat list would pull other files into the export.
    // (openVideo refuses them too: media_test.)
    writeFile(dir / "list.mov", "ffconcat version 1.0\nfile '" + clip.string() + "'\n");
    EXPECT_TRUE(av::openInput(clip.string()) && av::openContainer(clip));
    EXPECT_FALSE(av::openInput(dir / "list.mov"));
    EXPECT_FALSE(av::openContainer(dir / "list.mov"));
    EXPECT_FALSE(av::openInput("concat:" + clip.string() + "|" + clip.string()));
    EXPECT_FALSE(av::openInput("subfile,,start,0,end,0,,:" + clip.string()));
}

}  // namespace
}  // namespace tamo::test
