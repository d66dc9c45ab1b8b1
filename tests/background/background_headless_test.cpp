// Background clips end to end through the real tamovid-headless.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "background/clip_probe.h"
#include "support/headless_runner.h"
#include "web/web_test_support.h"

namespace tamo::test {
namespace {

using nlohmann::json;

json readyPayload(const std::string& call) {
    const std::string prefix = "onBackgroundReady(";
    if (call.rfind(prefix, 0) != 0) return nullptr;
    return json::parse(call.substr(prefix.size(), call.size() - prefix.size() - 1), nullptr, false);
}

// Generated clips are kept in the user's data folder: a private one per test, removed afterwards.
struct PrivateDataHome {
    std::filesystem::path path;
    PrivateDataHome() {
        char* made = g_dir_make_tmp("tamo-data-XXXXXX", nullptr);
        path = made ? made : "";
        g_free(made);
    }
    ~PrivateDataHome() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    HeadlessOptions options() const {
        HeadlessOptions o;
        o.env = {{"XDG_DATA_HOME", path.string()}};
        return o;
    }
};

std::string pathOf(const json& payload) {
    gchar* path = g_filename_from_uri(payload.value("url", "").c_str(), nullptr, nullptr);
    std::string text = path ? path : "";
    g_free(path);
    return text;
}

TEST(BackgroundHeadless, DefaultRequestMakesTheFifteenSecondPortraitClip) {
    PrivateDataHome data;
    auto r =
        runHeadless({swift("generateBackground", json::object()), idle(), swift("generateBackground", {{"width", 0}})},
                    data.options());
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText;
    auto calls = r.scriptCalls();
    ASSERT_EQ(calls.size(), 2u);
    json payload = readyPayload(calls[0]);
    ASSERT_TRUE(payload.is_object()) << calls[0];
    const std::string file = pathOf(payload);
    EXPECT_EQ(std::filesystem::path(file).parent_path(), data.path / "tamovid" / "media");
    EXPECT_EQ(std::filesystem::path(file).filename().string().rfind("bg_", 0), 0u);
    EXPECT_EQ(payload, (json{{"url", payload["url"]}, {"width", 1080}, {"height", 1920}, {"duration", 15.0}}));
    EXPECT_EQ(calls[1], "onBackgroundError('Érvénytelen méret vagy hossz!')");
    EXPECT_EQ(r.logLines(), std::vector<std::string>{"🎨 Background video generated: 1080x1920, 15.0s, image: false"});

    ClipInfo clip = probeClip(file);
    EXPECT_EQ(clip.width, 1080);
    EXPECT_EQ(clip.height, 1920);
    ASSERT_EQ(clip.frameSeconds.size(), 450u);
    EXPECT_NEAR(clip.frameSeconds.front(), 0, 1e-6);
    EXPECT_NEAR(clip.frameSeconds.back(), 449 / 30.0, 1e-4);
    FramePixels frame(file, 0, 1080, 1920);
    ASSERT_TRUE(frame.ok());
    EXPECT_TRUE(near(frame.at(540, 960), 0x1a, 0x1a, 0x2e, 6));
    std::filesystem::remove(file);
}

TEST(BackgroundHeadless, PictureFromTheWebIsLaidOverTheColour) {
    const std::string picture = makePicture(100, 100, "png", [](int, int y) { return y < 50 ? 0xFFFFFFu : 0x000000u; });
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/bg.png",
              [&](const httplib::Request&, httplib::Response& res) { res.set_content(picture, "image/png"); });
    });
    // A square picture in a landscape frame: scaled to the width, top and bottom cut.
    PrivateDataHome data;
    auto r = runHeadless({swift("generateBackground", {{"width", 320},
                                                       {"height", 180},
                                                       {"duration", 1},
                                                       {"color", "#ff0000"},
                                                       {"imageURL", server.url("/bg.png")}})},
                         data.options());
    ASSERT_FALSE(r.timedOut);
    auto calls = r.scriptCalls();
    ASSERT_EQ(calls.size(), 1u);
    json payload = readyPayload(calls[0]);
    ASSERT_TRUE(payload.is_object()) << calls[0];
    EXPECT_EQ(r.logLines(), (std::vector<std::string>{"🖼 Background image downloaded: 100x100",
                                                      "🎨 Background video generated: 320x180, 1.0s, image: true"}));
    const std::string file = pathOf(payload);
    ClipInfo clip = probeClip(file);
    EXPECT_EQ(clip.frameSeconds.size(), 30u);
    FramePixels frame(file, 10, 320, 180);
    ASSERT_TRUE(frame.ok());
    // Picture row (y + 70) / 3.2: white above frame row 90, black below, no red anywhere.
    EXPECT_TRUE(near(frame.at(160, 20), 255, 255, 255, 10));
    EXPECT_TRUE(near(frame.at(5, 80), 255, 255, 255, 10));
    EXPECT_TRUE(near(frame.at(160, 100), 0, 0, 0, 10));
    EXPECT_TRUE(near(frame.at(314, 175), 0, 0, 0, 10));
    std::filesystem::remove(file);
}

