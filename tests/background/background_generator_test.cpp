// Background clips written for real and decoded again: frame count, stamps, size, colour, the
// cover-fit picture, the fallbacks, and the clip becoming the current video.
#include "bridge/background_actions.h"

#include <gtest/gtest.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "background/clip_probe.h"
#include "support/read_only_folder.h"
#include "web/web_test_support.h"

namespace tamo {
namespace {

using nlohmann::json;
using test::FakeApp;
using test::LogCapture;
using test::LoopbackServer;

BackgroundOptions quickOptions() {
    BackgroundOptions options;
    options.limits.idleTimeoutSeconds = 1;
    options.limits.totalTimeoutSeconds = 10;
    // Not the user's real media folder (the headless tests cover that default with a private one).
    options.directory = g_get_tmp_dir();
    return options;
}

struct Generated {
    std::vector<std::string> calls;
    json payload;  // of onBackgroundReady, or null
    std::string file;
    std::optional<std::filesystem::path> currentVideo;
    std::vector<std::string> log;
};

Generated generate(std::int64_t width, std::int64_t height, double duration, const std::string& color,
                   const std::optional<std::string>& imageURL, const BackgroundOptions& options = quickOptions()) {
    LogCapture log;
    FakeApp fake;
    startBackgroundVideo(*fake.app, width, height, duration, color, imageURL, options);
    EXPECT_TRUE(test::settle(fake));
    Generated g;
    g.calls = fake.page->calls;
    g.currentVideo = fake.app->currentVideoURL;
    g.log = log.lines();
    const std::string prefix = "onBackgroundReady(";
    if (g.calls.size() == 1 && g.calls[0].rfind(prefix, 0) == 0) {
        g.payload = json::parse(g.calls[0].substr(prefix.size(), g.calls[0].size() - prefix.size() - 1));
        gchar* path = g_filename_from_uri(g.payload.value("url", "").c_str(), nullptr, nullptr);
        if (path) g.file = path;
        g_free(path);
    }
    return g;
}

class BackgroundClip : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& f : files) std::filesystem::remove(f);
    }
    std::vector<std::string> files;
};

TEST_F(BackgroundClip, ColourClipHasEveryFrameStampedAndBecomesTheCurrentVideo) {
    Generated g = generate(180, 320, 2.5, " #FF0000\n", std::nullopt);
    ASSERT_FALSE(g.payload.is_null()) << (g.calls.empty() ? "no call" : g.calls[0]);
    files.push_back(g.file);
    EXPECT_EQ(g.payload, (json{{"url", g.payload["url"]}, {"width", 180}, {"height", 320}, {"duration", 2.5}}));
    const std::string name = std::filesystem::path(g.file).filename();
    EXPECT_TRUE(
        std::regex_match(name, std::regex("bg_[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.mp4")))
        << name;
    EXPECT_EQ(std::filesystem::path(g.file).parent_path(), std::filesystem::path(g_get_tmp_dir()));
    EXPECT_EQ(g.payload["url"], "file://" + g.file);
    EXPECT_EQ(g.currentVideo, std::filesystem::path(g.file));
    EXPECT_EQ(g.log, std::vector<std::string>{"🎨 Background video generated: 180x320, 2.5s, image: false"});

    test::ClipInfo clip = test::probeClip(g.file);
    EXPECT_EQ(clip.codec, "h264");
    EXPECT_EQ(clip.pixelFormat, "yuv420p");
    EXPECT_EQ(clip.width, 180);
    EXPECT_EQ(clip.height, 320);
    ASSERT_EQ(clip.frameSeconds.size(), 75u);
    for (std::size_t i = 0; i < clip.frameSeconds.size(); ++i) EXPECT_NEAR(clip.frameSeconds[i], i / 30.0, 1e-4) << i;
    for (int index : {0, 31, 74}) {  // first, inside a later second, last
        test::FramePixels frame(g.file, index, 180, 320);
        ASSERT_TRUE(frame.ok()) << index;
        for (auto [x, y] : {std::pair{90, 160}, {0, 0}, {179, 319}})
            EXPECT_TRUE(test::near(frame.at(x, y), 255, 0, 0)) << index << " at " << x << "," << y;
    }
}

TEST_F(BackgroundClip, FolderThatTakesNoFileIsAWriterErrorWithItsReason) {
    char pattern[] = "/tmp/tamo_bg_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    auto options = quickOptions();
    options.directory = dir / "csak_olvashato";
    Generated g;
    {
        test::ReadOnlyFolder readOnly(options.directory);
        g = generate(64, 36, 0.5, "#102030", std::nullopt, options);
    }
    EXPECT_EQ(g.calls, std::vector<std::string>{
                           "onBackgroundError('Writer hiba! Nincs jogosultság a fájlhoz vagy a mappájához.')"});
    EXPECT_EQ(g.currentVideo, std::nullopt);
    EXPECT_TRUE(std::filesystem::is_empty(options.directory));
    std::filesystem::remove_all(dir);
}

TEST_F(BackgroundClip, OddSizeIsEncodedEvenBelowButReportedAsAsked) {
    Generated g = generate(181, 97, 0.1, "#00ff00", std::nullopt);
    ASSERT_FALSE(g.payload.is_null());
    files.push_back(g.file);
    EXPECT_EQ(g.payload["width"], 181);
    EXPECT_EQ(g.payload["height"], 97);
    test::ClipInfo clip = test::probeClip(g.file);
    EXPECT_EQ(clip.width, 180);
    EXPECT_EQ(clip.height, 96);
    EXPECT_EQ(clip.frameSeconds.size(), 3u);
    test::FramePixels frame(g.file, 2, 180, 96);
    ASSERT_TRUE(frame.ok());
    EXPECT_TRUE(test::near(frame.at(90, 48), 0, 255, 0));
}

