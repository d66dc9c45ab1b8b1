// Background clips written and decoded again: frames, stamps, size, colour, the cover-fit picture
// from a loopback server and its fallbacks, the refusals, and one run of tamovid-headless.
#include "bridge/background_actions.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <nlohmann/json.hpp>

#include "export/media_test_support.h"
#include "support/headless_runner.h"
#include "support/read_only_folder.h"
#include "web/web_test_support.h"

namespace tamo::test {
namespace {

using nlohmann::json;

std::string runCapture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buf[65536];
    for (std::size_t n; pipe && (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    if (pipe) pclose(pipe);
    return out;
}

// Frame number `index` of a clip as RGB rows, decoded by the ffmpeg tool.
struct FramePixels {
    std::string bytes;
    int width;
    FramePixels(const std::string& path, int index, int w, int h)
        : bytes(runCapture("ffmpeg -v error -i '" + path + "' -vf 'select=eq(n\\," + std::to_string(index) +
                           ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -")),
          width(bytes.size() == std::size_t(w) * h * 3 ? w : 0) {}
    bool ok() const { return width > 0; }
    bool near(int x, int y, int r, int g, int b, int tolerance = 8) const {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + (std::size_t(y) * width + x) * 3;
        return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance;
    }
};

json readyPayload(const std::string& call) {
    const std::string prefix = "onBackgroundReady(";
    if (call.rfind(prefix, 0) != 0) return nullptr;
    return json::parse(call.substr(prefix.size(), call.size() - prefix.size() - 1), nullptr, false);
}
std::string pathOf(const json& payload) {
    gchar* path =
        payload.is_object() ? g_filename_from_uri(payload.value("url", "").c_str(), nullptr, nullptr) : nullptr;
    std::string text = path ? path : "";
    g_free(path);
    return text;
}

struct Generated {
    std::vector<std::string> calls;
    json payload;  // of onBackgroundReady, or null
    std::string file;
    std::optional<std::filesystem::path> currentVideo;
    std::vector<std::string> log;
};

class BackgroundClip : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& f : files) std::filesystem::remove(f);
    }
    std::vector<std::string> files;

    Generated generate(std::int64_t width, std::int64_t height, double duration, const std::string& color,
                       const std::optional<std::string>& imageURL, const char* directory = nullptr) {
        BackgroundOptions options;
        options.limits.idleTimeoutSeconds = 1;
        options.limits.totalTimeoutSeconds = 10;
        options.directory = directory ? directory : g_get_tmp_dir();  // not the user's real media folder
        LogCapture log;
        FakeApp fake;
        startBackgroundVideo(*fake.app, width, height, duration, color, imageURL, options);
        EXPECT_TRUE(settle(fake));
        Generated g{fake.page->calls, nullptr, "", fake.app->currentVideoURL, log.lines()};
        if (g.calls.size() == 1) g.payload = readyPayload(g.calls[0]);
        g.file = pathOf(g.payload);
        if (!g.file.empty()) files.push_back(g.file);
        return g;
    }
};

TEST_F(BackgroundClip, ColourClipHasEveryFrameStampedAndBecomesTheCurrentVideo) {
    Generated g = generate(180, 320, 2.5, " #FF0000\n", std::nullopt);
    ASSERT_TRUE(g.payload.is_object()) << ::testing::PrintToString(g.calls);
    EXPECT_EQ(g.payload, (json{{"url", "file://" + g.file}, {"width", 180}, {"height", 320}, {"duration", 2.5}}));
    EXPECT_EQ(std::filesystem::path(g.file).parent_path(), std::filesystem::path(g_get_tmp_dir()));
    EXPECT_EQ(g.currentVideo, std::filesystem::path(g.file));
    EXPECT_EQ(g.log, std::vector<std::string>{"🎨 Background video generated: 180x320, 2.5s, image: false"});
    EXPECT_EQ(runCapture("ffprobe -v error -show_entries stream=codec_name,pix_fmt -of csv=p=0 " + g.file),
              "h264,yuv420p\n");
    DecodedVideo clip = decodeVideo(g.file, false);
    EXPECT_EQ(clip.width * 1000 + clip.height, 180320);
    ASSERT_EQ(clip.times.size(), 75u);
    for (std::size_t i = 0; i < clip.times.size(); ++i) EXPECT_NEAR(clip.times[i], i / 30.0, 1e-4) << i;
    for (int index : {0, 31, 74}) {  // first, inside a later second, last
        FramePixels frame(g.file, index, 180, 320);
        ASSERT_TRUE(frame.ok()) << index;
        for (auto [x, y] : {std::pair{90, 160}, {0, 0}, {179, 319}})
            EXPECT_TRUE(frame.near(x, y, 255, 0, 0)) << index << " at " << x << "," << y;
    }

    // An odd size is encoded a pixel smaller but reported as asked.
    g = generate(181, 97, 0.1, "#00ff00", std::nullopt);
    ASSERT_TRUE(g.payload.is_object());
    EXPECT_EQ(g.payload["width"].get<int>() * 1000 + g.payload["height"].get<int>(), 181097);
    clip = decodeVideo(g.file, false);
    EXPECT_EQ(clip.width * 1000 + clip.height, 180096);
    EXPECT_EQ(clip.times.size(), 3u);
    FramePixels frame(g.file, 2, 180, 96);
    ASSERT_TRUE(frame.ok());
    EXPECT_TRUE(frame.near(90, 48, 0, 255, 0));

    TempDir dir;  // a folder that takes no file: a writer error with its reason, no current video
    const std::filesystem::path folder = dir / "csak_olvashato";
    {
        ReadOnlyFolder readOnly(folder);
        g = generate(64, 36, 0.5, "#102030", std::nullopt, folder.c_str());
    }
    EXPECT_EQ(g.calls, std::vector<std::string>{
                           "onBackgroundError('Writer hiba! Nincs jogosultság a fájlhoz vagy a mappájához.')"});
    EXPECT_EQ(g.currentVideo, std::nullopt);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(BackgroundClip, PictureCoversTheFrameOrTheColourStaysWithAWarning) {
    // Red up to column 150, blue after: where the two meet in the frame tells scale and crop.
    const std::string halves = makePicture(400, 300, "png", [](int x, int) { return x < 150 ? 0xFF0000u : 0x0000FFu; });
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/halves.png",
              [&](const httplib::Request&, httplib::Response& res) { res.set_content(halves, "image/png"); });
        s.Get("/page.html",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("<html></html>", "text/html"); });
        s.Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
            server.stall();
            res.set_content(halves, "image/png");
        });
    });
    // 400 × 300 into 216 × 384: scale = max(0.54, 1.28) = 1.28, drawn 512 × 384 at x = −148, so red
    // meets blue at x = 44 (a stretched or contained picture puts it at 81, one drawn from the left
    // edge at 192), and no band of the fill colour shows at the top or bottom.
    Generated g = generate(216, 384, 1, "#00FF00", server.url("/halves.png"));
    ASSERT_TRUE(g.payload.is_object()) << ::testing::PrintToString(g.calls);
    EXPECT_EQ(g.log, (std::vector<std::string>{"🖼 Background image downloaded: 400x300",
                                               "🎨 Background video generated: 216x384, 1.0s, image: true"}));
    FramePixels frame(g.file, 15, 216, 384);
    ASSERT_TRUE(frame.ok());
    for (auto [x, y] : {std::pair{34, 192}, {4, 4}, {4, 380}, {20, 100}})
        EXPECT_TRUE(frame.near(x, y, 255, 0, 0, 24)) << x << "," << y;
    for (auto [x, y] : {std::pair{54, 192}, {70, 4}, {211, 380}, {160, 192}})
        EXPECT_TRUE(frame.near(x, y, 0, 0, 255, 24)) << x << "," << y;

    const std::string warning = "⚠️ Failed to download background image, falling back to solid color";
    for (const std::string& address : {server.url("/page.html"), server.url("/stall")}) {
        g = generate(64, 64, 0.2, "#0000ff", address);
        ASSERT_TRUE(g.payload.is_object()) << address;
        EXPECT_EQ(g.log, (std::vector<std::string>{warning, "🎨 Background video generated: 64x64, 0.2s, image: true"}))
            << address;
        FramePixels fallback(g.file, 0, 64, 64);
        ASSERT_TRUE(fallback.ok());
        EXPECT_TRUE(fallback.near(32, 32, 0, 0, 255)) << address;
    }
}

