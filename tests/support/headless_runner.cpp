#include "support/headless_runner.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

namespace tamo::test {

const char* const kProtocolPrefixes[] = {"JS> ", "CHOOSER> ", "TITLE> ", "QUESTION> "};

std::vector<std::string> HeadlessResult::withPrefix(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
    return out;
}

std::vector<std::string> HeadlessResult::logLines() const {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (std::none_of(kProtocolPrefixes, kProtocolPrefixes + 4, [&](const char* p) { return l.rfind(p, 0) == 0; }))
            out.push_back(l);
    return out;
}

bool HeadlessResult::hasLine(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

HeadlessResult runHeadless(const std::vector<nlohmann::json>& input, const HeadlessOptions& options) {
    std::vector<std::string> lines;
    for (const auto& v : input) lines.push_back(v.dump());
    return runHeadlessRaw(lines, options);
}

HeadlessResult runHeadlessRaw(const std::vector<std::string>& inputLines, const HeadlessOptions& options) {
    HeadlessResult result;
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        for (const auto& [k, v] : options.env) setenv(k.c_str(), v.c_str(), 1);
        execl(TAMO_HEADLESS_BIN, TAMO_HEADLESS_BIN, static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int fd : {in[0], out[1], err[1]}) close(fd);

    std::string input;
    for (const auto& l : inputLines) input += l + "\n";
    std::thread writer([fd = in[1], input] {
        signal(SIGPIPE, SIG_IGN);
        for (std::size_t done = 0; done < input.size();) {
            ssize_t n = write(fd, input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(fd);
    });

    std::string text[2];
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, 500) < 0) break;
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                text[i].append(buf, static_cast<std::size_t>(n));
            else
                fds[i].fd = -1;  // poll skips negative descriptors
        }
    }
    close(out[0]);
    close(err[0]);
    writer.join();
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.stderrText = text[1];
    std::istringstream s(text[0]);
    for (std::string line; std::getline(s, line);) result.lines.push_back(line);
    return result;
}

}  // namespace tamo::test