class BackgroundPicture : public BackgroundClip {
protected:
    // Red up to column 150, blue after: where the two meet in the frame tells scale and crop.
    std::string halves = test::makePicture(400, 300, "png", [](int x, int) { return x < 150 ? 0xFF0000u : 0x0000FFu; });
    LoopbackServer server{[this](httplib::Server& s) {
        s.Get("/halves.png",
              [this](const httplib::Request&, httplib::Response& res) { res.set_content(halves, "image/png"); });
        s.Get("/page.html",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("<html></html>", "text/html"); });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stall();
            res.set_content(halves, "image/png");
        });
        s.Get("/bomb.png", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(test::pngHeaderClaiming(30000, 30000), "image/png");
        });
    }};
};

TEST_F(BackgroundPicture, PictureCoversTheFrameCentredWithTheSidesCut) {
    // 400 × 300 into 216 × 384: scale = max(0.54, 1.28) = 1.28, drawn 512 × 384 at x = −148.
    // Frame column x shows picture column (x + 148) / 1.28, so red meets blue at x = 44 (a stretched
    // or contained picture would put it at x = 81, one drawn from the left edge at x = 192).
    Generated g = generate(216, 384, 1, "#00FF00", server.url("/halves.png"));
    ASSERT_FALSE(g.payload.is_null()) << (g.calls.empty() ? "no call" : g.calls[0]);
    files.push_back(g.file);
    EXPECT_EQ(g.log, (std::vector<std::string>{"🖼 Background image downloaded: 400x300",
                                               "🎨 Background video generated: 216x384, 1.0s, image: true"}));
    test::FramePixels frame(g.file, 15, 216, 384);
    ASSERT_TRUE(frame.ok());
    for (auto [x, y] : {std::pair{34, 192}, {4, 4}, {4, 380}, {20, 100}})
        EXPECT_TRUE(test::near(frame.at(x, y), 255, 0, 0, 24)) << x << "," << y;
    for (auto [x, y] : {std::pair{54, 192}, {70, 4}, {211, 380}, {160, 192}})
        EXPECT_TRUE(test::near(frame.at(x, y), 0, 0, 255, 24)) << x << "," << y;
    // No band of the fill colour anywhere: the picture covers the frame top to bottom.
    for (int y : {0, 383}) EXPECT_LT(frame.at(100, y).g, 40) << y;
}

TEST_F(BackgroundPicture, UnusablePictureFallsBackToTheColourWithAWarning) {
    for (const std::string path : {"/page.html", "/stall", "/bomb.png", "/missing.png"}) {
        Generated g = generate(64, 64, 0.2, "#0000ff", server.url(path));
        ASSERT_FALSE(g.payload.is_null()) << path;
        files.push_back(g.file);
        EXPECT_EQ(g.log,
                  (std::vector<std::string>{"⚠️ Failed to download background image, falling back to solid color",
                                            "🎨 Background video generated: 64x64, 0.2s, image: true"}))
            << path;
        test::FramePixels frame(g.file, 0, 64, 64);
        ASSERT_TRUE(frame.ok());
        EXPECT_TRUE(test::near(frame.at(32, 32), 0, 0, 255)) << path;
    }
}

TEST_F(BackgroundClip, AddressThatIsNoUrlMeansNoPictureAndNoWarning) {
    for (const std::string address : {"not an address", ""}) {
        Generated g = generate(64, 64, 0.1, "#ffffff", address);
        ASSERT_FALSE(g.payload.is_null());
        files.push_back(g.file);
        EXPECT_EQ(g.log, std::vector<std::string>{"🎨 Background video generated: 64x64, 0.1s, image: true"});
    }
}

TEST(BackgroundRefusal, ImpossibleRequestIsAnsweredAtOnceWithoutWork) {
    struct Case {
        std::int64_t width, height;
        double duration;
    };
    for (const Case& c : {Case{0, 1920, 15}, Case{1080, 9000, 15}, Case{1080, 1920, -2}, Case{1080, 1920, 0.02},
                          Case{1080, 1920, std::nan("")}, Case{1080, 1920, 7200}}) {
        FakeApp fake;
        fake.app->generateBackgroundVideo(c.width, c.height, c.duration, "#1a1a2e", std::nullopt);
        EXPECT_EQ(fake.page->calls, std::vector<std::string>{"onBackgroundError('Érvénytelen méret vagy hossz!')"});
        EXPECT_EQ(fake.app->services().work->inFlight(), 0u);
        EXPECT_FALSE(fake.app->currentVideoURL);
    }
}

TEST(BackgroundGone, ResultAfterTheApplicationIsGoneIsDropped) {
    auto queue = std::make_shared<test::ManualMainQueue>();
    auto work = std::make_shared<BackgroundWork>();
    auto page = std::make_shared<test::FakePage>();
    {
        auto app = std::make_shared<AppDelegate>(PlatformServices{queue, std::make_shared<test::FakeDialogs>(), work});
        app->webView = page;
        startBackgroundVideo(*app, 32, 32, 0.1, "#000", std::nullopt, quickOptions());
    }
    for (int i = 0; i < 4000 && work->inFlight() > 0; ++i) {
        queue->drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    queue->drain();
    EXPECT_EQ(work->inFlight(), 0u);
    EXPECT_TRUE(page->calls.empty());
}

}  // namespace
}  // namespace tamo
