// Page fetch and product picture download end to end: the real tamovid-headless talking to a
// loopback server, the script calls read from its output.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/headless_runner.h"
#include "web/web_test_support.h"

namespace tamo::test {
namespace {

using nlohmann::json;

TEST(WebHeadless, PageTextAndProductPictureReachThePage) {
    const std::string picture = makePicture(320, 200, "jpeg", [](int, int) { return 0x40A0F0u; });
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/shop", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("<title>Bolt</title>" + req.get_header_value("User-Agent"), "text/html");
        });
        s.Get("/item.jpg",
              [&](const httplib::Request&, httplib::Response& res) { res.set_content(picture, "image/jpeg"); });
        s.Get("/not-a-picture",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("<html/>", "text/html"); });
    });
    // Downloaded pictures are kept in the user's data folder, here a private one.
    char* data = g_dir_make_tmp("tamo-data-XXXXXX", nullptr);
    ASSERT_TRUE(data);
    const std::filesystem::path dataHome = data;
    g_free(data);
    HeadlessOptions options;
    options.env = {{"XDG_DATA_HOME", dataHome.string()}};
    auto r = runHeadless(
        {
            swift("fetchUrl", {{"url", server.url("/shop")}}),
            idle(),
            swift("downloadProductImage", {{"url", server.url("/item.jpg")}}),
            idle(),
            swift("downloadProductImage", {{"url", server.url("/not-a-picture")}}),
            idle(),
            swift("fetchUrl", {{"url", "file:///etc/passwd"}}),
            swift("downloadProductImage", {{"url", "ftp://127.0.0.1/x.png"}}),
        },
        options);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText;
    auto calls = r.scriptCalls();
    ASSERT_EQ(calls.size(), 5u);

    const std::string ua =
        "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
        "Safari/605.1.15";
    const std::string prefix = "onUrlFetched(";
    ASSERT_EQ(calls[0].rfind(prefix, 0), 0u);
    EXPECT_EQ(json::parse(calls[0].substr(prefix.size(), calls[0].size() - prefix.size() - 1)),
              (json{{"html", "<title>Bolt</title>" + ua}, {"url", server.url("/shop")}}));

    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        calls[1], m,
        std::regex(
            R"(^onProductImageReady\(\{imageId:'(product_[0-9A-F]{8})',dataURL:'data:image/png;base64,iVBORw0KGgo[A-Za-z0-9+/=]+',width:320,height:200\}\)$)")))
        << calls[1].substr(0, 160);
    const auto file = dataHome / "tamovid" / "media" / (m[1].str() + ".png");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(g_get_tmp_dir()) / (m[1].str() + ".png")));
    std::filesystem::remove_all(dataHome);

    EXPECT_EQ(calls[2], "onProductImageError('Nem sikerült a kép letöltése!')");
    EXPECT_EQ(calls[3], "onUrlFetched({error:'Érvénytelen URL! Csak http/https támogatott.'})");
    EXPECT_EQ(calls[4], "onProductImageError('Érvénytelen kép URL!')");

    const std::size_t bytes = std::string("<title>Bolt</title>").size() + ua.size();
    EXPECT_EQ(r.logLines(), (std::vector<std::string>{
                                "🌐 URL fetched: " + server.url("/shop") + " (" + std::to_string(bytes) + " bytes)",
                                "🛍️ Product image downloaded: 320x200"}));
}

}  // namespace
}  // namespace tamo::test
