// tamovid-render: its command line, and exports made by the real executable.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "cli/render_options.h"
#include "media_test_support.h"

#ifndef TAMO_RENDER_BIN
#error "TAMO_RENDER_BIN must name the tamovid-render executable"
#endif

namespace tamo::test {
namespace {

using nlohmann::json;

struct Run {
    int exitCode = -1;
    std::string out, err;
};

Run render(const TempDir& dir, const std::string& args) {
    std::string cmd = std::string(TAMO_RENDER_BIN) + " " + args + " >" + (dir / "stdout.txt").string() + " 2>" +
                      (dir / "stderr.txt").string() + " </dev/null";
    int status = std::system(cmd.c_str());
    Run r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(dir / "stdout.txt");
    r.err = readFile(dir / "stderr.txt");
    std::filesystem::remove(dir / "stdout.txt");
    std::filesystem::remove(dir / "stderr.txt");
    return r;
}

std::string q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

TEST(RenderOptions, CommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::string error;  // empty: accepted
    };
    const std::vector<Case> cases = {
        {{"--video", "a.mp4", "--params", "p.json", "--output", "o.mp4"}, ""},
        {{"--video", "a.mp4", "--output", "o.mp4", "--narration", "n.mp3"}, ""},
        {{"--project", "x.tamovid", "--output", "o.mp4"}, ""},
        {{"--video", "a.mp4"}, "--output is required"},
        {{"--params", "p.json", "--output", "o.mp4"}, "--video (or --project) is required"},
        {{"--project", "x", "--params", "p", "--output", "o"}, "--params and --project exclude each other"},
        {{"--video"}, "--video needs a value"},
        {{"--video", "a", "--output", "o", "--narration", ""}, "--narration needs a value"},
        {{"--video", "a", "--output", "o", "--fast"}, "unknown argument: --fast"},
    };
    for (const auto& c : cases) {
        auto parsed = cli::parseRenderOptions(c.args);
        EXPECT_EQ(parsed.error, c.error) << ::testing::PrintToString(c.args);
    }
    auto ok = cli::parseRenderOptions({"--video", "a.mp4", "--output", "o.mp4", "--narration", "n.mp3"});
    EXPECT_EQ(ok.options.narration, std::filesystem::path("n.mp3"));
    EXPECT_TRUE(cli::parseRenderOptions({"--output", "x", "--help"}).options.help);
}

class RenderCli : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=320x180:r=25:d=1 -f lavfi -i sine=f=440:d=1 -pix_fmt yuv420p "
                   "-c:v libx264 -preset ultrafast -c:a aac -shortest " +
                   (dir / "clip.mp4").string()));
    }
};

