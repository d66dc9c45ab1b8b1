#pragma once
// Failing surroundings: a real program with our standard input, its output in a file and a kill -9 at
// any moment; a small tmpfs (root only) to fill up or make read-only; a bare TCP server on 127.0.0.1.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "media/media_fixtures.h"

namespace tamo::test {

// Limits for a child: a cap on the size of the files it writes (a full disk without root).
struct ChildOptions {
    std::vector<std::string> env;  // "NAME=value", added to the environment
    long maxFileBytes = -1;        // RLIMIT_FSIZE: writes past it fail with EFBIG
};

class ChildProcess {
public:
    ChildProcess(std::vector<std::string> argv, const std::filesystem::path& output, const ChildOptions& options = {}) {
        ::signal(SIGPIPE, SIG_IGN);  // a child that dies while we write must not take the test along
        argv.insert(argv.begin(), options.env.begin(), options.env.end());
        argv.insert(argv.begin(), "/usr/bin/env");
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if ((pid_ = ::fork()) == 0) {  // only async-signal-safe calls until exec
            ::dup2(fds[0], 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
            if (options.maxFileBytes >= 0) {
                ::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{static_cast<rlim_t>(options.maxFileBytes), static_cast<rlim_t>(options.maxFileBytes)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(fds[0]);
        ::close(out);
        stdin_ = fds[1];
    }
    ~ChildProcess() {
        closeInput();
        if (pid_ > 0 && !reaped_) killNow();
    }
    bool started() const { return pid_ > 0; }
    void write(const std::string& text) {  // a child that died meanwhile is no error here
        for (ssize_t done = 0, n; done < static_cast<ssize_t>(text.size()); done += n)
            if ((n = ::write(stdin_, text.data() + done, text.size() - done)) <= 0) return;
    }
    void closeInput() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }
    int wait() {  // exit status, or 128 + the signal that ended it
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void killNow() {
        ::kill(pid_, SIGKILL);
        wait();
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool reaped_ = false;
};

struct Run {
    int exitCode = -1;
    std::string output;  // standard output and error
};

inline Run runToEnd(const std::vector<std::string>& argv, const std::string& input, const ChildOptions& options = {}) {
    TempDir logs;
    ChildProcess child(argv, logs / "output.txt", options);
    EXPECT_TRUE(child.started());
    child.write(input);
    child.closeInput();
    int code = child.wait();
    return {code, readFile(logs / "output.txt")};
}

inline std::vector<std::string> visibleNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A tmpfs of a few hundred kilobytes on a fresh folder. Needs root (CI runs as root); elsewhere, or with
// TAMO_FAULT_NO_MOUNT=1, mounted() is false and the tests fall back to a cap on file sizes or a
// folder without write rights.
class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes) {
        if (::geteuid() != 0 || std::getenv("TAMO_FAULT_NO_MOUNT")) return;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ = ::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return folder_.path(); }
    void fillLeaving(std::size_t leave) {  // with one file named "filler"
        std::ofstream filler(path() / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler && std::filesystem::space(path()).available > leave + block.size())
            filler.write(block.data(), static_cast<std::streamsize>(block.size())).flush();
    }
    bool makeReadOnly() { return ::mount(nullptr, path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    TempDir folder_;
    bool mounted_ = false;
};

// A bare TCP server on 127.0.0.1: each connection goes to onClient(client, stopping) on the server's
// thread and is closed after it. stopping turns true when the server is torn down.
class RawServer {
public:
    using Handler = std::function<void(int client, const std::atomic<bool>& stopping)>;
    explicit RawServer(Handler onClient) : onClient_(std::move(onClient)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd_, 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(client)) {
                ++connections_;
                onClient_(client, stopping_);
            }
        });
    }
    ~RawServer() {
        stopping_ = true;
        ::shutdown(fd_, SHUT_RDWR);  // ends the waiting accept
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    std::string url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int connections() const { return connections_; }

    // Reads until `bytes` have come or the peer stops; returns what came.
    static std::string receive(int client, std::size_t bytes) {
        std::string seen;
        char buffer[16384];
        for (ssize_t n; seen.size() < bytes && (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
            seen.append(buffer, static_cast<std::size_t>(n));
        return seen;
    }
    // The close that follows sends RST instead of FIN.
    static void resetOnClose(int client) {
        linger hard{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }

private:
    Handler onClient_;
    int fd_ = -1, port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace tamo::test
