// Helpers for driving the real desktop program on a private X server: commands with a deadline,
// the program in its own process group observed through its standard output, and screenshots
// read back as pixels. Every wait is bounded; the program is killed when its handle goes away.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace gui {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct CommandResult {
    int exitCode = -1;
    bool timedOut = false;
    std::string out;
};

// Runs argv with a deadline; standard output is collected, standard error passes through.
inline CommandResult runCommand(const std::vector<std::string>& argv, std::chrono::seconds timeout) {
    CommandResult result;
    int out[2];
    if (pipe(out) != 0) return result;
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // a timed-out command goes with everything it started
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            break;
        }
        pollfd fd{out[0], POLLIN, 0};
        int ready = poll(&fd, 1, static_cast<int>(std::min<long long>(left, 200)));
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            char buf[1 << 16];
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            result.out.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!result.timedOut) result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The environment of a test run of the editor: its page from `resources`, and user folders of its
// own under `home`, so that the page's storage, settings and media stay inside the test.
inline std::map<std::string, std::string> editorEnvironment(const fs::path& resources, const fs::path& home) {
    return {{"TAMO_RESOURCE_DIR", resources.string()},
            {"XDG_DATA_HOME", (home / "xdg-data").string()},
            {"XDG_CONFIG_HOME", (home / "xdg-config").string()},
            {"XDG_CACHE_HOME", (home / "xdg-cache").string()}};
}

inline fs::path makeTempDir(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / ("tamo_gui_" + tag + "_XXXXXX")).string();
    char* made = mkdtemp(pattern.data());
    return made ? fs::path(made) : fs::path();
}

// One run of a program in its own process group (WebKit's helper processes die with it), its
// standard output collected line by line.
class Program {
public:
    Program(const fs::path& executable, const std::map<std::string, std::string>& env, const fs::path& cwd,
            const fs::path& stderrFile) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            if (FILE* err = std::fopen(stderrFile.c_str(), "w")) dup2(fileno(err), 2);
            for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            if (chdir(cwd.c_str()) != 0) _exit(126);
            execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
        reader_ = std::thread([this] { readLoop(); });
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ~Program() {
        kill();
        stop_ = true;  // a helper process that outlived the kill may still hold the pipe open
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) close(fd_);
    }

    bool waitFor(const std::function<bool(const std::string&)>& match, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return std::any_of(lines_.begin(), lines_.end(), match); });
    }
    bool waitForLine(const std::string& exact, std::chrono::seconds timeout) {
        return waitFor([&](const std::string& l) { return l == exact; }, timeout);
    }
    // Waits until the line has been printed at least `times` times.
    bool waitForCount(const std::string& exact, std::size_t times, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(std::count(lines_.begin(), lines_.end(), exact)) >= times;
        });
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool has(const std::string& exact) const {
        auto all = lines();
        return std::find(all.begin(), all.end(), exact) != all.end();
    }
    bool anyContains(const std::string& part) const {
        auto all = lines();
        return std::any_of(all.begin(), all.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
    std::vector<std::string> linesStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& l : lines())
            if (l.rfind(prefix, 0) == 0) found.push_back(l);
        return found;
    }

    bool running() {
        if (pid_ <= 0 || exited_) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return !exited_;
    }
    // Waits for the program to end by itself; its exit code, or nothing on timeout.
    std::optional<int> waitForExit(std::chrono::seconds timeout) {
        auto deadline = Clock::now() + timeout;
        while (running() && Clock::now() < deadline) std::this_thread::sleep_for(50ms);
        if (running()) return std::nullopt;
        return exitCode_;
    }
    void kill() {
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGKILL);  // the group: the program and the helpers it started
        if (!exited_) {
            int status = 0;
            waitpid(pid_, &status, 0);
            exited_ = true;
        }
    }

    std::string dump() const {
        std::string text;
        for (const auto& l : lines()) text += "  | " + l.substr(0, 300) + "\n";
        return text;
    }

private:
    void readLoop() {
        std::string pending;
        char buf[1 << 16];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            int ready = poll(&p, 1, 200);
            if (ready < 0 && errno != EINTR) break;
            if (ready <= 0) continue;
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t start = 0, nl;
            std::vector<std::string> complete;
            while ((nl = pending.find('\n', start)) != std::string::npos) {
                complete.push_back(pending.substr(start, nl - start));
                start = nl + 1;
            }
            pending.erase(0, start);
            if (!complete.empty()) {
                std::lock_guard lock(mutex_);
                for (auto& l : complete) lines_.push_back(std::move(l));
                changed_.notify_all();
            }
        }
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

inline bool xdotool(std::vector<std::string> args, std::chrono::seconds timeout = 15s) {
    args.insert(args.begin(), "xdotool");
    return runCommand(args, timeout).exitCode == 0;
}

