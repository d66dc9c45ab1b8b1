#include "headless/stdin_lines.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tamo::headless {

StdinLines::StdinLines(std::function<void(std::string)> onLine, std::function<void()> onEnd) {
    if (::pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this, onLine = std::move(onLine), onEnd = std::move(onEnd)]() mutable {
        run(std::move(onLine), std::move(onEnd));
    });
}

StdinLines::~StdinLines() {
    stop();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

void StdinLines::stop() {
    if (wake_[1] >= 0) {
        char byte = 1;
        (void)!::write(wake_[1], &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
}

void StdinLines::run(std::function<void(std::string)> onLine, std::function<void()> onEnd) {
    std::string pending;
    char buffer[1 << 16];
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int ready = ::poll(fds, wake_[0] >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) return;  // stopped: the program is quitting
        ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0, newline;
        while ((newline = pending.find('\n', start)) != std::string::npos) {
            onLine(pending.substr(start, newline - start));
            start = newline + 1;
        }
        pending.erase(0, start);
    }
    // Like getline: a last line without its newline still counts.
    if (!pending.empty()) onLine(std::move(pending));
    onEnd();
}

}  // namespace tamo::headless
