// Project files end to end through tamovid-headless (real files, real choosers' answers, the page calls
// read from its output), plus the failure paths on the application object with fakes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iterator>
#include <random>

#include "media/media_fixtures.h"
#include "media/picture_check.h"
#include "support/fakes.h"
#include "support/headless_runner.h"
#include "support/read_only_folder.h"

namespace tamo::test {
namespace {

using nlohmann::json;

const std::string kTitlePrefix = "Tamo Video Editor \xE2\x80\x94 ";  // blank, em dash, blank

json payloadOf(const std::string& call) {
    auto open = call.find('(');
    return json::parse(call.substr(open + 1, call.size() - open - 2));
}

// The page calls that carry the project's file name (after a save, before a loaded state), and the rest.
bool namesProject(const std::string& call) {
    return call.rfind("onProjectSaved(", 0) == 0 || call.rfind("onProjectOpened(", 0) == 0;
}
std::vector<std::string> projectNames(const std::vector<std::string>& calls) {
    std::vector<std::string> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), namesProject);
    return out;
}
std::vector<std::string> withoutProjectNames(const std::vector<std::string>& calls) {
    std::vector<std::string> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [](const auto& c) { return !namesProject(c); });
    return out;
}

std::vector<json> choosers(const HeadlessResult& run) {
    std::vector<json> out;
    for (const auto& line : run.withPrefix("CHOOSER> ")) out.push_back(json::parse(line));
    return out;
}

TEST(ProjectFiles, SaveAndLoadRoundTripWithHungarianPaths) {
    TempDir dir;
    std::filesystem::create_directory(dir / "Projektek ősz");
    auto video = dir / "Projektek ősz" / "videó ű.mp4";
    auto project = dir / "Projektek ősz" / "első próba.tamovid";
    ASSERT_TRUE(makeClip(video, 160, 90, 0.6));
    json state = {{"overlays", json::array({{{"text", "Árvíztűrő tükörfúrógép 🎬"}, {"start", 12.5}}})},
                  {"cropPreset", "9:16"},
                  {"cropPositionX", 12.5},
                  {"cropPositionY", 50},
                  {"outputSize", "standard"},
                  {"fillMode", "fit"},
                  {"videoPath", "/elavult/út.mp4"}};

    auto save = runHeadless({choose(video), swift("openVideo"), choose(project), swift("saveProject", state),
                             choose(project), swift("saveProject", state)});
    ASSERT_FALSE(save.timedOut);
    auto asked = choosers(save);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1], json({{"kind", "save"},
                              {"title", "Projekt mentése"},
                              {"extensions", {"tamovid"}},
                              {"suggestedName", "projekt.tamovid"}}));
    EXPECT_EQ(asked[2]["suggestedName"], "első próba.tamovid");
    EXPECT_EQ(save.withPrefix("TITLE> "), std::vector<std::string>(2, kTitlePrefix + "első próba.tamovid"));
    EXPECT_TRUE(save.hasLine("💾 Project saved: " + project.string()));
    EXPECT_EQ(projectNames(save.scriptCalls()), std::vector<std::string>(2, "onProjectSaved('első próba.tamovid')"));

    // Pretty-printed UTF-8; the open video's path replaces the page's stale one.
    std::string text = readFile(project);
    EXPECT_EQ(text.rfind("{\n  \"", 0), 0u) << text;
    EXPECT_NE(text.find("Árvíztűrő tükörfúrógép 🎬"), std::string::npos);
    json expected = state;
    expected["videoPath"] = video.string();
    EXPECT_EQ(json::parse(text), expected);

    // A new run: the video is reopened before the page gets its state back.
    auto load =
        runHeadless({choose(project), swift("loadProject"), chooseCancel(), swift("saveProject", json::object())});
    ASSERT_FALSE(load.timedOut);
    auto loadAsked = choosers(load);
    ASSERT_EQ(loadAsked.size(), 2u);
    EXPECT_EQ(loadAsked[0], json({{"kind", "open"}, {"title", "Projekt megnyitása"}, {"extensions", {"tamovid"}}}));
    EXPECT_EQ(loadAsked[1]["suggestedName"], "első próba.tamovid");
    EXPECT_EQ(load.withPrefix("TITLE> "), std::vector<std::string>{kTitlePrefix + "első próba.tamovid"});
    auto calls = load.scriptCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "onProjectOpened('első próba.tamovid')") << "named before anything of it reaches the page";
    calls.erase(calls.begin());
    ASSERT_EQ(calls[0].rfind("onVideoLoaded(", 0), 0u);
    EXPECT_EQ(payloadOf(calls[0])["width"], 160.0);
    ASSERT_EQ(calls[1].rfind("onProjectLoaded(", 0), 0u);
    EXPECT_EQ(payloadOf(calls[1]), expected);
    EXPECT_EQ(load.logLines(), (std::vector<std::string>{"📹 Video loaded: videó ű.mp4 (160x90, 0.6s)",
                                                         "📂 Project loaded: " + project.string()}));
}

