// Projects through the real tamovid-headless: a round trip with Hungarian names, what a load cannot find,
// files that are no project, names typed without their extension, and a session whose generated clip
// and narration come back after a reboot.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <regex>

#include "cli/render_options.h"
#include "export/media_test_support.h"
#include "speech/fake_speech_server.h"
#include "support/fakes.h"
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
// A member of a page call's object literal: imageId:'…' or dataURL:'…'.
std::string member(const std::string& call, const std::string& name) {
    const auto at = call.find(name + ":'") + name.size() + 2;
    return call.substr(at, call.find('\'', at) - at);
}
std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }
bool makeClip(const std::filesystem::path& file, const std::string& seconds) {
    return ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=" + seconds +
                  " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " + quoted(file));
}
json payloadOf(const std::string& call) {
    const auto open = call.find('(');
    return json::parse(call.substr(open + 1, call.size() - open - 2));
}

TEST(ProjectFiles, RoundTripWithHungarianNamesAndWhatALoadCannotFind) {
    TempDir dir;
    std::filesystem::create_directory(dir / "Projektek ősz");
    const auto video = dir / "Projektek ősz" / "videó ű.mp4", project = dir / "Projektek ősz" / "első próba.tamovid";
    const auto kept = dir / "logó.png", deleted = dir / "törölt.png", gone = dir / "narration_gone.mp3";
    ASSERT_TRUE(makeClip(video, "0.6"));
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=32x24 -frames:v 1 " + quoted(kept)));
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=16x16 -frames:v 1 " + quoted(deleted)));
    const json state = {{"overlays", {{{"text", "Árvíztűrő tükörfúrógép 🎬"}, {"start", 12.5}}}},
                        {"cropPreset", "9:16"},
                        {"videoPath", "/elavult/út.mp4"},
                        {"narrationPath", gone.string()}};
    auto save = runHeadless({choose(video), swift("openVideo"), choose(kept), swift("pickImage"), choose(deleted),
                             swift("pickImage"), choose(project), swift("saveProject", state)});
    EXPECT_EQ(json::parse(save.withPrefix("CHOOSER> ").at(3))["extensions"], json({"tamovid"}));
    EXPECT_EQ(save.withPrefix("TITLE> "), std::vector<std::string>{"Tamo Video Editor — első próba.tamovid"});
    EXPECT_EQ(callsOf(save, "onProjectSaved"), std::vector<std::string>{"onProjectSaved('első próba.tamovid')"});
    const auto picked = callsOf(save, "onImagePicked");
    ASSERT_EQ(picked.size(), 2u);
    const std::string keptId = member(picked[0], "imageId"), deletedId = member(picked[1], "imageId");
    const std::string text = readFile(project);  // pretty-printed UTF-8; the open video replaces the stale path
    EXPECT_EQ(text.rfind("{\n  \"", 0), 0u) << text;
    EXPECT_NE(text.find("Árvíztűrő tükörfúrógép 🎬"), std::string::npos);
    json saved = state;
    saved["videoPath"] = video.string();
    saved["imagePaths"] = {{keptId, kept.string()}, {deletedId, deleted.string()}};
    EXPECT_EQ(json::parse(text), saved);

    std::filesystem::remove(deleted);
    const auto resaved = dir / "újra.tamovid";
    auto load = runHeadless({choose(project), swift("loadProject"), swift("reloadImage", {{"imageId", keptId}}),
                             swift("reloadImage", {{"imageId", deletedId}}), choose(kept),
                             swift("reloadImage", {{"imageId", deletedId}, {"choose", true}}), choose(resaved),
                             swift("saveProject", {{"narrationPath", "/a/page/own.mp3"}})});
    auto calls = load.scriptCalls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], "onProjectOpened('első próba.tamovid')") << "named before anything of it reaches the page";
    EXPECT_EQ(payloadOf(calls[1])["width"], 160.0);
    EXPECT_EQ(calls[3], "onNarrationError('A projekt narrációja nem található: " + gone.string() + "')");
    EXPECT_EQ(payloadOf(calls[2]), saved) << calls[2];
    auto reloaded = callsOf(load, "onImageReloaded");
    ASSERT_EQ(reloaded.size(), 2u);
    EXPECT_EQ(member(reloaded[0], "imageId"), keptId);
    EXPECT_EQ(member(reloaded[0], "dataURL"), member(picked[0], "dataURL"));
    EXPECT_EQ(callsOf(load, "onImageMissing"), std::vector<std::string>{"onImageMissing('" + deletedId + "')"});
    json again = json::parse(readFile(resaved));
    EXPECT_EQ(again["imagePaths"][deletedId], kept.string()) << "the chosen file replaces the lost one";
    EXPECT_EQ(again["narrationPath"], "/a/page/own.mp3") << "the page's own member is kept";
    EXPECT_TRUE(load.hasLine("📂 Project loaded: " + project.string()));

    // Files that are no project: nothing reaches the page and no project becomes current.
    std::filesystem::create_directory(dir / "folder.tamovid");
    writeFile(dir / "array.tamovid", R"([{"videoPath": "/x.mp4"}])");
    writeFile(dir / "big.tamovid", "");
    std::filesystem::resize_file(dir / "big.tamovid", 300u * 1024 * 1024);
    std::vector<json> input;
    for (const char* name : {"array", "big", "folder", "missing"})
        input.insert(input.end(), {choose(dir / (name + std::string(".tamovid"))), swift("loadProject")});
    input.insert(input.end(), {chooseCancel(), swift("saveProject", json::object())});
    auto bad = runHeadless(input);
    auto logs = bad.logLines();
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_EQ(logs[0], "❌ Invalid project file");
    for (std::size_t i = 1; i < logs.size(); ++i) EXPECT_EQ(logs[i].rfind("❌ Load failed: ", 0), 0u) << logs[i];
    EXPECT_TRUE(bad.scriptCalls().empty());
    EXPECT_EQ(json::parse(bad.withPrefix("CHOOSER> ").back())["suggestedName"], "projekt.tamovid");

    // A project whose clip is gone says so; a re-chosen file that is no picture is refused.
    writeFile(dir / "lost.tamovid", R"({"videoPath": "/nincs/klip.mp4"})");
    writeFile(dir / "notes.txt", "not a picture");
    auto lost = runHeadless({choose(dir / "lost.tamovid"), swift("loadProject"), choose(dir / "notes.txt"),
                             swift("reloadImage", {{"imageId", "img_A"}, {"choose", true}})});
    auto videoErrors = callsOf(lost, "onVideoError");
    ASSERT_EQ(videoErrors.size(), 1u);
    EXPECT_NE(videoErrors[0].find("/nincs/klip.mp4"), std::string::npos);
    EXPECT_TRUE(lost.hasLine("❌ Image not opened: notes.txt"));
    EXPECT_TRUE(callsOf(lost, "onImageReloaded").empty());
}