// The first window whose title matches the regular expression, waiting for it to appear.
inline std::string findWindow(const std::string& titleRegex, std::chrono::seconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        std::istringstream ids(runCommand({"xdotool", "search", "--onlyvisible", "--name", titleRegex}, 10s).out);
        std::string id;
        if (ids >> id) return id;
        std::this_thread::sleep_for(200ms);
    }
    return {};
}

struct Rgb {
    int r, g, b;
};

// A picture as rows of RGB bytes: a screenshot or a decoded video frame.
struct Image {
    int width = 0;
    int height = 0;
    std::string rgb;

    bool valid() const { return width > 0 && height > 0 && rgb.size() == std::size_t(width) * height * 3; }
    Rgb at(int x, int y) const {
        const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (std::size_t(y) * width + x);
        return {p[0], p[1], p[2]};
    }
};

struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // x1, y1 one past the last pixel
    int pixels = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    int centerX() const { return (x0 + x1) / 2; }
    int centerY() const { return (y0 + y1) / 2; }
};

// Connected areas (4-neighbourhood) of pixels the predicate accepts, inside the region.
inline std::vector<Box> findAreas(const Image& image, const Box& region, const std::function<bool(Rgb)>& accept) {
    int x0 = std::max(0, region.x0), y0 = std::max(0, region.y0);
    int x1 = std::min(image.width, region.x1), y1 = std::min(image.height, region.y1);
    std::vector<Box> areas;
    if (x1 <= x0 || y1 <= y0) return areas;
    int w = x1 - x0, h = y1 - y0;
    std::vector<char> state(std::size_t(w) * h, 0);  // 0 unseen, 1 accepted and queued, 2 rejected
    std::vector<int> queue;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::size_t i = std::size_t(y) * w + x;
            if (state[i]) continue;
            if (!accept(image.at(x0 + x, y0 + y))) {
                state[i] = 2;
                continue;
            }
            Box box{x0 + x, y0 + y, x0 + x + 1, y0 + y + 1, 0};
            queue.assign(1, int(i));
            state[i] = 1;
            while (!queue.empty()) {
                int j = queue.back();
                queue.pop_back();
                int px = j % w, py = j / w;
                ++box.pixels;
                box.x0 = std::min(box.x0, x0 + px);
                box.y0 = std::min(box.y0, y0 + py);
                box.x1 = std::max(box.x1, x0 + px + 1);
                box.y1 = std::max(box.y1, y0 + py + 1);
                const int nx[4] = {px - 1, px + 1, px, px};
                const int ny[4] = {py, py, py - 1, py + 1};
                for (int k = 0; k < 4; ++k) {
                    if (nx[k] < 0 || ny[k] < 0 || nx[k] >= w || ny[k] >= h) continue;
                    std::size_t n = std::size_t(ny[k]) * w + nx[k];
                    if (state[n]) continue;
                    if (accept(image.at(x0 + nx[k], y0 + ny[k]))) {
                        state[n] = 1;
                        queue.push_back(int(n));
                    } else {
                        state[n] = 2;
                    }
                }
            }
            areas.push_back(box);
        }
    }
    return areas;
}

inline bool near(Rgb p, Rgb want, int tolerance) {
    return std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
           std::abs(p.b - want.b) <= tolerance;
}

// The whole X screen as pixels, without the mouse pointer.
inline Image grabScreen() {
    Image image;
    std::istringstream(runCommand({"xdotool", "getdisplaygeometry"}, 10s).out) >> image.width >> image.height;
    if (image.width <= 0 || image.height <= 0) return image;
    const char* display = std::getenv("DISPLAY");
    image.rgb = runCommand({"ffmpeg", "-v", "error", "-f", "x11grab", "-draw_mouse", "0", "-video_size",
                            std::to_string(image.width) + "x" + std::to_string(image.height), "-i",
                            display ? display : ":0", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                           30s)
                    .out;
    return image;
}

// Writes the image as a PNG (through a raw file and ffmpeg, which is there anyway).
inline bool savePng(const Image& image, const fs::path& png) {
    if (!image.valid()) return false;
    std::error_code ec;
    fs::create_directories(png.parent_path(), ec);
    fs::path raw = png;
    raw += ".rgb";
    std::ofstream(raw, std::ios::binary).write(image.rgb.data(), std::streamsize(image.rgb.size()));
    auto made = runCommand({"ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size",
                            std::to_string(image.width) + "x" + std::to_string(image.height), "-i", raw.string(),
                            "-frames:v", "1", png.string()},
                           30s);
    fs::remove(raw, ec);
    return made.exitCode == 0;
}

}  // namespace gui