TEST(ProjectFiles, MissingOrUnusableVideoPathsLoadWithoutTheVideo) {
    TempDir dir;
    auto video = dir / "clip.mp4";
    ASSERT_TRUE(makeClip(video, 160, 90, 0.5, false));
    auto noVideo = dir / "no-video.tamovid", gone = dir / "gone.tamovid", number = dir / "number.tamovid",
         after = dir / "after.tamovid";
    writeFile(gone, json({{"videoPath", (dir / "törölt.mp4").string()}, {"b", 2}}).dump());
    writeFile(number, R"({"videoPath": 42})");

    auto run = runHeadless({choose(noVideo), swift("saveProject", {{"a", 1}}),  // nothing open yet
                            choose(video), swift("openVideo"),                  //
                            choose(gone), swift("loadProject"),                 //
                            choose(noVideo), swift("loadProject"),              //
                            choose(number), swift("loadProject"),               //
                            choose(after), swift("saveProject", json::object())});
    ASSERT_FALSE(run.timedOut);
    // Saved with no video: only the page's members.
    EXPECT_EQ(json::parse(readFile(noVideo)), json({{"a", 1}}));

    EXPECT_EQ(projectNames(run.scriptCalls()),
              (std::vector<std::string>{"onProjectSaved('no-video.tamovid')", "onProjectOpened('gone.tamovid')",
                                        "onProjectOpened('no-video.tamovid')", "onProjectOpened('number.tamovid')",
                                        "onProjectSaved('after.tamovid')"}));
    auto calls = withoutProjectNames(run.scriptCalls());
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].rfind("onVideoLoaded(", 0), 0u);
    // The page hears why the clip it shows stays, then gets the rest of the project.
    EXPECT_EQ(calls[1], "onVideoError('A projekt videója nem található: " + (dir / "törölt.mp4").string() + "')");
    EXPECT_EQ(payloadOf(calls[2]), json::parse(readFile(gone))) << "the old videoPath is handed back unchanged";
    EXPECT_EQ(payloadOf(calls[3]), json({{"a", 1}}));
    EXPECT_EQ(payloadOf(calls[4]), json({{"videoPath", 42}}));
    // The video opened before the loads is still the current one.
    EXPECT_EQ(json::parse(readFile(after))["videoPath"], video.string());
}

struct BadFile {
    const char* name;
    std::string content;
    bool invalid;  // "❌ Invalid project file" rather than "❌ Load failed: …"
};

