// The tamovid-headless protocol, on the real executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/headless_runner.h"

namespace tamo::test {
namespace {

using nlohmann::json;

TEST(HeadlessProtocol, UnknownActionsAreLoggedAndMalformedLinesSkipped) {
    auto r = runHeadlessRaw({
        R"({"swift": {"action": "noSuchThing"}})",
        "this is not json",
        R"(["an", "array"])",
        R"({"swift": 1, "extra": 2})",
        R"({"mystery": true})",
        R"({"swift": "openVideo"})",
        R"({"swift": {"action": "OpenVideo"}})",
        R"({"consoleLog": {"level": "warn", "message": "low disk 3"}})",
        R"({"consoleLog": {"level": "debug"}})",
    });
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.logLines(),
              (std::vector<std::string>{"⚠️ Unknown action: noSuchThing", "⚠️ Unknown action: OpenVideo",
                                        "⚠️ JS[warn]: low disk 3"}));
    EXPECT_NE(r.stderrText.find("not JSON"), std::string::npos);
    EXPECT_NE(r.stderrText.find("unknown key"), std::string::npos);
    EXPECT_TRUE(r.scriptCalls().empty());
}

TEST(HeadlessProtocol, EmptyInputExitsCleanly) {
    auto r = runHeadlessRaw({});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.lines.empty());
}

}  // namespace
}  // namespace tamo::test

namespace tamo::test {
namespace {

// A scratch folder with a small clip, removed at the end.
class ClipFolder {
public:
    ClipFolder() {
        char tmpl[] = "/tmp/tamo-headless-XXXXXX";
        dir_ = mkdtemp(tmpl);
        clip_ = dir_ / "clip.mp4";
        std::string cmd = "ffmpeg -loglevel error -y -f lavfi -i color=c=blue:s=64x36:r=10:d=1 -pix_fmt yuv420p '" +
                          clip_.string() + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    ~ClipFolder() { std::filesystem::remove_all(dir_); }
    const std::filesystem::path& dir() const { return dir_; }
    const std::filesystem::path& clip() const { return clip_; }

private:
    std::filesystem::path dir_, clip_;
};

TEST(HeadlessProtocol, ChoosersAreAnnouncedAndAnsweredInOrder) {
    ClipFolder folder;
    auto r = runHeadless({
        swift("openVideo"),  // nothing queued: cancelled
        chooseCancel(),
        swift("openVideo"),  // cancelled explicitly
        choose(folder.clip()),
        swift("openVideo"),  // answered
    });
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    auto choosers = r.withPrefix("CHOOSER> ");
    ASSERT_EQ(choosers.size(), 3u);
    for (const auto& c : choosers) {
        auto j = nlohmann::json::parse(c);
        EXPECT_EQ(j["kind"], "open");
        EXPECT_TRUE(j["title"].is_string() && !j["title"].get<std::string>().empty());
        EXPECT_TRUE(j["extensions"].is_array());
        EXPECT_FALSE(j.contains("suggestedName"));
    }
    auto calls = r.scriptCalls();
    ASSERT_EQ(calls.size(), 1u);  // only the answered chooser loads a video
    EXPECT_EQ(calls[0].rfind("onVideoLoaded(", 0), 0u);
    EXPECT_TRUE(r.hasLine("📹 Video loaded: clip.mp4 (64x36, 1.0s)"));
}

TEST(HeadlessProtocol, IdleHoldsLaterLinesUntilBackgroundWorkHasAnswered) {
    ClipFolder folder;
    const auto out = folder.dir() / "out.mp4";
    auto withIdle = runHeadless({
        choose(folder.clip()),
        swift("openVideo"),
        choose(out),
        swift("exportVideo", nlohmann::json::object()),
        idle(),
        swift("marker"),
    });
    ASSERT_FALSE(withIdle.timedOut);
    EXPECT_EQ(withIdle.exitCode, 0);
    auto save = nlohmann::json::parse(withIdle.withPrefix("CHOOSER> ").at(1));
    EXPECT_EQ(save["kind"], "save");
    EXPECT_EQ(save["suggestedName"], "clip_text.mp4");
    // The export's last page call comes before the marker that followed the idle line.
    auto complete = std::find(withIdle.lines.begin(), withIdle.lines.end(), "JS> onExportComplete()");
    auto marker = std::find(withIdle.lines.begin(), withIdle.lines.end(), "⚠️ Unknown action: marker");
    ASSERT_NE(complete, withIdle.lines.end());
    ASSERT_NE(marker, withIdle.lines.end());
    EXPECT_LT(complete, marker);
    EXPECT_TRUE(std::filesystem::exists(out));

    // Without idle the marker is taken at once, long before the export ends; the end of input
    // still waits for the export to answer.
    std::filesystem::remove(out);
    auto withoutIdle = runHeadless({
        choose(folder.clip()),
        swift("openVideo"),
        choose(out),
        swift("exportVideo", nlohmann::json::object()),
        swift("marker"),
    });
    complete = std::find(withoutIdle.lines.begin(), withoutIdle.lines.end(), "JS> onExportComplete()");
    marker = std::find(withoutIdle.lines.begin(), withoutIdle.lines.end(), "⚠️ Unknown action: marker");
    ASSERT_NE(complete, withoutIdle.lines.end());
    ASSERT_NE(marker, withoutIdle.lines.end());
    EXPECT_LT(marker, complete);
    EXPECT_TRUE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace tamo::test
