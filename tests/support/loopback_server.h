#pragma once
// A cpp-httplib server on 127.0.0.1 at a free port, serving the routes a test gives it.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace tamo::test {

class LoopbackServer {
public:
    explicit LoopbackServer(std::function<void(httplib::Server&)> routes) {
        routes(server_);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer() {
        released_ = true;  // stalled handlers end, so the server can stop
        server_.stop();
        thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    // Holds a handler back until the server is torn down (or a minute passes).
    void stall() const {
        for (int i = 0; i < 1200 && !released_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> released_{false};
};

}  // namespace tamo::test