TEST(ProjectFiles, FilesThatAreNotAJsonObjectChangeNothing) {
    TempDir dir;
    std::string garbage(100u * 1024 * 1024, '\0');
    std::mt19937 random(7);
    for (auto& c : garbage) c = static_cast<char>(random());
    const BadFile cases[] = {
        {"empty.tamovid", "", false},
        {"truncated.tamovid", R"({"overlays": [{"text": "fél)", false},
        {"binary.tamovid", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false},
        {"array.tamovid", R"([{"videoPath": "/x.mp4"}])", true},
        {"empty-array.tamovid", "[]", true},
        {"number.tamovid", "42", false},
        {"text.tamovid", R"("projekt")", false},
        {"true.tamovid", "true", false},
        {"null.tamovid", "null", false},
        {"trailing.tamovid", R"({"a": 1} {"b": 2})", false},
        {"latin1.tamovid", "{\"c\\u00edm\": \"\xe1rv\xedz\"}", false},
        {"deep.tamovid", "{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}", false},
        {"garbage.tamovid", garbage, false},
    };
    std::vector<json> input;
    for (const auto& c : cases) {
        writeFile(dir / c.name, c.content);
        input.push_back(choose(dir / c.name));
        input.push_back(swift("loadProject"));
    }
    std::filesystem::create_directory(dir / "folder.tamovid");
    for (const char* name : {"folder.tamovid", "missing.tamovid"}) {
        input.push_back(choose(dir / name));
        input.push_back(swift("loadProject"));
    }
    input.push_back(chooseCancel());
    input.push_back(swift("saveProject", json::object()));
    auto run = runHeadless(input);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);

    auto logs = run.logLines();
    ASSERT_EQ(logs.size(), std::size(cases) + 2);
    for (std::size_t i = 0; i < logs.size(); ++i) {
        bool invalid = i < std::size(cases) && cases[i].invalid;
        SCOPED_TRACE(i < std::size(cases) ? cases[i].name : "folder or missing");
        if (invalid)
            EXPECT_EQ(logs[i], "❌ Invalid project file");
        else
            EXPECT_EQ(logs[i].rfind("❌ Load failed: ", 0), 0u) << logs[i];
        EXPECT_GT(logs[i].size(), std::string("❌ Load failed: ").size());
        EXPECT_TRUE(g_utf8_validate(logs[i].data(), static_cast<gssize>(logs[i].size()), nullptr))
            << "binary in the log";
    }
    EXPECT_TRUE(run.scriptCalls().empty());
    EXPECT_TRUE(run.withPrefix("TITLE> ").empty());
    auto asked = choosers(run);
    EXPECT_EQ(asked.back()["suggestedName"], "projekt.tamovid") << "no project became current";
}

TEST(ProjectFiles, PicturesComeBackUnderTheirIdentifiersInANewRun) {
    TempDir dir;
    auto kept = dir / "logó.png", deleted = dir / "törölt.png", project = dir / "képek.tamovid";
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=32x24 -frames:v 1 " + shellQuoted(kept)));
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=16x16 -frames:v 1 " + shellQuoted(deleted)));

    auto first = runHeadless({choose(kept), swift("pickImage"), choose(deleted), swift("pickImage"), choose(project),
                              swift("saveProject", {{"overlays", json::array()}})});
    auto calls = withoutProjectNames(first.scriptCalls());
    ASSERT_EQ(calls.size(), 2u);
    auto keptPick = parsePicked(calls[0]), deletedPick = parsePicked(calls[1]);
    ASSERT_TRUE(keptPick && deletedPick);
    json saved = json::parse(readFile(project));
    json paths = {{keptPick->imageId, kept.string()}, {deletedPick->imageId, deleted.string()}};
    EXPECT_EQ(saved, json({{"overlays", json::array()}, {"imagePaths", paths}}));

    std::filesystem::remove(deleted);
    auto second =
        runHeadless({choose(project), swift("loadProject"), swift("reloadImage", {{"imageId", keptPick->imageId}}),
                     swift("reloadImage", {{"imageId", deletedPick->imageId}})});
    calls = withoutProjectNames(second.scriptCalls());
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(payloadOf(calls[0]), saved) << "the member reaches the page unchanged";
    auto reloaded = parseReloaded(calls[1]);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->first, keptPick->imageId);
    EXPECT_EQ(reloaded->second, keptPick->base64);
    EXPECT_EQ(calls[2], "onImageMissing('" + deletedPick->imageId + "')");

    // A page that keeps its own "imagePaths" has it written as it is.
    auto own = dir / "own.tamovid";
    runHeadless(
        {choose(kept), swift("pickImage"), choose(own), swift("saveProject", {{"imagePaths", {{"mine", "x"}}}})});
    EXPECT_EQ(json::parse(readFile(own)), json({{"imagePaths", {{"mine", "x"}}}}));
}

