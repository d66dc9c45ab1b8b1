// Video opening end to end: the real tamovid-headless, real files, the page calls read from its output.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "media/media_fixtures.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

std::vector<std::string> callsOf(const HeadlessResult& run, const std::string& function) {
    std::vector<std::string> out;
    for (const auto& call : run.scriptCalls())
        if (call.rfind(function + "(", 0) == 0) out.push_back(call);
    return out;
}

// The JSON argument of "name({...})".
nlohmann::json payloadOf(const std::string& call) {
    auto open = call.find('(');
    return nlohmann::json::parse(call.substr(open + 1, call.size() - open - 2));
}

class OpenVideoTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(OpenVideoTest, ChosenFilesReachThePageWithUprightSizeAndLength) {
    // Blanks and an accent: percent-encoded in "url", plain in the log line.
    auto landscape = dir / "nyári út 1.mp4";
    auto portrait = dir / "portrait.mp4";
    ASSERT_TRUE(makeClip(landscape, 320, 180, 1.32));
    ASSERT_TRUE(ffmpeg("-i " + shellQuoted(landscape) + " -c copy -metadata:s:v:0 rotate=90 " + shellQuoted(portrait)));

    auto run = runHeadless({choose(landscape), swift("openVideo"), choose(portrait), swift("openVideo", {{"x", 1}})});
    ASSERT_FALSE(run.timedOut);

    auto choosers = run.withPrefix("CHOOSER> ");
    ASSERT_EQ(choosers.size(), 2u);
    auto chooser = nlohmann::json::parse(choosers[0]);
    EXPECT_EQ(chooser["kind"], "open");
    EXPECT_EQ(chooser["title"], "Videó megnyitása");
    EXPECT_EQ(chooser["extensions"], nlohmann::json({"mp4", "mov", "m4v", "avi", "mkv"}));

    auto loaded = callsOf(run, "onVideoLoaded");
    ASSERT_EQ(loaded.size(), 2u);
    auto first = payloadOf(loaded[0]);
    EXPECT_EQ(first["url"], "file://" + dir.path().string() + "/ny%C3%A1ri%20%C3%BAt%201.mp4");
    EXPECT_EQ(first["width"], 320.0);
    EXPECT_EQ(first["height"], 180.0);
    ASSERT_TRUE(first["duration"].is_number());
    EXPECT_NEAR(first["duration"].get<double>(), 1.32, 0.03);
    EXPECT_EQ(first.size(), 4u);

    auto second = payloadOf(loaded[1]);
    EXPECT_EQ(second["url"], "file://" + dir.path().string() + "/portrait.mp4");
    EXPECT_EQ(second["width"], 180.0);
    EXPECT_EQ(second["height"], 320.0);

    EXPECT_TRUE(run.hasLine("📹 Video loaded: nyári út 1.mp4 (320x180, 1.3s)"));
    EXPECT_TRUE(run.hasLine("📹 Video loaded: portrait.mp4 (180x320, 1.3s)"));
}

TEST_F(OpenVideoTest, FilesWithoutPictureAreLoggedAndStillBecomeTheCurrentVideo) {
    auto tone = dir / "hang.m4a";
    auto text = dir / "notes.mp4";
    auto empty = dir / "empty.mp4";
    auto cut = dir / "cut.mp4";
    auto good = dir / "good.mp4";
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=1 -c:a aac " + shellQuoted(tone)));
    ASSERT_TRUE(makeClip(good, 160, 90, 1.0));
    writeFile(text, "nem videó");
    writeFile(empty, "");
    writeFile(cut, readFile(good).substr(0, 3000));

    auto project = dir / "p.tamovid";
    std::vector<nlohmann::json> input;
    for (const auto& f : {tone, text, empty, cut}) {
        input.push_back(choose(f));
        input.push_back(swift("openVideo"));
    }
    // The project remembers the current video: the last file chosen, though it had no picture.
    input.push_back(choose(project));
    input.push_back(swift("saveProject", nlohmann::json::object()));
    auto run = runHeadless(input);
    ASSERT_FALSE(run.timedOut);

    EXPECT_TRUE(callsOf(run, "onVideoLoaded").empty());
    int missing = 0;
    for (const auto& line : run.logLines()) missing += line == "❌ No video track found";
    EXPECT_EQ(missing, 4);
    auto saved = nlohmann::json::parse(readFile(project));
    EXPECT_EQ(saved["videoPath"], cut.string());
}

TEST_F(OpenVideoTest, CancelledChooserChangesNothing) {
    auto good = dir / "good.mp4";
    auto project = dir / "p.tamovid";
    ASSERT_TRUE(makeClip(good, 160, 90, 0.5, false));
    auto run = runHeadless({choose(good), swift("openVideo"), chooseCancel(), swift("openVideo"), choose(project),
                            swift("saveProject", nlohmann::json::object())});
    EXPECT_EQ(callsOf(run, "onVideoLoaded").size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(readFile(project))["videoPath"], good.string());
}

}  // namespace
}  // namespace tamo::test
