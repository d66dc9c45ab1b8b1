// The HTTP client against real servers on 127.0.0.1 that answer, fail and stall in real ways.
#include "platform/http.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include "support/loopback_server.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace tamo {
namespace {

using test::LoopbackServer;

HttpRequest get(const std::string& url) {
    HttpRequest r;
    r.url = url;
    r.idleTimeoutSeconds = 1;
    r.totalTimeoutSeconds = 10;
    return r;
}

TEST(Http, AnswersAndStatusesArriveWithTheirBodies) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/ok", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("hello " + req.get_header_value("User-Agent"), "text/plain; charset=utf-8");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<h1>nope</h1>", "text/html");
        });
        s.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Authorization") + "|" + req.get_header_value("Content-Type") + "|" + req.body,
                            "text/plain");
        });
    });
    auto r = get(server.url("/ok"));
    r.headers = {{"User-Agent", "TestAgent/1.0"}};
    auto ok = performHttp(r);
    ASSERT_TRUE(ok.transportOk) << ok.errorText;
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "hello TestAgent/1.0");
    EXPECT_EQ(ok.contentType, "text/plain; charset=utf-8");

    auto missing = performHttp(get(server.url("/missing")));
    ASSERT_TRUE(missing.transportOk);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "<h1>nope</h1>");

    auto post = get(server.url("/echo"));
    post.method = "POST";
    post.headers = {{"Authorization", "Bearer k"}, {"Content-Type", "application/json"}};
    post.body = std::string("{\"a\":\"\0b\"}", 10);
    auto echoed = performHttp(post);
    ASSERT_TRUE(echoed.transportOk);
    EXPECT_EQ(echoed.body, "Bearer k|application/json|" + post.body);
}

TEST(Http, TransportFailuresCarryTheirDescription) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/stall", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            res.set_content("late", "text/plain");
        });
        s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
            // Promises 1000 bytes, sends 5, then the connection closes.
            res.set_content_provider(1000, "text/plain", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset == 0) sink.write("12345", 5);
                return false;
            });
        });
        s.Get("/to-file", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/passwd"); });
        s.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
        s.Get("/hop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/landed"); });
        s.Get("/landed", [](const httplib::Request&, httplib::Response& res) { res.set_content("here", "text/plain"); });
    });

    auto stalled = performHttp(get(server.url("/stall")));
    EXPECT_FALSE(stalled.transportOk);
    EXPECT_FALSE(stalled.errorText.empty());

    auto cut = performHttp(get(server.url("/cut")));
    EXPECT_FALSE(cut.transportOk);
    EXPECT_FALSE(cut.errorText.empty());

    auto toFile = performHttp(get(server.url("/to-file")));
    EXPECT_FALSE(toFile.transportOk);
    EXPECT_EQ(toFile.body, "");

    auto loop = performHttp(get(server.url("/loop")));
    EXPECT_FALSE(loop.transportOk);

    auto hop = performHttp(get(server.url("/hop")));
    ASSERT_TRUE(hop.transportOk);
    EXPECT_EQ(hop.body, "here");

    for (const char* bad : {"file:///etc/passwd", "ftp://127.0.0.1/x", "not a url", ""}) {
        auto r = performHttp(get(bad));
        EXPECT_FALSE(r.transportOk) << bad;
        EXPECT_FALSE(r.errorText.empty()) << bad;
    }

    // Nobody listens on a port we just closed.
    int closedPort;
    {
        httplib::Server s;
        closedPort = s.bind_to_any_port("127.0.0.1");
    }
    auto refused = performHttp(get("http://127.0.0.1:" + std::to_string(closedPort) + "/"));
    EXPECT_FALSE(refused.transportOk);
    EXPECT_FALSE(refused.errorText.empty());
}

TEST(Http, BodiesOverTheCapAreRefusedWithOrWithoutALength) {
    const std::string big(300000, 'x');
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/sized", [&](const httplib::Request&, httplib::Response& res) { res.set_content(big, "text/plain"); });
        s.Get("/chunked", [&](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [&](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= big.size()) {
                    sink.done();
                    return true;
                }
                sink.write(big.data() + offset, 10000);
                return true;
            });
        });
    });
    for (const char* path : {"/sized", "/chunked"}) {
        auto r = get(server.url(path));
        r.maxBodyBytes = 100000;
        auto capped = performHttp(r);
        EXPECT_FALSE(capped.transportOk) << path;
        EXPECT_TRUE(capped.bodyTooLarge) << path;
        r.maxBodyBytes = big.size();
        auto whole = performHttp(r);
        ASSERT_TRUE(whole.transportOk) << path << whole.errorText;
        EXPECT_EQ(whole.body.size(), big.size()) << path;
    }
}

TEST(Http, AsyncRequestsCompleteOnAWorkerThread) {
    LoopbackServer server([](httplib::Server& s) {
        s.Get("/ok", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
    });
    std::promise<std::pair<std::thread::id, HttpResponse>> done;
    performHttpAsync(get(server.url("/ok")), [&](HttpResponse r) { done.set_value({std::this_thread::get_id(), r}); });
    auto [thread, response] = done.get_future().get();
    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_EQ(response.body, "ok");
}

}  // namespace
}  // namespace tamo