TEST(ProjectFiles, RestoredPicturesNeverMoveAnIdentifierAlreadyInUse) {
    TempDir dir;
    auto mine = dir / "mine.png", other = dir / "other.png", project = dir / "p.tamovid";
    writeFile(mine, "a");
    writeFile(other, "b");
    json content = {{"imagePaths",
                     {{"img_KEEP0000", other.string()},
                      {"img_NEW00000", other.string()},
                      {"img_NUMBER00", 5},
                      {"img_GONE0000", (dir / "gone.png").string()}}}};
    writeFile(project, content.dump());
    FakeApp f;
    f.app->storedImages["img_KEEP0000"] = mine;
    f.dialogs->answers = {project};
    f.app->loadProject();
    EXPECT_EQ(f.app->storedImages,
              (std::map<std::string, std::filesystem::path>{{"img_KEEP0000", mine}, {"img_NEW00000", other}}));
    ASSERT_EQ(f.page->calls.size(), 2u);
    EXPECT_EQ(f.page->calls[0], "onProjectOpened('p.tamovid')");
    EXPECT_EQ(payloadOf(f.page->calls[1]), content);
}

TEST(ProjectFiles, FailedSavesLogAndChangeNothing) {
    TempDir dir;
    LogCapture log;
    FakeApp f;
    auto good = dir / "jó.tamovid";
    writeFile(dir / "plain.txt", "x");
    std::filesystem::create_directory(dir / "mappa.tamovid");
    f.dialogs->answers = {good, dir / "plain.txt" / "p.tamovid", dir / "mappa.tamovid"};
    f.app->saveProject({{"v", 1}});
    f.app->saveProject({{"v", 2}});
    f.app->saveProject({{"v", 3}});
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"💾 Project saved: " + good.string(),
                                                     "❌ Save failed: Az útvonal egyik tagja nem mappa.",
                                                     "❌ Save failed: A megadott név egy mappáé."}));
    EXPECT_EQ(f.window->titles, std::vector<std::string>{kTitlePrefix + "jó.tamovid"});
    EXPECT_EQ(f.app->currentProjectURL, good);
    EXPECT_EQ(json::parse(readFile(good)), json({{"v", 1}}));

    // A video path that is not UTF-8 cannot be written as JSON: the old file stays as it was.
    f.app->currentVideoURL = dir / "rossz\xff.mp4";
    f.dialogs->answers = {good};
    f.app->saveProject({{"v", 4}});
    EXPECT_EQ(log.lines().back().rfind("❌ Save failed: ", 0), 0u) << log.lines().back();
    EXPECT_EQ(json::parse(readFile(good)), json({{"v", 1}}));
    // Only the one save that was written counts as saved for the page.
    EXPECT_EQ(f.page->calls, std::vector<std::string>{"onProjectSaved('jó.tamovid')"});
}

TEST(ProjectFiles, SaveIntoAReadOnlyFolderNamesTheReason) {
    TempDir dir;
    LogCapture log;
    FakeApp f;
    auto folder = dir / "csak_olvashato";
    f.dialogs->answers = {folder / "terv.tamovid"};
    {
        ReadOnlyFolder readOnly(folder);
        f.app->saveProject({{"v", 1}});
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{"❌ Save failed: Nincs jogosultság a fájlhoz vagy a mappájához."});
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_EQ(f.app->currentProjectURL, std::nullopt);
}

TEST(ProjectFiles, ANameTypedWithoutTheExtensionGetsIt) {
    TempDir dir;
    FakeApp f;
    f.dialogs->answers = {dir / "vázlat", dir / "KÉSZ.TAMOVID"};
    f.app->saveProject(json::object());
    EXPECT_TRUE(std::filesystem::exists(dir / "vázlat.tamovid"));
    EXPECT_EQ(f.app->currentProjectURL, dir / "vázlat.tamovid");
    f.app->saveProject(json::object());
    EXPECT_EQ(f.dialogs->requests.back().options.suggestedName, "vázlat.tamovid");
    EXPECT_TRUE(std::filesystem::exists(dir / "KÉSZ.TAMOVID"));
}

}  // namespace
}  // namespace tamo::test
