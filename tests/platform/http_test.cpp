// The HTTP client against servers on 127.0.0.1 that answer, fail and stall in real ways (time-outs and
// redirect loops: web_test), and its cancel flag, also while the server has stopped mid-answer or mid-upload.
#include "platform/http.h"

#include <gtest/gtest.h>

#include <future>

#include "fault/fault_env.h"
#include "platform/background_work.h"
#include "support/loopback_server.h"

namespace tamo {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;
using test::RawServer;

HttpRequest get(const std::string& url, double idleSeconds = 1) {
    HttpRequest r;
    r.url = url;
    r.idleTimeoutSeconds = idleSeconds;
    r.totalTimeoutSeconds = idleSeconds * 10;
    return r;
}
std::string failure(const HttpRequest& request) {
    auto r = performHttp(request);
    return r.transportOk ? "answered " + std::to_string(r.status) : r.errorText;
}

TEST(Http, AnswersArriveAndEveryFailureHasItsText) {
    const std::string big(300000, 'x');
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/missing", [](const httplib::Request& req, httplib::Response& res) {
            res.status = 404;
            res.set_content("nope " + req.get_header_value("User-Agent"), "text/html");
        });
        s.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Authorization") + "|" + req.body, "text/plain");
        });
        s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {  // promises 1000 bytes, sends 5
            res.set_content_provider(1000, "text/plain", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset == 0) sink.write("12345", 5);
                return false;
            });
        });
        s.Get("/to-file",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/passwd"); });
        s.Get("/hop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/sized"); });
        s.Get("/sized", [&](const httplib::Request&, httplib::Response& res) { res.set_content(big, "text/plain"); });
        s.Get("/chunked", [&](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [&](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= big.size()) return sink.done(), true;
                return sink.write(big.data() + offset, 10000);
            });
        });
    });
    auto missing = get(server.url("/missing"));
    missing.headers = {{"User-Agent", "TestAgent/1.0"}};
    auto answer = performHttp(missing);
    ASSERT_TRUE(answer.transportOk) << answer.errorText;
    EXPECT_EQ(answer.status, 404);
    EXPECT_EQ(answer.body, "nope TestAgent/1.0");
    EXPECT_EQ(answer.contentType, "text/html");
    auto post = get(server.url("/echo"));
    post.method = "POST";
    post.headers = {{"Authorization", "Bearer k"}};
    post.body = std::string("{\"a\":\"\0b\"}", 10);
    EXPECT_EQ(performHttp(post).body, "Bearer k|" + post.body);

    EXPECT_EQ(failure(get(server.url("/cut"))), "A kapcsolat megszakadt.");
    EXPECT_EQ(failure(get(server.url("/to-file"))), "Érvénytelen webcím.");
    for (const char* bad : {"file:///etc/passwd", "ftp://127.0.0.1/x", "not a url"})
        EXPECT_EQ(failure(get(bad)), "Érvénytelen webcím.") << bad;
    EXPECT_EQ(failure(get("https" + server.url("/sized").substr(4))),
              "Nem sikerült biztonságos kapcsolatot létesíteni a kiszolgálóval.");
    for (const char* path : {"/hop", "/chunked"}) {  // over the cap with a length and without one
        auto r = get(server.url(path));
        r.maxBodyBytes = 100000;
        auto capped = performHttp(r);
        EXPECT_TRUE(!capped.transportOk && capped.bodyTooLarge) << path;
        EXPECT_EQ(capped.errorText, "A válasz nagyobb a megengedettnél.") << path;
        r.maxBodyBytes = big.size();
        EXPECT_EQ(performHttp(r).body.size(), big.size()) << path;
    }

    std::string closedUrl;
    for (bool reset : {true, false}) {  // reads the request, then resets or closes without an answer
        RawServer rude([&](int client, const auto&) {
            RawServer::receive(client, 1);
            if (reset) RawServer::resetOnClose(client);
        });
        EXPECT_EQ(failure(get(rude.url())), reset ? "A kapcsolat megszakadt." : "A kiszolgáló nem küldött választ.");
        closedUrl = rude.url();
    }
    EXPECT_EQ(failure(get(closedUrl)), "Nem sikerült kapcsolódni a kiszolgálóhoz.");
}

// Only the cancel flag ends these: the request's own limits lie far beyond the test's guard.
TEST(HttpCancel, ARaisedFlagEndsStalledDownloadsAndUploadsAndAFlagRaisedBeforeSendsNothing) {
    std::promise<void> midBody;
    std::atomic<int> requests{0};
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
            ++requests;
            res.set_content_provider(1'000'000, "application/octet-stream",
                                     [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false;
                                         sink.write(std::string(1024, 'a').data(), 1024);
                                         midBody.set_value();
                                         server.stall();
                                         return false;
                                     });
        });
    });
    std::promise<void> uploadStalled;
    RawServer reader([&](int client, const std::atomic<bool>& stopping) {
        RawServer::receive(client, 64 * 1024);  // then reads no more: the client's socket buffers fill
        uploadStalled.set_value();
        while (!stopping) std::this_thread::sleep_for(10ms);
    });
    auto upload = get(reader.url("/upload"), 30);
    upload.method = "POST";
    upload.body.assign(32u * 1024 * 1024, 'u');

    CancelFlag early;
    early.raise();
    EXPECT_TRUE(performHttp(get(server.url("/slow"), 30), early).cancelled);
    EXPECT_EQ(requests, 0);

    BackgroundWork work;  // shutting the owner down raises the flag of a request on its worker
    std::promise<HttpResponse> download;
    ASSERT_TRUE(work.start("test.download", WorkKind::Network, [&](const CancelFlag& flag) {
        download.set_value(performHttp(get(server.url("/slow"), 30), flag));
    }));
    CancelFlag cancel;
    auto uploaded = std::async(std::launch::async, [&] { return performHttp(upload, cancel); });
    midBody.get_future().wait();
    uploadStalled.get_future().wait();
    EXPECT_TRUE(work.shutdown(10s));
    cancel.raise();
    ASSERT_EQ(uploaded.wait_for(10s), std::future_status::ready);
    for (const HttpResponse& r : {download.get_future().get(), uploaded.get()}) {
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.transportOk);
        EXPECT_EQ(r.errorText, "");
    }
}

}  // namespace
}  // namespace tamo