TEST(BackgroundHeadless, GeneratedClipIsTheCurrentVideoThatAProjectKeeps) {
    const auto project =
        std::filesystem::path(g_get_tmp_dir()) / ("bg_project_" + std::to_string(getpid()) + ".tamovid");
    PrivateDataHome data;
    auto r = runHeadless({swift("generateBackground", {{"width", 64}, {"height", 64}, {"duration", 0.5}}), idle(),
                          choose(project.string()), swift("saveProject", {{"overlays", json::array()}}), idle()},
                         data.options());
    ASSERT_FALSE(r.timedOut);
    auto calls = r.scriptCalls();
    ASSERT_FALSE(calls.empty());
    json payload = readyPayload(calls[0]);
    ASSERT_TRUE(payload.is_object()) << calls[0];
    std::ifstream in(project);
    json saved = json::parse(in, nullptr, false);
    ASSERT_TRUE(saved.is_object()) << "no project written";
    EXPECT_EQ(saved.value("videoPath", ""), pathOf(payload));
    std::filesystem::remove(project);
    std::filesystem::remove(pathOf(payload));
}

TEST(BackgroundHeadless, GeneratedClipIsExportedAsTheSource) {
    const auto output = std::filesystem::path(g_get_tmp_dir()) / ("bg_export_" + std::to_string(getpid()) + ".mp4");
    PrivateDataHome data;
    auto r = runHeadless(
        {swift("generateBackground", {{"width", 320}, {"height", 180}, {"duration", 1}, {"color", "#00ff00"}}), idle(),
         choose(output.string()), swift("exportVideo", {{"cropPreset", "9:16"}, {"textObjects", json::array()}}),
         idle()},
        data.options());
    ASSERT_FALSE(r.timedOut);
    auto calls = r.scriptCalls();
    ASSERT_FALSE(calls.empty());
    json payload = readyPayload(calls[0]);
    ASSERT_TRUE(payload.is_object()) << calls[0];
    EXPECT_EQ(calls.back(), "onExportComplete()") << r.stderrText;

    // The export read the generated clip: its 30 green frames, cut to portrait.
    ClipInfo exported = probeClip(output.string());
    EXPECT_EQ(exported.frameSeconds.size(), 30u);
    ASSERT_GT(exported.width, 0);
    EXPECT_LT(exported.width, exported.height);
    FramePixels frame(output.string(), 20, exported.width, exported.height);
    ASSERT_TRUE(frame.ok());
    EXPECT_TRUE(near(frame.at(exported.width / 2, exported.height / 2), 0, 255, 0, 12));
    std::filesystem::remove(output);
    std::filesystem::remove(pathOf(payload));
}

}  // namespace
}  // namespace tamo::test
