// The web requests (a page's text, a product picture) against a loopback server that answers,
// redirects, fails and stalls; and both end to end through tamovid-headless.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "bridge/web_actions.h"
#include "media/media_fixtures.h"
#include "media/picture_check.h"
#include "media/picture_png.h"
#include "support/headless_runner.h"
#include "web/web_test_support.h"

namespace tamo::test {
namespace {

const std::string kBrowserUA =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
    "Safari/605.1.15";
const std::string kPage = "<html><body>Szia világ 👋</body></html>";
const std::string kPhoto = makePicture(120, 80, "jpeg", [](int x, int) { return x < 60 ? 0xE03020u : 0x2040E0u; });

// Routes every test shares; "/hop/N" redirects N times, "/stall" never answers.
void routes(httplib::Server& s, std::vector<std::string>& userAgents, const LoopbackServer& server) {
    auto content = [&](const std::string& path, std::string body, const char* type, int status = 200) {
        s.Get(path, [&userAgents, body, type, status](const httplib::Request& req, httplib::Response& res) {
            userAgents.push_back(req.get_header_value("User-Agent"));
            res.status = status;
            res.set_content(body, type);
        });
    };
    content("/page", kPage, "text/html");
    content("/missing", "<h1>Nincs ilyen oldal</h1>", "text/html", 404);
    content("/latin1", "\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p", "text/html; charset=utf-8");
    content("/long", std::string(49999, 'a') + "👍🏽" + std::string(70000, 'b'), "text/plain");
    content("/photo.jpg", kPhoto, "image/jpeg");
    content("/labelled-wrong", kPhoto, "text/html", 404);  // only the bytes matter
    content("/bomb.png", pngHeaderClaiming(20000, 20000), "image/png");
    s.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        int n = std::stoi(req.matches[1]);
        n ? res.set_redirect("/hop/" + std::to_string(n - 1)) : res.set_content("arrived", "text/plain");
    });
    s.Get("/stall", [&server](const httplib::Request&, httplib::Response&) { server.stall(); });
}

nlohmann::json fetched(const std::string& html, const std::string& url) { return {{"html", html}, {"url", url}}; }

// The page's payload read back, so that the test does not depend on how the call escapes it.
nlohmann::json payloadOf(const std::string& call) {
    if (call.rfind("onUrlFetched({\"", 0) != 0) return call;
    return nlohmann::json::parse(call.substr(13, call.size() - 14));
}

class Web : public ::testing::Test {
protected:
    std::vector<std::string> userAgents;
    LoopbackServer server{[this](httplib::Server& s) { routes(s, userAgents, server); }};
    WebLimits limits;
    nlohmann::json page(const std::string& url) { return payloadOf(once(startUrlFetch, url)); }
    std::string once(void (*start)(AppDelegate&, const std::string&, const WebLimits&), const std::string& url) {
        FakeApp fake;
        start(*fake.app, url, limits);
        EXPECT_TRUE(settle(fake));
        EXPECT_EQ(fake.page->calls.size(), 1u) << url;
        return fake.page->calls.empty() ? "" : fake.page->calls[0];
    }
    void SetUp() override { limits.idleTimeoutSeconds = 1; }
};

TEST_F(Web, PageTextOfAnyAnswerWithABody) {
    LogCapture log;
    EXPECT_EQ(page(server.url("/missing")), fetched("<h1>Nincs ilyen oldal</h1>", server.url("/missing")));
    // Not UTF-8 whatever the label says: read as Latin-1.
    EXPECT_EQ(page(server.url("/latin1")), fetched("Árvíztûrõ tükörfúrógép", server.url("/latin1")));
    // Cut after 50 000 characters without splitting the skin-toned emoji; the log counts the bytes.
    EXPECT_EQ(page(server.url("/long")), fetched(std::string(49999, 'a') + "👍🏽", server.url("/long")));
    EXPECT_EQ(log.lines().back(), "🌐 URL fetched: " + server.url("/long") + " (120007 bytes)");
    // Ten redirects are followed; the page keeps the address it sent, with its scheme's case.
    std::string hops = server.url("/hop/10");
    hops.replace(0, 4, "HTTP");
    EXPECT_EQ(page(hops), fetched("arrived", hops));
}

