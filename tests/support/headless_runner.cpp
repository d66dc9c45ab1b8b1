#include "support/headless_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#ifndef TAMO_HEADLESS_BIN
#error "TAMO_HEADLESS_BIN must name the tamovid-headless executable"
#endif

extern char** environ;

namespace tamo::test {

std::vector<std::string> HeadlessResult::withPrefix(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
    return out;
}

std::vector<std::string> HeadlessResult::logLines() const {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind("JS> ", 0) != 0 && l.rfind("CHOOSER> ", 0) != 0 && l.rfind("TITLE> ", 0) != 0 &&
            l.rfind("QUESTION> ", 0) != 0)
            out.push_back(l);
    return out;
}

bool HeadlessResult::hasLine(const std::string& line) const {
    for (const auto& l : lines)
        if (l == line) return true;
    return false;
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
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
        execl(TAMO_HEADLESS_BIN, TAMO_HEADLESS_BIN, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    std::string input;
    for (const auto& l : inputLines) input += l + "\n";
    std::thread writer([fd = in[1], input] {
        signal(SIGPIPE, SIG_IGN);
        std::size_t done = 0;
        while (done < input.size()) {
            ssize_t n = write(fd, input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(fd);
    });

    std::string outText, errText;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{out[0], static_cast<short>(outOpen ? POLLIN : 0), 0},
                         {err[0], static_cast<short>(errOpen ? POLLIN : 0), 0}};
        if (poll(fds, 2, static_cast<int>(std::min<long long>(left, 500))) < 0) break;
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0)
                (i == 0 ? outOpen : errOpen) = false;
            else
                (i == 0 ? outText : errText).append(buf, static_cast<std::size_t>(n));
        }
    }
    close(out[0]);
    close(err[0]);
    writer.join();
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.stderrText = errText;

    std::istringstream s(outText);
    std::string line;
    while (std::getline(s, line)) result.lines.push_back(line);
    return result;
}

}  // namespace tamo::test
