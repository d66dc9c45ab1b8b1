// Video opening end to end: the real tamovid-headless, real files, the page calls read from its output.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

TEST_F(OpenVideoTest, BrokenFilesAfterAGoodOneAreRefusedAndTheGoodOneStaysCurrent) {
    auto good = dir / "good.mp4";
    auto tone = dir / "hang.m4a";
    auto text = dir / "notes.mp4";
    auto empty = dir / "empty.mp4";
    auto cut = dir / "cut.mp4";
    auto folder = dir / "folder.mp4";
    auto fifo = dir / "pipe.mp4";
    ASSERT_TRUE(makeClip(good, 160, 90, 1.0));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=1 -c:a aac " + shellQuoted(tone)));
    writeFile(text, "nem videó");
    writeFile(empty, "");
    writeFile(cut, readFile(good).substr(0, 3000));
    std::filesystem::create_directory(folder);
    // Opening a FIFO for reading waits for a writer that never comes: it must be refused unopened.
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    auto project = dir / "p.tamovid";
    std::vector<nlohmann::json> input = {choose(good), swift("openVideo")};
    for (const auto& f : {tone, text, empty, cut, folder, fifo, dir / "gone.mp4"}) {
        input.push_back(choose(f));
        input.push_back(swift("openVideo"));
    }
    // The export and the project still work on the good clip.
    input.push_back(chooseCancel());
    input.push_back(swift("exportVideo", nlohmann::json::object()));
    input.push_back(choose(project));
    input.push_back(swift("saveProject", nlohmann::json::object()));
    HeadlessOptions options;
    options.timeoutSeconds = 60;
    auto run = runHeadless(input, options);
    ASSERT_FALSE(run.timedOut);

    EXPECT_EQ(callsOf(run, "onVideoLoaded").size(), 1u);
    EXPECT_EQ(callsOf(run, "onVideoError"),
              (std::vector<std::string>{"onVideoError('Nincs videósáv a fájlban!')",
                                        "onVideoError('A videó nem nyitható meg: a fájl nem olvasható médiafájl.')",
                                        "onVideoError('A videó nem nyitható meg: a fájl nem olvasható médiafájl.')",
                                        "onVideoError('A videó nem nyitható meg: a fájl nem olvasható médiafájl.')",
                                        "onVideoError('A videó nem nyitható meg: ez egy mappa, nem videófájl.')",
                                        "onVideoError('A videó nem nyitható meg: nem közönséges fájl.')",
                                        "onVideoError('A videó nem nyitható meg: a fájl nem található.')"}));
    auto choosers = run.withPrefix("CHOOSER> ");
    ASSERT_EQ(choosers.size(), 10u);
    EXPECT_EQ(nlohmann::json::parse(choosers[8])["suggestedName"], "good_text.mp4");
    EXPECT_EQ(nlohmann::json::parse(readFile(project))["videoPath"], good.string());
}

TEST_F(OpenVideoTest, AProjectWhoseVideoIsGoneOrNoFileKeepsTheClipAndTellsThePage) {
    auto good = dir / "good.mp4";
    auto fifo = dir / "pipe.mp4";
    ASSERT_TRUE(makeClip(good, 160, 90, 0.5, false));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto gone = dir / "gone.tamovid";
    auto piped = dir / "piped.tamovid";
    writeFile(gone, nlohmann::json({{"videoPath", (dir / "moved away.mp4").string()}, {"cropPreset", "9:16"}}).dump());
    writeFile(piped, nlohmann::json({{"videoPath", fifo.string()}, {"cropPreset", "1:1"}}).dump());
    auto resaved = dir / "resaved.tamovid";

    HeadlessOptions options;
    options.timeoutSeconds = 60;
    auto run = runHeadless({choose(good), swift("openVideo"), choose(gone), swift("loadProject"), choose(piped),
                            swift("loadProject"), choose(resaved), swift("saveProject", nlohmann::json::object())},
                           options);
    ASSERT_FALSE(run.timedOut);

    EXPECT_EQ(callsOf(run, "onVideoLoaded").size(), 1u);
    auto errors = callsOf(run, "onVideoError");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "onVideoError('A projekt videója nem található: " + (dir / "moved away.mp4").string() + "')");
    EXPECT_EQ(errors[1], "onVideoError('A videó nem nyitható meg: nem közönséges fájl.')");
    // The rest of each project still reaches the page.
    auto loaded = callsOf(run, "onProjectLoaded");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(payloadOf(loaded[0])["cropPreset"], "9:16");
    EXPECT_EQ(payloadOf(loaded[1])["cropPreset"], "1:1");
    EXPECT_EQ(nlohmann::json::parse(readFile(resaved))["videoPath"], good.string());
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
