// fetchUrl against loopback servers that answer, redirect, fail and stall.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "bridge/script_calls.h"
#include "bridge/web_actions.h"
#include "web/web_test_support.h"

namespace tamo {
namespace {

using nlohmann::json;
using test::FakeApp;
using test::LogCapture;
using test::LoopbackServer;

constexpr const char* kBrowserUA =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
    "Safari/605.1.15";

WebLimits quickLimits() {
    WebLimits limits;
    limits.idleTimeoutSeconds = 1;
    limits.totalTimeoutSeconds = 10;
    return limits;
}

// Runs one fetch to the end and returns the single call the page received.
std::string fetchOnce(const std::string& url, const WebLimits& limits = quickLimits()) {
    FakeApp fake;
    startUrlFetch(*fake.app, url, limits);
    EXPECT_TRUE(test::settle(fake));
    EXPECT_EQ(fake.page->calls.size(), 1u) << url;
    return fake.page->calls.empty() ? std::string() : fake.page->calls.front();
}

// The payload of a success call, or null when the call is not one.
json payloadOf(const std::string& call) {
    const std::string prefix = "onUrlFetched(";
    if (call.rfind(prefix, 0) != 0 || call.back() != ')' || call.find("{error:") == prefix.size()) return nullptr;
    return json::parse(call.substr(prefix.size(), call.size() - prefix.size() - 1));
}

class UrlFetch : public ::testing::Test {
protected:
    LoopbackServer server{[this](httplib::Server& s) {
        s.Get("/page", [this](const httplib::Request& req, httplib::Response& res) {
            seenUserAgent = req.get_header_value("User-Agent");
            res.set_content("<html><body>Szia világ 👋</body></html>", "text/html");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<h1>Nincs ilyen oldal</h1>", "text/html");
        });
        s.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("Internal trouble", "text/plain");
        });
        s.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/html"); });
        s.Get("/latin1", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p", "text/html; charset=utf-8");
        });
        s.Get("/long", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(49999, 'a') + "👍🏽" + std::string(70000, 'b'), "text/plain");
        });
        s.Get("/redirect", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page"); });
        s.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            int n = std::stoi(req.matches[1]);
            if (n == 0)
                res.set_content("arrived", "text/plain");
            else
                res.set_redirect("/hop/" + std::to_string(n - 1));
        });
        s.Get("/to-file",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/passwd"); });
        s.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(5000, 'z'), "text/plain");
        });
        s.Get("/huge-chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
                std::string block(1024, 'q');
                for (int i = 0; i < 8; ++i)
                    if (!sink.write(block.data(), block.size())) return false;
                sink.done();
                return true;
            });
        });
        s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            server.stall();
            res.set_content("too late", "text/plain");
        });
    }};
    std::string seenUserAgent;
};

TEST_F(UrlFetch, PageArrivesWithTheBrowserUserAgentAndIsLogged) {
    LogCapture log;
    FakeApp fake;
    const std::string url = server.url("/page");
    startUrlFetch(*fake.app, url, quickLimits());
    EXPECT_TRUE(fake.page->calls.empty()) << "the answer comes later, on the main queue";
    ASSERT_TRUE(test::settle(fake));
    ASSERT_EQ(fake.page->calls.size(), 1u);
    EXPECT_EQ(payloadOf(fake.page->calls[0]), (json{{"html", "<html><body>Szia világ 👋</body></html>"}, {"url", url}}));
    EXPECT_EQ(seenUserAgent, kBrowserUA);
    EXPECT_EQ(std::string(kBrowserUA).size(), 117u);
    const std::string body = "<html><body>Szia világ 👋</body></html>";
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"🌐 URL fetched: " + url + " (" + std::to_string(body.size()) + " bytes)"});
}

TEST_F(UrlFetch, AnyAnswerWithABodyIsThePage) {
    struct Case {
        const char* path;
        const char* html;
    };
    const Case cases[] = {
        {"/missing", "<h1>Nincs ilyen oldal</h1>"}, {"/broken", "Internal trouble"}, {"/empty", ""},
        {"/latin1", "Árvíztûrõ tükörfúrógép"},      {"/hop/10", "arrived"},  // ten redirects are followed
    };
    for (const auto& c : cases) {
        json payload = payloadOf(fetchOnce(server.url(c.path)));
        ASSERT_TRUE(payload.is_object()) << c.path;
        EXPECT_EQ(payload["html"], c.html) << c.path;
        EXPECT_EQ(payload["url"], server.url(c.path)) << c.path;
    }
}

