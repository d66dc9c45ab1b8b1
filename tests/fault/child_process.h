#pragma once
// Starting the real programs for fault injection: standard input from the test, standard output to a
// file, an optional cap on the size of files they write (a full disk without root), and a kill -9 at
// any moment.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace tamo::test {

class ChildProcess {
public:
    struct Options {
        std::map<std::string, std::string> env;  // added to the environment
        long maxFileBytes = -1;                  // RLIMIT_FSIZE; writes past it fail with EFBIG
    };

    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& outputFile,
                 const Options& options) {
        ::signal(SIGPIPE, SIG_IGN);  // a child that dies while we write must not take the test along
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (!options.env.count(entry.substr(0, entry.find('=')))) envText.push_back(entry);
        }
        for (const auto& [key, value] : options.env) envText.push_back(key + "=" + value);
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
        int outFd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_ = ::fork();
        if (pid_ == 0) {  // only async-signal-safe calls until exec
            ::dup2(pipeFds[0], 0);
            ::dup2(outFd, 1);
            ::dup2(outFd, 2);
            if (options.maxFileBytes >= 0) {
                ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing the program
                rlimit limit{static_cast<rlim_t>(options.maxFileBytes), static_cast<rlim_t>(options.maxFileBytes)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        ::close(pipeFds[0]);
        ::close(outFd);
        stdin_ = pipeFds[1];
    }
    ~ChildProcess() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0 && stdin_ >= 0; }

    // Writes text to the child's standard input (a child that died meanwhile is no error here).
    void write(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::write(stdin_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    void closeInput() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }
    // Exit status, or 128 + the signal that ended it.
    int wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
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

}  // namespace tamo::test
