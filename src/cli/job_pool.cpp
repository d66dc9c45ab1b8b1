#include "cli/job_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cancel_signal.h"
#include "cli/progress_output.h"
#include "cli/render_run.h"

extern char** environ;

namespace tamo::cli {
namespace {

struct Result {
    const JobLine* job;
    std::string state;  // done, skipped, failed, cancelled
    std::string error;
};

struct Child {
    const JobLine* job;
    pid_t pid = -1;
    int out = -1;        // read end of the child's standard output
    std::string buffer;  // an unfinished line
    std::string state;   // the last state it reported
    std::string error;
    int percent = 0;
};

// What the pool shows: JSON lines on standard output, or human lines on standard error.
class PoolReport {
public:
    PoolReport(bool json, std::size_t total)
        : json_(json), terminal_(!json && isatty(STDERR_FILENO) == 1), total_(total) {}

    void state(const JobLine& job, const std::string& state, int percent, const std::string& error) {
        if (json_) {
            std::printf("%s\n", progressJsonLine(job.index, percent, state.c_str(), error).c_str());
            std::fflush(stdout);
            return;
        }
        if (state == kRunning && terminal_) return;
        if (terminal_) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "job %d (line %d): %s%s%s\n", job.index, job.lineNumber, state.c_str(),
                     error.empty() ? "" : ": ", error.c_str());
        std::fflush(stderr);
    }

    void percent(const JobLine& job, int percent, int overall) {
        if (json_) {
            std::printf("%s\n", progressJsonLine(job.index, percent, kRunning).c_str());
            std::fflush(stdout);
        } else if (terminal_ && overall != lastOverall_) {
            lastOverall_ = overall;
            const int width = 40, filled = overall * width / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%% of %zu jobs", std::string(filled, '#').c_str(),
                         std::string(width - filled, ' ').c_str(), overall, total_);
            std::fflush(stderr);
        }
    }

    void endLine() {
        if (terminal_ && lastOverall_ >= 0) std::fputs("\r\033[K", stderr);
    }

private:
    bool json_, terminal_;
    std::size_t total_;
    int lastOverall_ = -1;
};

bool spawnChild(Child& child, const std::filesystem::path& jobsFile) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string index = std::to_string(child.job->index);
    const std::string file = jobsFile.string();
    std::vector<char*> argv = {const_cast<char*>("tamovid-render"), const_cast<char*>("--jobs"),
                               const_cast<char*>(file.c_str()),     const_cast<char*>("--index"),
                               const_cast<char*>(index.c_str()),    const_cast<char*>("--progress"),
                               const_cast<char*>("json"),           nullptr};
    int rc = posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        child.pid = -1;
        return false;
    }
    child.out = fds[0];
    return true;
}

// Takes the child's JSON lines; returns true when its percent changed.
bool takeLines(Child& child, PoolReport& report, int overall) {
    bool moved = false;
    std::size_t nl;
    while ((nl = child.buffer.find('\n')) != std::string::npos) {
        std::string line = child.buffer.substr(0, nl);
        child.buffer.erase(0, nl + 1);
        auto value = nlohmann::json::parse(line, nullptr, false);
        if (!value.is_object()) continue;
        const std::string state = value.value("state", "");
        const int percent = value.value("percent", 0);
        if (state == kRunning) {
            if (percent != child.percent) moved = true;
            child.percent = percent;
            report.percent(*child.job, percent, overall);
        } else if (!state.empty()) {
            child.state = state;
            child.error = value.value("error", "");
        }
    }
    return moved;
}

std::string exitText(int status) {
    if (WIFSIGNALED(status)) return std::string("ended by signal ") + strsignal(WTERMSIG(status));
    return "ended with status " + std::to_string(WEXITSTATUS(status)) + " without a result";
}

}  // namespace

// One render leaves cores idle in its single-threaded stages (decoding, drawing, the sound merge),
// which a second render fills; bench/batch_bench.sh measured the CPU time per clip staying flat
// from one render per core up to two, so one per core keeps the machine busy without the encoders
// paying for sharing.
int defaultParallelism(unsigned cores) { return static_cast<int>(std::clamp(cores, 1u, 64u)); }