TEST(ProjectFiles, FailedSavesAndRestoredPicturesChangeNothingThatIsInUse) {
    TempDir dir;
    LogCapture log;
    FakeApp f;
    const auto good = dir / "jó.tamovid", mine = dir / "mine.png", other = dir / "other.png";
    f.dialogs->answers = {good, good};
    f.app->saveProject({{"v", 1}});
    f.app->currentVideoURL = dir / "rossz\xff.mp4";  // not UTF-8: cannot be written as JSON
    f.app->saveProject({{"v", 3}});
    EXPECT_EQ(log.lines().at(1).rfind("❌ Save failed: ", 0), 0u) << log.lines().at(1);
    EXPECT_EQ(json::parse(readFile(good)), json({{"v", 1}}));
    EXPECT_EQ(f.page->calls, std::vector<std::string>{"onProjectSaved('jó.tamovid')"});

    writeFile(mine, "a");
    writeFile(other, "b");
    writeFile(good,
              json({{"imagePaths", {{"img_KEEP0000", other.string()}, {"img_NEW00000", other.string()}}}}).dump());
    f.app->storedImages = {{"img_KEEP0000", mine}};
    f.dialogs->answers = {good};
    f.app->loadProject();
    EXPECT_EQ(f.app->storedImages,
              (std::map<std::string, std::filesystem::path>{{"img_KEEP0000", mine}, {"img_NEW00000", other}}));
}

// A name typed without its extension gets it, and asks before replacing a file that has it.
TEST(ProjectFiles, NamesWithoutTheirExtensionAskBeforeReplacingAnExistingFile) {
    TempDir dir;
    const auto clip = dir / "clip.mp4", draft = dir / "vázlat.tamovid", video = dir / "kimenet.mp4";
    ASSERT_TRUE(makeClip(clip, "0.4"));
    writeFile(draft, "{\"régi\": true}\n");
    writeFile(video, "régi videó bájtjai");
    const json exportParams = {{"textObjects", json::array()}};
    auto run =
        runHeadless({choose(clip), swift("openVideo"), choose(dir / "vázlat"), confirm(false),
                     swift("saveProject", {{"a", 1}}), choose(dir / "kimenet"), confirm(false),
                     swift("exportVideo", exportParams), idle(), choose(dir / "új"), swift("exportVideo", exportParams),
                     idle(), choose(dir / "vázlat"), confirm(true), swift("saveProject", {{"a", 2}})});
    auto questions = run.withPrefix("QUESTION> ");
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_NE(json::parse(questions[0])["message"].get<std::string>().find("vázlat.tamovid"), std::string::npos);
    EXPECT_NE(json::parse(questions[1])["message"].get<std::string>().find("kimenet.mp4"), std::string::npos);
    EXPECT_EQ(json::parse(run.withPrefix("CHOOSER> ").at(2))["suggestedName"], "clip_text.mp4");
    EXPECT_EQ(readFile(video), "régi videó bájtjai");
    EXPECT_EQ(decodeVideo(dir / "új.mp4", false).times.size(), 10u);
    EXPECT_FALSE(std::filesystem::exists(dir / "új"));
    EXPECT_EQ(json::parse(readFile(draft)), json({{"a", 2}, {"videoPath", clip.string()}}));
}

