// Requests end when their cancel flag goes up, also while the server on 127.0.0.1 has stopped in
// the middle of the answer or stopped reading the upload; and background requests are owned by
// the BackgroundWork that started them, so shutting it down ends them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/background_work.h"
#include "platform/http.h"
#include "support/loopback_server.h"

namespace tamo {
namespace {

using namespace std::chrono_literals;
using test::LoopbackServer;

// Only the cancel flag may end these: the idle and total limits lie far beyond the test's guard.
HttpRequest patientRequest(const std::string& url) {
    HttpRequest r;
    r.url = url;
    r.idleTimeoutSeconds = 30;
    r.totalTimeoutSeconds = 60;
    return r;
}

// Sends the head and the first kilobyte of a longer answer, tells the test, then goes silent.
struct MidBodyStall {
    std::promise<void> stalled;
    LoopbackServer server{[this](httplib::Server& s) {
        s.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1'000'000, "application/octet-stream",
                                     [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false;
                                         std::string first(1024, 'a');
                                         sink.write(first.data(), first.size());
                                         stalled.set_value();
                                         server.stall();
                                         return false;
                                     });
        });
    }};
};

// A bare server that reads the request head and a little of the body, tells the test, and then
// reads no more: the client's upload stalls once the socket buffers are full.
class UploadStall {
public:
    UploadStall() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listener_, 4);
        thread_ = std::thread([this] {
            client_ = ::accept(listener_, nullptr, nullptr);
            if (client_ < 0) return;
            std::string seen;
            char buffer[16384];
            while (seen.size() < 64 * 1024) {
                ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                seen.append(buffer, static_cast<std::size_t>(n));
            }
            reading_.set_value(seen.find("\r\n\r\n") != std::string::npos);
            while (!released_) std::this_thread::sleep_for(10ms);
        });
    }
    ~UploadStall() {
        released_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        if (client_ >= 0) ::close(client_);
        ::close(listener_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/upload"; }
    // True once the head and the start of the body have arrived.
    std::future<bool> stalled() { return reading_.get_future(); }

private:
    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::promise<bool> reading_;
    std::atomic<bool> released_{false};
};

TEST(HttpCancel, ARaisedFlagEndsADownloadStalledMidBody) {
    MidBodyStall stall;
    CancelFlag cancel;
    auto result =
        std::async(std::launch::async, [&] { return performHttp(patientRequest(stall.server.url("/slow")), cancel); });
    stall.stalled.get_future().wait();
    cancel.raise();
    // Far less than the request's own limits; the flag is read at least once a second.
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    HttpResponse response = result.get();
    EXPECT_TRUE(response.cancelled);
    EXPECT_FALSE(response.transportOk);
    EXPECT_EQ(response.errorText, "");
}

TEST(HttpCancel, ARaisedFlagEndsAnUploadTheServerStoppedReading) {
    UploadStall server;
    auto stalled = server.stalled();
    HttpRequest request = patientRequest(server.url());
    request.method = "POST";
    request.body.assign(32u * 1024 * 1024, 'u');  // more than any socket buffer holds
    CancelFlag cancel;
    auto result = std::async(std::launch::async, [&] { return performHttp(request, cancel); });
    ASSERT_TRUE(stalled.get());
    cancel.raise();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    HttpResponse response = result.get();
    EXPECT_TRUE(response.cancelled);
    EXPECT_FALSE(response.transportOk);
}

TEST(HttpCancel, AFlagRaisedBeforehandSendsNothing) {
    std::atomic<int> requests{0};
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/ok", [&](const httplib::Request&, httplib::Response& res) {
            ++requests;
            res.set_content("ok", "text/plain");
        });
    });
    CancelFlag cancel;
    cancel.raise();
    HttpResponse response = performHttp(patientRequest(server.url("/ok")), cancel);
    EXPECT_TRUE(response.cancelled);
    EXPECT_FALSE(response.transportOk);
    EXPECT_EQ(requests, 0);

    // An unraised flag changes nothing about a normal answer.
    HttpResponse normal = performHttp(patientRequest(server.url("/ok")), CancelFlag());
    ASSERT_TRUE(normal.transportOk) << normal.errorText;
    EXPECT_FALSE(normal.cancelled);
    EXPECT_EQ(normal.body, "ok");
}

TEST(HttpCancel, ARequestOnAWorkerEndsWhenItsOwnerShutsDown) {
    MidBodyStall stall;
    BackgroundWork work;
    // A request stuck on a silent server: shutting the owner down raises its flag and joins it.
    std::promise<HttpResponse> stuck;
    ASSERT_TRUE(work.start("test.request", WorkKind::Network, [&](const CancelFlag& flag) {
        stuck.set_value(performHttp(patientRequest(stall.server.url("/slow")), flag));
    }));
    stall.stalled.get_future().wait();
    EXPECT_EQ(work.inFlight(), 1u);
    EXPECT_TRUE(work.shutdown(10s));
    auto ended = stuck.get_future();
    ASSERT_EQ(ended.wait_for(0s), std::future_status::ready);
    EXPECT_TRUE(ended.get().cancelled);
}

}  // namespace
}  // namespace tamo
