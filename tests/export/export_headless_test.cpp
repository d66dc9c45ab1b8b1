// The export through the real programs: tamovid-headless driven as the page drives it (and told
// to stop part-way), and tamovid-render from its command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>

#include "media_test_support.h"
#include "support/headless_runner.h"
#include "support/live_headless.h"

namespace tamo::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

bool startsWith(const std::string& line, const std::string& prefix) { return line.rfind(prefix, 0) == 0; }
bool makeClip(const std::filesystem::path& file) {  // 1 s of 320 × 180 with a 440 Hz tone
    return ffmpeg(
        "-f lavfi -i testsrc2=s=320x180:r=25:d=1 -f lavfi -i sine=f=440:d=1 -pix_fmt yuv420p -c:v libx264 "
        "-preset ultrafast -c:a aac -shortest " +
        file.string());
}

TEST(ExportHeadless, OpenedVideoIsExportedWithItsProgress) {
    TempDir dir;
    ASSERT_TRUE(makeClip(dir / "holiday.mov"));
    auto output = dir / "out" / "holiday_text.mp4";
    std::filesystem::create_directories(output.parent_path());
    auto r = runHeadless({swift("exportVideo", {{"cropPreset", "1:1"}}), choose((dir / "holiday.mov").string()),
                          swift("openVideo"), idle(), choose(output.string()),
                          swift("exportVideo", {{"cropPreset", "9:16"}, {"textObjects", json::array()}}), idle()});
    auto choosers = r.withPrefix("CHOOSER> ");
    ASSERT_EQ(choosers.size(), 2u);
    const json save = json::parse(choosers[1]);
    EXPECT_EQ(save["kind"], "save");
    EXPECT_EQ(save["suggestedName"], "holiday_text.mp4");
    EXPECT_EQ(save["extensions"], json::array({"mp4"}));

    std::vector<std::string> calls;
    for (const auto& c : r.scriptCalls())
        if (startsWith(c, "onExport")) calls.push_back(c);
    ASSERT_EQ(calls.size(), 1u + 25u + 3u);  // the refusal without a video; 0, one per frame, 95, complete
    EXPECT_EQ(calls[0], "onExportError('Nincs videó betöltve!')");
    EXPECT_EQ(calls.back(), "onExportComplete()");
    EXPECT_TRUE(r.hasLine("✅ Export complete: " + output.string()));
    const DecodedVideo video = decodeVideo(output, false);
    EXPECT_EQ(video.width * 1000 + video.height, 100180);
    EXPECT_EQ(video.times.size(), 25u);
    EXPECT_TRUE(video.hasAudio);
    EXPECT_EQ(fileNames(output.parent_path()), std::vector<std::string>{"holiday_text.mp4"});
}

// SIGTERM in the middle of an export: the frame loop is cancelled, its temporary video removed,
// the earlier file under the chosen name stays byte for byte, and the program ends by itself.
TEST(ExportHeadless, ASignalDuringAnExportLeavesTheFolderAsItWas) {
    TempDir dir;
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=640x360:r=25:d=40 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                       (dir / "long.mp4").string()));
    auto out = dir / "out";
    std::filesystem::create_directories(out);
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i color=blue:s=64x64:r=10:d=1 -pix_fmt yuv420p -c:v libx264 " + (out / "keep.mp4").string()));
    const std::string before = readFile(out / "keep.mp4");
    LiveHeadless program;
    for (const json& line : {choose((dir / "long.mp4").string()), swift("openVideo"),
                             choose((out / "keep.mp4").string()), swift("exportVideo", json::object())})
        ASSERT_TRUE(program.send(line));
    ASSERT_TRUE(program.waitFor(  // frames are being written: the temporary video exists now
        [](const std::string& l) { return startsWith(l, "JS> onExportProgress(") && l != "JS> onExportProgress(0)"; },
        60s));
    program.signal(SIGTERM);
    auto status = program.waitForExit(20s);
    ASSERT_TRUE(status.has_value()) << "still running after SIGTERM during an export";
    EXPECT_EQ(*status, 128 + SIGTERM);
    for (const auto& line : program.lines()) {
        EXPECT_NE(line, "JS> onExportComplete()") << "the export finished before the signal";
        EXPECT_FALSE(startsWith(line, "tamovid-headless: background work did not end in time")) << line;
    }
    EXPECT_EQ(fileNames(out), std::vector<std::string>{"keep.mp4"});
    EXPECT_TRUE(readFile(out / "keep.mp4") == before);
}