// A generated clip and narration are kept in the user's data folder, not the temporary one: after a
// "reboot" that empties it the project loads and exports them (the page's portrait size, every frame,
// the generated colour and the narration's tone), and a newer narration does not delete them.
TEST(SessionSurvival, GeneratedClipAndNarrationComeBackAfterARebootAndAreExportedAgain) {
    TempDir tmp, home;  // tmp is the session's TMPDIR
    const auto media = home / "data" / "tamovid" / "media", project = home / "munka.tamovid";
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=880:d=1.5 -c:a libmp3lame -b:a 64k " + (home / "voice.mp3").string()));
    FakeSpeechServer server(FakeSpeechServer::bytes(readFile(home / "voice.mp3")));
    HeadlessOptions options;
    options.env = {{"XDG_DATA_HOME", (home / "data").string()},
                   {"TMPDIR", tmp.path().string()},
                   {"TAMO_SPEECH_BASE_URL", server.baseUrl()}};
    options.timeoutSeconds = 600;
    auto first = runHeadless(
        {swift("generateBackground", {{"width", 1080}, {"height", 1920}, {"duration", 1}, {"color", "#336699"}}),
         idle(), swift("generateTTS", {{"text", "Szia"}, {"apiKey", "k"}}), idle(), choose(project),
         swift("saveProject", {{"cropPreset", "original"}}), idle()},
        options);
    ASSERT_EQ(first.exitCode, 0) << first.stderrText;
    const json saved = json::parse(readFile(project));
    const std::filesystem::path clip = saved.value("videoPath", ""), narration = saved.value("narrationPath", "");
    EXPECT_EQ(clip.parent_path(), media);
    EXPECT_TRUE(std::regex_match(clip.filename().string(), std::regex("bg_[0-9A-F-]{36}\\.mp4")));
    EXPECT_EQ(narration.parent_path(), media);
    EXPECT_TRUE(std::regex_match(narration.filename().string(), std::regex("narration_[0-9A-F-]{36}\\.mp3")));

    for (const auto& entry : std::filesystem::directory_iterator(tmp.path())) std::filesystem::remove_all(entry);
    const auto file = home / "három.mp4";
    auto second = runHeadless(
        {choose(project), swift("loadProject"), idle(), choose(file),
         swift("exportVideo", {{"cropPreset", "original"}, {"textObjects", json::array()}, {"previewHeight", 400}}),
         idle(), swift("generateTTS", {{"text", "Újra"}, {"apiKey", "k"}}), idle()},
        options);
    ASSERT_EQ(second.exitCode, 0) << second.stderrText;
    EXPECT_EQ(callsOf(second, "onNarrationReady").at(0), "onNarrationReady({duration:1.5})");
    DecodedVideo video = decodeVideo(file, false);
    EXPECT_EQ(std::tuple(video.width, video.height, video.times.size()), std::tuple(1080, 1920, 30u));
    const auto pixel = file.string() + ".rgb";
    ASSERT_TRUE(ffmpeg("-sseof -0.2 -i " + file.string() +
                       " -vf crop=2:2:539:959 -frames:v 1 -f rawvideo -pix_fmt rgb24 " + pixel));
    const std::string rgb = readFile(pixel);
    ASSERT_GE(rgb.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(static_cast<unsigned char>(rgb[i]), 0x33 * (i + 1), 8);  // #336699
    DecodedAudio audio = decodeAudio(file);
    ASSERT_TRUE(audio.present) << "the narration was left out";
    double tone = toneAmplitude(audio.left, audio.sampleRate, 880, 0.2, 0.8);
    EXPECT_GT(tone, 0.05);
    EXPECT_GT(tone, 10 * toneAmplitude(audio.left, audio.sampleRate, 880 * 1.37, 0.2, 0.8));
    EXPECT_TRUE(std::filesystem::exists(narration) && std::filesystem::exists(clip));

    // The render tool takes the project's narration unless one is given, and refuses a FIFO as the video.
    cli::RenderOptions render;
    render.project = project;
    render.output = home / "out.mp4";
    EXPECT_EQ(cli::loadRenderJob(render).narration, narration);
    render.narration = home / "other.mp3";
    EXPECT_EQ(cli::loadRenderJob(render).narration, home / "other.mp3");
    ASSERT_EQ(::mkfifo((home / "pipe").c_str(), 0600), 0);
    writeFile(project, json({{"videoPath", "pipe"}}).dump());
    EXPECT_EQ(cli::loadRenderJob(render).error, "video " + (home / "pipe").string() + ": not a regular file");
}

}  // namespace
}  // namespace tamo::test