// A length JSON cannot carry is refused at once, without work (a zero width is refused through
// tamovid-headless below).
TEST(BackgroundRefusal, ImpossibleRequestIsAnsweredAtOnceWithoutWork) {
    FakeApp fake;
    fake.app->generateBackgroundVideo(1080, 1920, std::nan(""), "#1a1a2e", std::nullopt);
    EXPECT_EQ(fake.page->calls, std::vector<std::string>{"onBackgroundError('Érvénytelen méret vagy hossz!')"});
    EXPECT_EQ(fake.app->services().work->inFlight(), 0u);
    EXPECT_FALSE(fake.app->currentVideoURL);
}

// The page's default request through the real program: the 15-second portrait clip in the user's
// data folder (a private one here), a refused request after it, and a project keeping the clip.
TEST(BackgroundHeadless, DefaultRequestMakesTheClipThatAProjectKeeps) {
    TempDir data;
    const auto project = data.path() / "p.tamovid";
    HeadlessOptions options;
    options.env = {{"XDG_DATA_HOME", data.path().string()}};
    auto r =
        runHeadless({swift("generateBackground", json::object()), idle(), swift("generateBackground", {{"width", 0}}),
                     choose(project.string()), swift("saveProject", {{"overlays", json::array()}}), idle()},
                    options);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText;
    const auto calls = r.scriptCalls();
    ASSERT_GE(calls.size(), 2u);
    const json payload = readyPayload(calls[0]);
    ASSERT_TRUE(payload.is_object()) << calls[0];
    const std::filesystem::path file = pathOf(payload);
    EXPECT_EQ(file.parent_path(), data.path() / "tamovid" / "media");
    EXPECT_EQ(payload, (json{{"url", payload["url"]}, {"width", 1080}, {"height", 1920}, {"duration", 15.0}}));
    EXPECT_EQ(calls[1], "onBackgroundError('Érvénytelen méret vagy hossz!')");
    EXPECT_TRUE(r.hasLine("🎨 Background video generated: 1080x1920, 15.0s, image: false"));
    const DecodedVideo clip = decodeVideo(file, false);
    EXPECT_EQ(clip.width * 10000 + clip.height, 10801920);
    ASSERT_EQ(clip.times.size(), 450u);
    EXPECT_NEAR(clip.times.back(), 449 / 30.0, 1e-4);
    FramePixels frame(file, 0, 1080, 1920);
    ASSERT_TRUE(frame.ok());
    EXPECT_TRUE(frame.near(540, 960, 0x1a, 0x1a, 0x2e, 6));
    const json saved = json::parse(readFile(project), nullptr, false);
    ASSERT_TRUE(saved.is_object()) << "no project written";
    EXPECT_EQ(saved.value("videoPath", ""), file.string());
}

}  // namespace
}  // namespace tamo::test