TEST_F(RenderCli, HelpDocumentsEveryOption) {
    auto r = render(dir, "--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option :
         {"--video", "--params", "--project", "--output", "--narration", "--lossless", "imagePaths", "--jobs",
          "--index", "--all", "--parallel", "--pending", "--progress json", "cropPositionX", "outputSize", "fillMode"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

TEST_F(RenderCli, WrongCommandLineExitsWithUsage) {
    auto r = render(dir, "--video x.mp4");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--output is required"), std::string::npos);
    EXPECT_NE(r.err.find("Usage:"), std::string::npos);
}

TEST_F(RenderCli, LosslessGivesTheSourcePlanesBack) {
    writeFile(dir / "p.json", "{}");
    auto out = dir / "lossless.mp4";
    auto r = render(dir, "--video " + q(dir / "clip.mp4") + " --params " + q(dir / "p.json") + " --output " + q(out) +
                             " --lossless");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const DecodedYuv got = decodeYuv(out), src = decodeYuv(dir / "clip.mp4");
    ASSERT_EQ(got.frames.size(), 25u);
    ASSERT_EQ(src.frames.size(), 25u);
    for (std::size_t i = 0; i < got.frames.size(); ++i) {
        EXPECT_TRUE(got.frames[i].y == src.frames[i].y) << i;
        EXPECT_TRUE(got.frames[i].u == src.frames[i].u && got.frames[i].v == src.frames[i].v) << i;
    }
    EXPECT_TRUE(decodeAudio(out).present);
}

TEST_F(RenderCli, ParamsFileExportWithNarration) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=1000:d=2 -c:a libmp3lame " + (dir / "n.mp3").string()));
    writeFile(dir / "p.json",
              json{{"cropPreset", "1:1"}, {"textObjects", json::array({json{{"type", "blur"}}})}}.dump());
    auto out = dir / "square.mp4";
    auto r = render(dir, "--video " + q(dir / "clip.mp4") + " --params " + q(dir / "p.json") + " --output " + q(out) +
                             " --narration " + q(dir / "n.mp3"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Not a terminal: plain progress lines.
    EXPECT_EQ(r.err.rfind("progress 0%\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("progress 86%\nprogress 95%\nprogress 100%\n"), std::string::npos)
        << r.err;  // last frame at 0.96 s
    auto video = decodeVideo(out, false);
    EXPECT_EQ(video.width, 180);
    EXPECT_EQ(video.height, 180);
    EXPECT_EQ(video.times.size(), 25u);
    auto sound = decodeAudio(out);
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(sound.seconds(), 1.0, 0.05);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 1000, 0.2, 0.8), 0.125, 0.02);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 440, 0.2, 0.8), 0.3 * 0.125, 0.008);
}

TEST_F(RenderCli, ProjectFileGivesVideoParametersAndPictures) {
    std::filesystem::create_directories(dir / "proj");
    std::filesystem::copy_file(dir / "clip.mp4", dir / "proj" / "clip.mp4");
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=blue:s=40x20 -frames:v 1 " + (dir / "proj" / "logo.png").string()));
    json project = {{"videoPath", "clip.mp4"},
                    {"cropPreset", "4:3"},
                    {"previewHeight", 0},
                    {"imagePaths", {{"img_LOGO", "logo.png"}}},
                    {"textObjects", json::array({json{{"type", "image"}, {"imageId", "img_LOGO"}}})}};
    writeFile(dir / "proj" / "p.tamovid", project.dump(2));
    auto out = dir / "from_project.mp4";
    auto r = render(dir, "--project " + q(dir / "proj" / "p.tamovid") + " --output " + q(out));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto video = decodeVideo(out, false);
    EXPECT_EQ(video.width, 240);
    EXPECT_EQ(video.height, 180);
    EXPECT_TRUE(video.hasAudio);
}

TEST_F(RenderCli, ReframingKeysFromParamsAndFromAProject) {
    // Three frames, grey with a white strip along the left 40 columns.
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i color=c=0x808080:s=320x180:r=25:d=0.12,drawbox=x=0:y=0:w=40:h=180:color=white:t=fill "
               "-pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
               (dir / "strip.mp4").string()));
    writeFile(dir / "p.json", json{{"cropPreset", "9:16"}, {"outputSize", "standard"}, {"fillMode", "fit"}}.dump());
    auto fromParams = dir / "tall.mp4";
    auto r = render(
        dir, "--video " + q(dir / "strip.mp4") + " --params " + q(dir / "p.json") + " --output " + q(fromParams));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto tall = decodeVideo(fromParams);
    EXPECT_EQ(tall.width, 1080);
    EXPECT_EQ(tall.height, 1920);

    // The crop window at the left edge, scaled to 1080 × 1080: the strip is the left 240 columns.
    json project = {
        {"videoPath", "strip.mp4"}, {"cropPreset", "1:1"}, {"cropPositionX", 0}, {"outputSize", "standard"}};
    writeFile(dir / "p.tamovid", project.dump(2));
    auto fromProject = dir / "square.mp4";
    r = render(dir, "--project " + q(dir / "p.tamovid") + " --output " + q(fromProject));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto square = decodeVideo(fromProject);
    ASSERT_EQ(square.width, 1080);
    ASSERT_EQ(square.height, 1080);
    ASSERT_FALSE(square.frames.empty());
    const std::vector<std::uint8_t> white(1080 * 1080 * 4, 255);
    EXPECT_LT(meanAbsDiff(square.frames[0], 1080, 20, 100, white, 1080, 20, 100, 180, 800), 12);
    EXPECT_GT(meanAbsDiff(square.frames[0], 1080, 300, 100, white, 1080, 300, 100, 600, 800), 90);
}

TEST_F(RenderCli, FailureExitsNonZeroAndKeepsTheEarlierFile) {
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 " + (dir / "sound.m4a").string()));
    auto out = dir / "keep.mp4";
    writeFile(out, "earlier");
    auto r = render(dir, "--video " + q(dir / "sound.m4a") + " --output " + q(out));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Nincs videósáv!"), std::string::npos) << r.err;
    EXPECT_TRUE(readFile(out) == "earlier");

    writeFile(dir / "broken.tamovid", "{not json");
    r = render(dir, "--project " + q(dir / "broken.tamovid") + " --output " + q(out));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is not a JSON object"), std::string::npos) << r.err;
    EXPECT_TRUE(readFile(out) == "earlier");
    EXPECT_EQ(fileNames(dir.path()), (std::vector<std::string>{"broken.tamovid", "clip.mp4", "keep.mp4", "sound.m4a"}));
}

// Widths where libswscale's vector stores run past the row (even, width mod 16 in 8..14) and
// the page's own default sizes: each export must finish with every frame, in the normal build.
TEST(RenderCliSizes, CommonAndAwkwardWidthsExportWhole) {
    TempDir dir;
    const std::vector<std::pair<int, int>> sizes = {{104, 104}, {106, 60},  {108, 108},   {110, 62},
                                                    {90, 162},  {200, 200}, {1080, 1920}, {1080, 1080}};
    for (auto [w, h] : sizes) {
        const std::string tag = std::to_string(w) + "x" + std::to_string(h);
        auto source = dir / (tag + ".mp4");
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=" + tag +
                           ":r=10:d=0.5 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " + source.string()));
        writeFile(
            dir / "p.json",
            json{{"cropPreset", "original"}, {"textObjects", json::array({json{{"type", "progressbar"}}})}}.dump());
        auto out = dir / (tag + "_out.mp4");
        // Exported twice in a row, as a user does after a small change.
        for (int round = 0; round < 2; ++round) {
            auto r = render(dir, "--video " + q(source) + " --params " + q(dir / "p.json") + " --output " + q(out));
            ASSERT_EQ(r.exitCode, 0) << tag << ": " << r.err;
        }
        auto video = decodeVideo(out, false);
        EXPECT_EQ(video.width, w) << tag;
        EXPECT_EQ(video.height, h) << tag;
        EXPECT_EQ(video.times.size(), 5u) << tag;
    }
}

}  // namespace
}  // namespace tamo::test
