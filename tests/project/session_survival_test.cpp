// A user's session as it really goes: generated media kept outside the temporary folder, a project
// that brings the clip and the narration back after a reboot, names typed without their extension,
// and pictures whose files went missing. All through the real tamovid-headless.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <regex>

#include "cli/render_options.h"
#include "export/media_test_support.h"
#include "speech/fake_speech_server.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

using nlohmann::json;

std::vector<std::string> callsOf(const HeadlessResult& run, const std::string& function) {
    std::vector<std::string> out;
    for (const auto& call : run.scriptCalls())
        if (call.rfind(function + "(", 0) == 0) out.push_back(call);
    return out;
}

json payloadOf(const std::string& call) {
    auto open = call.find('(');
    return json::parse(call.substr(open + 1, call.size() - open - 2));
}

// A folder beside the test binary, outside the temporary folder that the reboot empties.
struct BuildDirFolder {
    std::filesystem::path path = std::filesystem::current_path() / ("session-survival-" + std::to_string(getpid()));
    BuildDirFolder() { std::filesystem::create_directories(path); }
    ~BuildDirFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

void emptyFolder(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) std::filesystem::remove_all(entry.path());
}

// The exported file: the page's portrait size, every frame of the one-second clip, and the narration's tone.
void expectExportWithNarration(const std::filesystem::path& file, double toneHz) {
    SCOPED_TRACE(file.filename().string());
    DecodedVideo video = decodeVideo(file, false);  // 30 full frames would be a quarter gigabyte
    ASSERT_TRUE(video.opened);
    EXPECT_EQ(video.width, 1080);
    EXPECT_EQ(video.height, 1920);
    EXPECT_EQ(video.times.size(), 30u);
    // The generated clip's colour #336699 in the middle of the last frame.
    const auto pixel = file.parent_path() / (file.stem().string() + ".rgb");
    ASSERT_TRUE(ffmpeg("-sseof -0.2 -i " + file.string() +
                       " -vf crop=2:2:539:959 -frames:v 1 -f rawvideo -pix_fmt rgb24 " + pixel.string()));
    std::string rgb = readFile(pixel);
    ASSERT_GE(rgb.size(), 3u);
    EXPECT_NEAR(static_cast<unsigned char>(rgb[0]), 0x33, 8);
    EXPECT_NEAR(static_cast<unsigned char>(rgb[1]), 0x66, 8);
    EXPECT_NEAR(static_cast<unsigned char>(rgb[2]), 0x99, 8);

    DecodedAudio audio = decodeAudio(file);
    ASSERT_TRUE(audio.present) << "the export has no sound: the narration was left out";
    double tone = toneAmplitude(audio.left, audio.sampleRate, toneHz, 0.2, 0.8);
    double other = toneAmplitude(audio.left, audio.sampleRate, toneHz * 1.37, 0.2, 0.8);
    EXPECT_GT(tone, 0.05);
    EXPECT_GT(tone, 10 * other);
}