TEST_F(Web, FailuresEndInOneHungarianCallAndAreNotLogged) {
    LogCapture log;
    auto error = [](const std::string& text) { return "onUrlFetched({error:'" + text + "'})"; };
    EXPECT_EQ(once(startUrlFetch, server.url("/hop/11")), error("Túl sok átirányítás."));
    EXPECT_EQ(once(startUrlFetch, server.url("/stall")), error("A kérés időtúllépés miatt megszakadt."));
    limits.maxPageBytes = 1000;
    EXPECT_EQ(once(startUrlFetch, server.url("/long")), error("Nem sikerült a tartalom letöltése!"));
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/a", "example.com", " http://127.0.0.1/", ""})
        EXPECT_EQ(once(startUrlFetch, url), error("Érvénytelen URL! Csak http/https támogatott.")) << url;

    const std::string noPicture = "onProductImageError('Nem sikerült a kép letöltése!')";
    for (const char* path : {"/page", "/bomb.png"})
        EXPECT_EQ(once(startProductImageDownload, server.url(path)), noPicture) << path;
    limits.maxPictureBytes = 1000;
    EXPECT_EQ(once(startProductImageDownload, server.url("/photo.jpg")), noPicture);
    EXPECT_EQ(once(startProductImageDownload, "file:///etc/hosts"), "onProductImageError('Érvénytelen kép URL!')");
    EXPECT_TRUE(log.lines().empty());
}

// One headless run: a page's text, a product picture (any label) kept as a PNG in the user's media
// folder with the same pixels as the data URL, and a picture refused.
TEST_F(Web, HeadlessPageTextAndProductPictures) {
    TempDir data;
    HeadlessOptions options;
    options.env = {{"XDG_DATA_HOME", data.path().string()}};
    auto r = runHeadless({swift("fetchUrl", {{"url", server.url("/page")}}), idle(),
                          swift("downloadProductImage", {{"url", server.url("/photo.jpg")}}), idle(),
                          swift("downloadProductImage", {{"url", server.url("/labelled-wrong")}}), idle(),
                          swift("downloadProductImage", {{"url", server.url("/page")}}), idle()},
                         options);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText;
    auto calls = r.scriptCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(payloadOf(calls[0]), fetched(kPage, server.url("/page")));
    EXPECT_EQ(userAgents.at(0), kBrowserUA);  // the page, then the pictures
    EXPECT_EQ(userAgents.at(1), "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15");
    std::set<std::string> ids;
    for (int i : {1, 2}) {
        auto ready = parsePicked(calls[i], "onProductImageReady");
        ASSERT_TRUE(ready) << calls[i].substr(0, 160);
        EXPECT_TRUE(std::regex_match(ready->imageId, std::regex("product_[0-9A-F]{8}")));
        ids.insert(ready->imageId);
        EXPECT_EQ(ready->width, 120);
        EXPECT_EQ(ready->height, 80);
        auto pixels = decodePngBase64(ready->base64);
        ASSERT_TRUE(pixels);
        EXPECT_GT(pixels->at(10, 40)[0], 200);  // red left half
        EXPECT_GT(pixels->at(110, 40)[2], 200);
        EXPECT_EQ(base64Text(readFile(data / "tamovid" / "media" / (ready->imageId + ".png"))), ready->base64);
    }
    EXPECT_EQ(ids.size(), 2u);
    EXPECT_EQ(calls[3], "onProductImageError('Nem sikerült a kép letöltése!')");
    EXPECT_EQ(r.logLines(),
              (std::vector<std::string>{
                  "🌐 URL fetched: " + server.url("/page") + " (" + std::to_string(kPage.size()) + " bytes)",
                  "🛍️ Product image downloaded: 120x80", "🛍️ Product image downloaded: 120x80"}));
}

}  // namespace
}  // namespace tamo::test
