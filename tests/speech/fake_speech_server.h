#pragma once
// A stand-in for the speech service on 127.0.0.1 that answers each request the way a test asks:
// properly, with errors, never (an answer of nullptr) or cut short.
#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tamo::test {

struct ReceivedRequest {
    std::string path;
    httplib::Headers headers;
    std::string body;
    std::map<std::string, httplib::MultipartFormData> parts;  // multipart form fields by name
};

class FakeSpeechServer {
public:
    using Answer = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit FakeSpeechServer(Answer answer) : answer_(std::move(answer)) {
        auto handle = [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex_);
                received_.push_back({req.path, req.headers, req.body, {req.files.begin(), req.files.end()}});
            }
            if (answer_) return answer_(req, res);
            while (!released_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        server_.Post("/v1/audio/transcriptions", handle);
        server_.Post("/v1/audio/speech", handle);
        server_.set_keep_alive_max_count(1);  // one request per connection: stopping never waits on an idle one
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeSpeechServer() {
        released_ = true;  // lets a handler that plays dead return, so the server can stop
        server_.stop();
        thread_.join();
    }

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<ReceivedRequest> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    static Answer bytes(std::string body, int status = 200, std::string type = "audio/mpeg") {
        return [=](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content(body, type);
        };
    }
    static Answer json(std::string body, int status = 200) { return bytes(body, status, "application/json"); }
    // Promises a long body, sends a little, then closes the connection.
    static Answer cutShort() {
        return [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(100000, "audio/mpeg",
                                     [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         if (offset == 0) sink.write("ID3\x04\x00partial", 12);
                                         return false;
                                     });
        };
    }

private:
    Answer answer_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<ReceivedRequest> received_;
    std::atomic<bool> released_{false};
};

}  // namespace tamo::test