TEST(SessionSurvival, GeneratedClipAndNarrationComeBackAfterARebootAndAreExportedAgain) {
    TempDir tmp;  // the session's TMPDIR: emptied by the "reboot"
    BuildDirFolder home;
    const auto dataHome = home.path / "data";
    const auto mediaFolder = dataHome / "tamovid" / "media";
    const auto voice = home.path / "voice.mp3";
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=880:d=1.5 -c:a libmp3lame -b:a 64k " + voice.string()));
    FakeSpeechServer server(FakeSpeechServer::bytes(readFile(voice)));

    HeadlessOptions options;
    options.env = {{"XDG_DATA_HOME", dataHome.string()},
                   {"TMPDIR", tmp.path().string()},
                   {"TAMO_SPEECH_BASE_URL", server.baseUrl()}};
    options.timeoutSeconds = 600;
    const auto project = home.path / "munka.tamovid";
    const json exportParams = {{"cropPreset", "original"}, {"textObjects", json::array()}, {"previewHeight", 400}};

    // The page's own default size for a generated background, exported twice in one session.
    auto first = runHeadless(
        {swift("generateBackground", {{"width", 1080}, {"height", 1920}, {"duration", 1}, {"color", "#336699"}}),
         idle(), swift("generateTTS", {{"text", "Szia"}, {"apiKey", "k"}}), idle(),
         choose((home.path / "egy.mp4").string()), swift("exportVideo", exportParams), idle(),
         choose((home.path / "kettő.mp4").string()), swift("exportVideo", exportParams), idle(),
         choose(project.string()), swift("saveProject", {{"cropPreset", "original"}}), idle()},
        options);
    ASSERT_FALSE(first.timedOut);
    ASSERT_EQ(first.exitCode, 0) << first.stderrText;
    EXPECT_EQ(callsOf(first, "onExportComplete").size(), 2u);
    expectExportWithNarration(home.path / "egy.mp4", 880);
    expectExportWithNarration(home.path / "kettő.mp4", 880);

    json saved = json::parse(readFile(project));
    ASSERT_TRUE(saved["videoPath"].is_string());
    ASSERT_TRUE(saved["narrationPath"].is_string()) << saved.dump();
    const std::filesystem::path clip = saved["videoPath"].get<std::string>();
    const std::filesystem::path narration = saved["narrationPath"].get<std::string>();
    EXPECT_EQ(clip.parent_path(), mediaFolder);
    EXPECT_TRUE(std::regex_match(clip.filename().string(), std::regex("bg_[0-9A-F-]{36}\\.mp4")));
    EXPECT_EQ(narration.parent_path(), mediaFolder);
    EXPECT_TRUE(std::regex_match(narration.filename().string(), std::regex("narration_[0-9A-F-]{36}\\.mp3")));

    emptyFolder(tmp.path());  // the reboot

    auto second = runHeadless({choose(project.string()), swift("loadProject"), idle(),
                               choose((home.path / "három.mp4").string()), swift("exportVideo", exportParams), idle(),
                               // A newer narration must not delete the one the project names.
                               swift("generateTTS", {{"text", "Újra"}, {"apiKey", "k"}}), idle()},
                              options);
    ASSERT_FALSE(second.timedOut);
    ASSERT_EQ(second.exitCode, 0) << second.stderrText;
    auto loaded = callsOf(second, "onVideoLoaded");
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(payloadOf(loaded[0])["width"], 1080.0);
    auto ready = callsOf(second, "onNarrationReady");
    ASSERT_EQ(ready.size(), 2u);
    EXPECT_EQ(ready[0], "onNarrationReady({duration:1.5})");
    expectExportWithNarration(home.path / "három.mp4", 880);
    EXPECT_TRUE(std::filesystem::exists(narration));
    EXPECT_TRUE(std::filesystem::exists(clip));
}

TEST(SessionSurvival, ANarrationThatIsGoneIsReportedAndThePageStateStillLoads) {
    BuildDirFolder home;
    const auto project = home.path / "p.tamovid";
    const auto gone = home.path / "narration_gone.mp3";
    writeFile(project, json({{"narrationPath", gone.string()}, {"cropPreset", "1:1"}}).dump());
    const auto resaved = home.path / "q.tamovid";
    auto run = runHeadless({choose(project.string()), swift("loadProject"), choose(resaved.string()),
                            swift("saveProject", {{"narrationPath", "/a/page/own.mp3"}})});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(
        callsOf(run, "onNarrationError"),
        std::vector<std::string>{"onNarrationError('A projekt narrációja nem található: " + gone.string() + "')"});
    ASSERT_EQ(callsOf(run, "onProjectLoaded").size(), 1u);
    EXPECT_TRUE(callsOf(run, "onNarrationReady").empty());
    // The page's own member is kept as it sent it.
    EXPECT_EQ(json::parse(readFile(resaved))["narrationPath"], "/a/page/own.mp3");
}