TEST_F(UrlFetch, RedirectedPageKeepsTheAddressThePageSent) {
    const std::string url = server.url("/redirect");
    json payload = payloadOf(fetchOnce(url));
    ASSERT_TRUE(payload.is_object());
    EXPECT_EQ(payload["url"], url);
    EXPECT_EQ(payload["html"], "<html><body>Szia világ 👋</body></html>");
    EXPECT_EQ(seenUserAgent, kBrowserUA) << "the header rides along the redirect";
}

TEST_F(UrlFetch, LongPageIsCutAfterFiftyThousandCharactersWithoutSplittingAnEmoji) {
    LogCapture log;
    json payload = payloadOf(fetchOnce(server.url("/long")));
    ASSERT_TRUE(payload.is_object());
    EXPECT_EQ(payload["html"], std::string(49999, 'a') + "👍🏽");
    const std::size_t bytes = 49999 + std::string("👍🏽").size() + 70000;
    EXPECT_EQ(log.lines().back(), "🌐 URL fetched: " + server.url("/long") + " (" + std::to_string(bytes) + " bytes)");
}

TEST_F(UrlFetch, SchemeIsTestedWithoutCase) {
    std::string url = server.url("/page");
    url.replace(0, 4, "HTTP");
    json payload = payloadOf(fetchOnce(url));
    ASSERT_TRUE(payload.is_object());
    EXPECT_EQ(payload["url"], url);
}

TEST_F(UrlFetch, TransportFailuresEndInOneErrorCall) {
    LogCapture log;
    WebLimits small = quickLimits();
    small.maxPageBytes = 1000;
    struct Case {
        std::string url;
        WebLimits limits;
        std::string text;  // the transport's Hungarian description, or the download message for an oversize page
    };
    const Case cases[] = {
        {server.url("/stall"), quickLimits(), "A kérés időtúllépés miatt megszakadt."},
        {server.url("/hop/11"), quickLimits(), "Túl sok átirányítás."},  // one redirect too many
        {server.url("/to-file"), quickLimits(), "Érvénytelen webcím."},  // never leaves http/https
        {"http://127.0.0.1:1/closed", quickLimits(), "Nem sikerült kapcsolódni a kiszolgálóhoz."},
        {server.url("/huge"), small, "Nem sikerült a tartalom letöltése!"},
        {server.url("/huge-chunked"), small, "Nem sikerült a tartalom letöltése!"},
    };
    for (const auto& c : cases) {
        std::string call = fetchOnce(c.url, c.limits);
        EXPECT_EQ(call, "onUrlFetched({error:'" + c.text + "'})") << c.url;
        EXPECT_EQ(call.find("root:"), std::string::npos) << "no local file may be read";
    }
    EXPECT_TRUE(log.lines().empty()) << "failures are not logged";
}

TEST(UrlFetchRefusal, NonWebAddressesAreRefusedAtOnceWithoutWork) {
    for (const char* url :
         {"ftp://example.com/a", "file:///etc/passwd", "example.com", " http://127.0.0.1/", "", "no url"}) {
        FakeApp fake;
        startUrlFetch(*fake.app, url, quickLimits());
        EXPECT_EQ(fake.app->services().work->inFlight(), 0u);
        EXPECT_EQ(fake.page->calls,
                  std::vector<std::string>{"onUrlFetched({error:'Érvénytelen URL! Csak http/https támogatott.'})"})
            << url;
    }
}

TEST_F(UrlFetch, AnswerAfterTheApplicationIsGoneIsDropped) {
    auto queue = std::make_shared<test::ManualMainQueue>();
    auto work = std::make_shared<BackgroundWork>();
    auto page = std::make_shared<test::FakePage>();
    {
        auto app = std::make_shared<AppDelegate>(PlatformServices{queue, std::make_shared<test::FakeDialogs>(), work});
        app->webView = page;
        startUrlFetch(*app, server.url("/page"), quickLimits());
    }
    for (int i = 0; i < 2000 && work->inFlight() > 0; ++i) {
        queue->drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    queue->drain();
    EXPECT_EQ(work->inFlight(), 0u);
    EXPECT_TRUE(page->calls.empty());
}

}  // namespace
}  // namespace tamo