int runAllJobs(const JobList& list, const std::filesystem::path& jobsFile, int parallel, bool json) {
    PoolReport report(json, list.jobs.size());
    std::vector<Result> results;
    std::deque<const JobLine*> queue;
    for (const auto& job : list.jobs) {
        if (!job.ok()) {
            results.push_back({&job, kFailed, job.error});
            report.state(job, kFailed, 0, results.back().error);
        } else if (isCompleteOutput(job.output)) {
            results.push_back({&job, kSkipped, {}});
            report.state(job, kSkipped, 100, {});
        } else {
            queue.push_back(&job);
        }
    }

    std::vector<Child> running;
    auto overall = [&] {
        // Finished jobs count whole, running ones by their percent.
        long sum = 100L * static_cast<long>(results.size());
        for (const auto& c : running) sum += c.percent;
        return list.jobs.empty() ? 100 : static_cast<int>(sum / static_cast<long>(list.jobs.size()));
    };
    bool forwarded = false;
    while (!queue.empty() || !running.empty()) {
        if (cancelFlag().load()) {
            // Children in our process group got a terminal's Ctrl+C already; a scheduler's SIGTERM
            // reaches only us, so pass it on once.
            if (!forwarded)
                for (const auto& c : running) kill(c.pid, cancelSignal() ? cancelSignal() : SIGTERM);
            forwarded = true;
            for (const JobLine* job : queue) {
                results.push_back({job, kCancelled, {}});
                report.state(*job, kCancelled, 0, {});
            }
            queue.clear();
        }
        while (!queue.empty() && static_cast<int>(running.size()) < parallel) {
            Child child{queue.front()};
            queue.pop_front();
            if (!spawnChild(child, jobsFile)) {
                results.push_back({child.job, kFailed, std::string("cannot start a render: ") + std::strerror(errno)});
                report.state(*child.job, kFailed, 0, results.back().error);
                continue;
            }
            report.state(*child.job, kRunning, 0, {});
            running.push_back(std::move(child));
        }
        if (running.empty()) continue;

        std::vector<pollfd> fds;
        for (const auto& c : running) fds.push_back({c.out, POLLIN, 0});
        // A bounded wait, so that a signal landing just before poll() is seen soon all the same.
        if (poll(fds.data(), fds.size(), 250) < 0) continue;
        for (std::size_t i = running.size(); i-- > 0;) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Child& c = running[i];
            char buffer[4096];
            ssize_t n = read(c.out, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                c.buffer.append(buffer, static_cast<std::size_t>(n));
                takeLines(c, report, overall());
                continue;
            }
            // End of its output: collect the child.
            close(c.out);
            int status = 0;
            while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
            }
            Result r{c.job, c.state, c.error};
            const bool exitedOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            if (r.state.empty() || r.state == kRunning) {
                const bool stopped = cancelFlag().load();
                r.state = stopped ? kCancelled : kFailed;
                if (!stopped) r.error = exitText(status);
            } else if ((r.state == kDone || r.state == kSkipped) && !exitedOk) {
                r.state = kFailed;
                r.error = exitText(status);
            }
            results.push_back(r);
            report.state(*c.job, r.state, r.state == kDone || r.state == kSkipped ? 100 : c.percent, r.error);
            running.erase(running.begin() + static_cast<long>(i));
        }
    }
    report.endLine();

    int done = 0, skipped = 0, failed = 0, cancelled = 0;
    for (const auto& r : results) {
        if (r.state == kDone)
            ++done;
        else if (r.state == kSkipped)
            ++skipped;
        else if (r.state == kCancelled)
            ++cancelled;
        else
            ++failed;
    }
    std::sort(results.begin(), results.end(),
              [](const Result& a, const Result& b) { return a.job->index < b.job->index; });
    std::fprintf(stderr, "tamovid-render: %zu jobs: %d rendered, %d already complete, %d failed", list.jobs.size(),
                 done, skipped, failed);
    if (cancelled) std::fprintf(stderr, ", %d cancelled", cancelled);
    std::fputc('\n', stderr);
    for (const auto& r : results)
        if (r.state == kFailed)
            std::fprintf(stderr, "  job %d (line %d): %s\n", r.job->index, r.job->lineNumber, r.error.c_str());
    std::fflush(stderr);
    if (cancelFlag().load()) return cancelledExitStatus();
    return failed == 0 && cancelled == 0 ? 0 : 1;
}

}  // namespace tamo::cli