TEST(SessionSurvival, NamesWithoutTheirExtensionAskBeforeReplacingAnExistingFile) {
    TempDir dir;
    const auto clip = dir / "clip.mp4";
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=0.4 -c:v libx264 -preset ultrafast -pix_fmt yuv420p " +
                       clip.string()));
    const auto draft = dir / "vázlat.tamovid";
    const auto video = dir / "kimenet.mp4";
    const std::string oldProject = "{\"régi\": true}\n", oldVideo = "régi videó bájtjai";
    writeFile(draft, oldProject);
    writeFile(video, oldVideo);

    const json exportParams = {{"textObjects", json::array()}};
    auto run =
        runHeadless({choose(clip.string()), swift("openVideo"),
                     // No: both files stay byte for byte, nothing is exported.
                     choose((dir / "vázlat").string()), confirm(false), swift("saveProject", {{"a", 1}}),
                     choose((dir / "kimenet").string()), confirm(false), swift("exportVideo", exportParams), idle(),
                     // A name with nothing under it is written without a question.
                     choose((dir / "új").string()), swift("exportVideo", exportParams), idle(),
                     // Yes: replaced.
                     choose((dir / "vázlat").string()), confirm(true), swift("saveProject", {{"a", 2}})});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;

    auto questions = run.withPrefix("QUESTION> ");
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_NE(json::parse(questions[0])["message"].get<std::string>().find("vázlat.tamovid"), std::string::npos);
    EXPECT_NE(json::parse(questions[1])["message"].get<std::string>().find("kimenet.mp4"), std::string::npos);
    // The export chooser proposes its name with the extension.
    auto choosers = run.withPrefix("CHOOSER> ");
    ASSERT_EQ(choosers.size(), 5u);
    EXPECT_EQ(json::parse(choosers[2])["suggestedName"], "clip_text.mp4");

    EXPECT_EQ(readFile(video), oldVideo);
    EXPECT_EQ(callsOf(run, "onExportComplete").size(), 1u);
    DecodedVideo written = decodeVideo(dir / "új.mp4", false);
    EXPECT_EQ(written.times.size(), 10u);
    EXPECT_FALSE(std::filesystem::exists(dir / "új"));
    EXPECT_EQ(json::parse(readFile(draft)), json({{"a", 2}, {"videoPath", clip.string()}}));
}

TEST(SessionSurvival, AMissingPictureIsReportedAndCanBeChosenAgain) {
    TempDir dir;
    const auto replacement = dir / "új_logó.png";
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=c=blue:s=12x8 -frames:v 1 " + replacement.string()));
    const auto project = dir / "képes.tamovid";
    const json overlay = {{"type", "image"}, {"imageId", "img_0BADF00D"}, {"id", "o1"}};
    writeFile(
        project,
        json({{"textObjects", {overlay}}, {"imagePaths", {{"img_0BADF00D", (dir / "törölt.png").string()}}}}).dump());
    const auto resaved = dir / "újra.tamovid";
    // As the page does: reload every picture of the project; then the user chooses the file again.
    auto run = runHeadless({choose(project.string()), swift("loadProject"),
                            swift("reloadImage", {{"imageId", "img_0BADF00D"}}), choose(replacement.string()),
                            swift("reloadImage", {{"imageId", "img_0BADF00D"}, {"choose", true}}),
                            choose(resaved.string()), swift("saveProject", {{"textObjects", {overlay}}})});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(callsOf(run, "onImageMissing"), std::vector<std::string>{"onImageMissing('img_0BADF00D')"});
    auto reloaded = callsOf(run, "onImageReloaded");
    ASSERT_EQ(reloaded.size(), 1u);
    EXPECT_EQ(reloaded[0].rfind("onImageReloaded({imageId:'img_0BADF00D',dataURL:'data:image/png;base64,", 0), 0u);
    // The new file is what the project keeps from now on.
    EXPECT_EQ(json::parse(readFile(resaved))["imagePaths"], json({{"img_0BADF00D", replacement.string()}}));
}

TEST(SessionSurvival, TheRenderToolTakesTheProjectsNarrationUnlessOneIsGiven) {
    TempDir dir;
    const auto project = dir / "p.tamovid";
    writeFile(project, json({{"videoPath", "clip.mp4"}, {"narrationPath", "hang/narration_1.mp3"}}).dump());
    cli::RenderOptions options;
    options.project = project;
    options.output = dir / "out.mp4";
    auto job = cli::loadRenderJob(options);
    ASSERT_TRUE(job.error.empty()) << job.error;
    EXPECT_EQ(job.narration, dir / "hang/narration_1.mp3");

    options.narration = dir / "other.mp3";
    EXPECT_EQ(cli::loadRenderJob(options).narration, dir / "other.mp3");

    // A FIFO as the project's video or as the narration is refused before anything opens it.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    writeFile(project, json({{"videoPath", "pipe"}}).dump());
    options.narration.reset();
    EXPECT_EQ(cli::loadRenderJob(options).error, "video " + (dir / "pipe").string() + ": not a regular file");
    writeFile(dir / "clip.mp4", "x");
    writeFile(project, json({{"videoPath", "clip.mp4"}, {"narrationPath", "pipe"}}).dump());
    EXPECT_EQ(cli::loadRenderJob(options).error, "narration " + (dir / "pipe").string() + ": not a regular file");
}

}  // namespace
}  // namespace tamo::test