struct Rendered {
    int exitCode = -1;
    std::string err;
};
Rendered render(const TempDir& dir, const std::string& args) {
    const std::string cmd =
        std::string(TAMO_RENDER_BIN) + " " + args + " >/dev/null 2>" + (dir / "stderr.txt").string() + " </dev/null";
    const int status = std::system(cmd.c_str());
    Rendered r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "stderr.txt")};
    std::filesystem::remove(dir / "stderr.txt");
    return r;
}

// A project file with a picture, a narration mixed over the source, plain progress lines on a
// pipe; then a source without a picture, the earlier output kept.
TEST(RenderCli, ProjectWithPictureAndNarrationAndTheFailures) {
    TempDir dir;
    auto q = [&](const std::string& name) { return "'" + (dir / name).string() + "'"; };
    ASSERT_TRUE(makeClip(dir / "clip.mp4"));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=1000:d=2 -c:a libmp3lame " + (dir / "n.mp3").string()));
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=white:s=40x40 -frames:v 1 " + (dir / "logo.png").string()));
    json project = {
        {"videoPath", "clip.mp4"},
        {"cropPreset", "1:1"},
        {"imagePaths", {{"img_LOGO", "logo.png"}}},
        {"textObjects", json::array({json{{"type", "image"}, {"imageId", "img_LOGO"}, {"scalePercent", 50}}})}};
    writeFile(dir / "p.tamovid", project.dump(2));
    Rendered r =
        render(dir, "--project " + q("p.tamovid") + " --output " + q("square.mp4") + " --narration " + q("n.mp3"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(startsWith(r.err, "progress 0%\n")) << r.err;
    EXPECT_NE(r.err.find("progress 86%\nprogress 95%\nprogress 100%\n"), std::string::npos)
        << r.err;  // last frame 0.96 s
    const DecodedVideo video = decodeVideo(dir / "square.mp4");
    ASSERT_EQ(video.width * 1000 + video.height, 180180);
    ASSERT_EQ(video.times.size(), 25u);
    const std::vector<std::uint8_t> white(180 * 180 * 4, 255);
    EXPECT_LT(meanAbsDiff(video.frames[10], 180, 70, 70, white, 180, 70, 70, 40, 40), 12) << "the picture is not there";
    const DecodedAudio sound = decodeAudio(dir / "square.mp4");
    EXPECT_NEAR(sound.seconds(), 1.0, 0.05);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 1000, 0.2, 0.8), 0.125, 0.02);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 440, 0.2, 0.8), 0.3 * 0.125, 0.008);

    writeFile(dir / "keep.mp4", "earlier");
    r = render(dir, "--video " + q("n.mp3") + " --output " + q("keep.mp4"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Nincs videósáv!"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "keep.mp4"), "earlier");
    EXPECT_EQ(fileNames(dir.path()),
              (std::vector<std::string>{"clip.mp4", "keep.mp4", "logo.png", "n.mp3", "p.tamovid", "square.mp4"}));

    // A wrong command line ends with the usage; --index takes one line of a job list.
    r = render(dir, "--video " + q("clip.mp4") + " --fast");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown argument: --fast\n\nUsage"), std::string::npos) << r.err;
    EXPECT_EQ(render(dir, "--help").exitCode, 0);
    writeFile(dir / "big.json", "{}");
    std::filesystem::resize_file(dir / "big.json", 17u << 20);
    EXPECT_NE(render(dir, "--video " + q("clip.mp4") + " --params " + q("big.json") + " --output " + q("x.mp4"))
                  .err.find("big.json is larger than 16 MB"),
              std::string::npos);
    writeFile(dir / "jobs.jsonl", R"({"project": "p.tamovid", "output": "square.mp4"})"
                                  "\n{\"project\": \"p.tamovid\"}\n");
    const std::string jobs = "--jobs " + q("jobs.jsonl") + " --index ";
    r = render(dir, jobs + "0");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("square.mp4 is already complete, skipped"), std::string::npos) << r.err;
    EXPECT_NE(render(dir, jobs + "1").err.find("line 2: \"output\" is missing"), std::string::npos);
    EXPECT_NE(render(dir, jobs + "7").err.find("no job 7: the list holds 2"), std::string::npos);
}

}  // namespace
}  // namespace tamo::test
