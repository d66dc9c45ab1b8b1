// The HTTP client against real servers on 127.0.0.1 that answer, fail and stall in real ways.
#include "platform/http.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/curl_failure.h"

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
            res.set_content(
                req.get_header_value("Authorization") + "|" + req.get_header_value("Content-Type") + "|" + req.body,
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

// The user reads these texts in the page: each kind of failure has its Hungarian description.
constexpr const char* kCannotConnect = "Nem sikerült kapcsolódni a kiszolgálóhoz.";
constexpr const char* kTimedOut = "A kérés időtúllépés miatt megszakadt.";
constexpr const char* kTls = "Nem sikerült biztonságos kapcsolatot létesíteni a kiszolgálóval.";
constexpr const char* kBroken = "A kapcsolat megszakadt.";
constexpr const char* kNoAnswer = "A kiszolgáló nem küldött választ.";
constexpr const char* kTooLarge = "A válasz nagyobb a megengedettnél.";
constexpr const char* kBadAddress = "Érvénytelen webcím.";
constexpr const char* kRedirects = "Túl sok átirányítás.";

// A port on 127.0.0.1 that was free a moment ago and has no listener: connecting is refused.
int closedLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

TEST(Http, TransportFailuresCarryTheirHungarianDescription) {
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
        s.Get("/to-file",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/passwd"); });
        s.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
        s.Get("/hop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/landed"); });
        s.Get("/landed",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("here", "text/plain"); });
    });

    auto stalled = performHttp(get(server.url("/stall")));
    EXPECT_FALSE(stalled.transportOk);
    EXPECT_EQ(stalled.errorText, kTimedOut);

    auto cut = performHttp(get(server.url("/cut")));
    EXPECT_FALSE(cut.transportOk);
    EXPECT_EQ(cut.errorText, kBroken);

    auto toFile = performHttp(get(server.url("/to-file")));
    EXPECT_FALSE(toFile.transportOk);
    EXPECT_EQ(toFile.body, "");
    EXPECT_EQ(toFile.errorText, kBadAddress);

    auto loop = performHttp(get(server.url("/loop")));
    EXPECT_FALSE(loop.transportOk);
    EXPECT_EQ(loop.errorText, kRedirects);

    auto hop = performHttp(get(server.url("/hop")));
    ASSERT_TRUE(hop.transportOk);
    EXPECT_EQ(hop.body, "here");

    for (const char* bad : {"file:///etc/passwd", "ftp://127.0.0.1/x", "not a url", ""}) {
        auto r = performHttp(get(bad));
        EXPECT_FALSE(r.transportOk) << bad;
        EXPECT_EQ(r.errorText, kBadAddress) << bad;
    }

    // Nobody listens on a port we just closed.
    int closedPort = closedLoopbackPort();
    auto refused = performHttp(get("http://127.0.0.1:" + std::to_string(closedPort) + "/"));
    EXPECT_FALSE(refused.transportOk);
    EXPECT_EQ(refused.errorText, kCannotConnect);

    // A secure address on a server that only speaks plain HTTP: the TLS handshake fails.
    auto plain = server.url("/landed");
    auto tls = performHttp(get("https" + plain.substr(4)));
    EXPECT_FALSE(tls.transportOk);
    EXPECT_EQ(tls.errorText, kTls);
}

// A bare TCP server on 127.0.0.1 that reads the request and then either resets the connection
// (a zero linger time makes close send RST) or closes it without a byte of answer.
class RudeServer {
public:
    explicit RudeServer(bool reset) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listener_, 4);
        thread_ = std::thread([this, reset] {
            int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            char request[4096];
            (void)::recv(client, request, sizeof request, 0);  // the request line is there before we answer
            if (reset) {
                linger hard{1, 0};
                ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            }
            ::close(client);
        });
    }
    ~RudeServer() {
        ::shutdown(listener_, SHUT_RDWR);  // ends a waiting accept when the client never came
        thread_.join();
        ::close(listener_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(Http, ResetAndSilentlyClosedConnectionsAreNamed) {
    {
        RudeServer server(/*reset=*/true);
        auto r = performHttp(get(server.url()));
        EXPECT_FALSE(r.transportOk);
        EXPECT_EQ(r.errorText, kBroken);
    }
    {
        RudeServer server(/*reset=*/false);
        auto r = performHttp(get(server.url()));
        EXPECT_FALSE(r.transportOk);
        EXPECT_EQ(r.errorText, kNoAnswer);
    }
}

TEST(Http, FailureKindsWithoutALoopbackCaseMapToTheirTexts) {
    // Resolving a name would leave this machine, so the mapping itself is checked for these.
    EXPECT_STREQ(transportFailureText(classifyCurlFailure(CURLE_COULDNT_RESOLVE_HOST)),
                 "A kiszolgáló neve nem található.");
    EXPECT_STREQ(transportFailureText(classifyCurlFailure(CURLE_COULDNT_RESOLVE_PROXY)),
                 "A kiszolgáló neve nem található.");
    EXPECT_STREQ(transportFailureText(classifyCurlFailure(CURLE_PEER_FAILED_VERIFICATION)), kTls);
    EXPECT_STREQ(transportFailureText(classifyCurlFailure(CURLE_SEND_ERROR)), kBroken);
    EXPECT_STREQ(transportFailureText(classifyCurlFailure(CURLE_OUT_OF_MEMORY)), "Hálózati hiba történt.");
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
        EXPECT_EQ(capped.errorText, kTooLarge) << path;
        r.maxBodyBytes = big.size();
        auto whole = performHttp(r);
        ASSERT_TRUE(whole.transportOk) << path << whole.errorText;
        EXPECT_EQ(whole.body.size(), big.size()) << path;
    }
}

}  // namespace
}  // namespace tamo
