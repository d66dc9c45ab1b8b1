#pragma once
// Failing surroundings: a real program fed from a file, its output in a file and a kill -9 at any
// moment; a small tmpfs (root only) to fill up or make read-only; a bare TCP server on 127.0.0.1.
#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "media/media_fixtures.h"

namespace tamo::test {

// Starts argv through env (so it may begin with "NAME=value" entries) with `input` as its standard input
// and its output and errors in `output`. maxFileBytes >= 0 caps the files it writes: a full disk without
// root (writes past it fail with EFBIG).
inline pid_t startChild(std::vector<std::string> argv, const std::string& input, const std::filesystem::path& output,
                        long maxFileBytes = -1) {
    writeFile(output.string() + ".in", input);
    argv.insert(argv.begin(), "/usr/bin/env");
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const int in = ::open((output.string() + ".in").c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {  // only async-signal-safe calls until exec
        ::dup2(in, 0), ::dup2(out, 1), ::dup2(out, 2);
        const rlimit limit{static_cast<rlim_t>(maxFileBytes), static_cast<rlim_t>(maxFileBytes)};
        if (maxFileBytes >= 0) ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(in), ::close(out);
    return pid;
}
inline int waitFor(pid_t pid) {  // exit status, or 128 + the signal that ended it
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Run {
    int exitCode = -1;
    std::string output;  // standard output and error
};
inline Run runToEnd(const std::vector<std::string>& argv, const std::string& input = "", long maxFileBytes = -1) {
    TempDir logs;
    const int code = waitFor(startChild(argv, input, logs / "output.txt", maxFileBytes));
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
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ = ::geteuid() == 0 && !std::getenv("TAMO_FAULT_NO_MOUNT") &&
                   ::mount("tmpfs", path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(path().c_str(), MNT_DETACH);
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
    explicit RawServer(std::function<void(int client, const std::atomic<bool>& stopping)> onClient)
        : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd_, 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, onClient] {
            for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(client))
                onClient(client, stopping_);
        });
    }
    ~RawServer() {
        stopping_ = true;
        ::shutdown(fd_, SHUT_RDWR);  // ends the waiting accept
        thread_.join();
        ::close(fd_);
    }
    std::string url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

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
    int fd_ = -1, port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace tamo::test
