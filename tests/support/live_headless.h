#pragma once
// A real program kept running (tamovid-headless unless told otherwise): lines are written to its
// standard input while it stays open, what it prints (standard output and error together) is
// collected as it comes, and the test decides when it ends. It runs in its own process group, so
// the helpers it starts go with it; every wait is bounded and the destructor kills what is left.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace tamo::test {

class LiveHeadless {
public:
    explicit LiveHeadless(const std::map<std::string, std::string>& env = {},
                          const std::string& program = TAMO_HEADLESS_BIN, const std::string& cwd = {}) {
        int in[2], out[2];
        if (pipe(in) || pipe(out)) return;
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
            for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
        reader_ = std::thread([this] { readLoop(); });
    }
    LiveHeadless(const LiveHeadless&) = delete;
    LiveHeadless& operator=(const LiveHeadless&) = delete;
    ~LiveHeadless() {
        closeInput();
        if (pid_ > 0) ::kill(-pid_, SIGKILL);
        if (pid_ > 0 && !exitStatus_) waitpid(pid_, nullptr, 0);
        stop_ = true;  // a helper that outlived the kill may still hold the pipe open
        if (reader_.joinable()) reader_.join();
        if (output_ >= 0) close(output_);
    }

    bool send(const nlohmann::json& line) { return sendRaw(line.dump() + "\n"); }
    bool sendRaw(const std::string& text) {
        ::signal(SIGPIPE, SIG_IGN);
        return input_ >= 0 && write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void closeInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    void signal(int number) { ::kill(pid_, number); }

    // Waits until a printed line satisfies match (a zero timeout only looks).
    bool waitFor(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return std::any_of(lines_.begin(), lines_.end(), match); });
    }
    bool waitForLine(const std::string& exact, std::chrono::milliseconds timeout = {}) {
        return waitFor([&](const std::string& l) { return l == exact; }, timeout);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    // The exit status when it ended by itself, minus the signal's number when a signal killed it,
    // or nothing when it still runs after the timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!exitStatus_) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            else if (std::chrono::steady_clock::now() >= deadline)
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return exitStatus_;
    }

private:
    void readLoop() {
        std::string pending;
        char buffer[1 << 16];
        while (!stop_) {
            pollfd p{output_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0, newline;
            std::lock_guard lock(mutex_);
            for (; (newline = pending.find('\n', start)) != std::string::npos; start = newline + 1)
                lines_.push_back(pending.substr(start, newline - start));
            pending.erase(0, start);
            changed_.notify_all();
        }
    }

    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
    std::optional<int> exitStatus_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

}  // namespace tamo::test
