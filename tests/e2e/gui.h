// Driving the real desktop program on a private X server (run_gui_test.sh): the program observed
// through what it prints, keys and clicks sent with xdotool, GTK choosers answered by typing, and
// screenshots read back as pixels. Every wait is bounded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/live_headless.h"

bool askWindowToClose(const std::string& windowId);  // x11_helpers.cpp: what a window manager sends

namespace gui {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Program = tamo::test::LiveHeadless;

const std::string kLog = "📋 JS[log]: ";

// Runs argv through the shell with a deadline (`timeout`); its exit code and standard output.
inline std::pair<int, std::string> run(const std::vector<std::string>& argv, int seconds = 60) {
    std::string command = "timeout -s KILL " + std::to_string(seconds);
    for (const auto& a : argv) {
        command += " '";
        for (char c : a) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'";
    }
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, out};
    char buf[1 << 16];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
inline bool xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return run(args, 15).first == 0;
}
inline bool key(const std::string& keys) { return xdotool({"key", "--clearmodifiers", keys}); }

inline std::string readFile(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}
inline void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder for one test; its user folders keep the page's storage and settings inside it.
struct TestFolder {
    fs::path dir;
    explicit TestFolder(const std::string& tag) {
        std::string pattern = (fs::temp_directory_path() / ("tamo_gui_" + tag + "_XXXXXX")).string();
        if (mkdtemp(pattern.data())) dir = pattern;
    }
    ~TestFolder() {
        if (!::testing::Test::HasFailure()) fs::remove_all(dir);
    }
    std::map<std::string, std::string> env(const fs::path& resources) const {
        return {{"TAMO_RESOURCE_DIR", resources.string()},
                {"XDG_DATA_HOME", dir / "xdg-data"},
                {"XDG_CONFIG_HOME", dir / "xdg-config"},
                {"XDG_CACHE_HOME", dir / "xdg-cache"}};
    }
};

// A folder in the user's home that the program did not know at start: hidden, so no sandbox mount
// covers it; made once the program runs, removed at the end.
struct HiddenHomeFolder {
    fs::path path;
    HiddenHomeFolder() {
        std::string pattern = (fs::path(std::getenv("HOME") ? std::getenv("HOME") : "/tmp") / ".tamo-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~HiddenHomeFolder() { fs::remove_all(path); }
};

// A clip of one flat colour (or the moving test picture) with a 440 Hz tone.
inline bool makeClip(const fs::path& file, const std::string& picture, int seconds, bool withSound = true) {
    const std::string d = ":d=" + std::to_string(seconds);
    std::vector<std::string> argv{"ffmpeg", "-v", "error", "-f", "lavfi", "-i", picture + ":r=25" + d};
    if (withSound) argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=f=440" + d, "-c:a", "aac", "-shortest"});
    argv.insert(argv.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-y", file.string()});
    return run(argv, 120).first == 0;
}

// The first visible window whose title matches, looking until the timeout.
inline std::string findWindow(const std::string& titleRegex, std::chrono::seconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (std::string id;; std::this_thread::sleep_for(200ms)) {
        if (std::istringstream(run({"xdotool", "search", "--onlyvisible", "--name", titleRegex}, 10).second) >> id)
            return id;
        if (Clock::now() >= deadline) return {};
    }
}
inline bool windowGone(const std::string& titleRegex, std::chrono::seconds timeout) {
    for (auto until = Clock::now() + timeout; !findWindow(titleRegex, 0s).empty(); std::this_thread::sleep_for(200ms))
        if (Clock::now() >= until) return false;
    return true;
}
inline std::string editorWindow() { return findWindow("^Tamo Video Editor$", 30s); }
// Waits for the window with exactly this title and gives it the keyboard.
inline bool focus(const std::string& title) {
    std::string window = findWindow("^" + title + "$", 30s);
    bool focused = !window.empty() && xdotool({"windowfocus", "--sync", window});
    std::this_thread::sleep_for(400ms);
    return focused;
}

// Answers a GTK chooser like a user: focus it, type the path into its location field (Ctrl+L in
// the open chooser; the save chooser's name field has the focus, where Ctrl+A replaces the proposed
// name) and press Return. Keys sent before the chooser has taken the focus can be lost: while it
// stays open, the answer is typed again.
inline bool answerChooser(const std::string& title, const fs::path& path, bool save) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!focus(title)) return false;
        if (!save) key("ctrl+l");
        std::this_thread::sleep_for(200ms);
        key("ctrl+a");
        xdotool({"type", "--delay", "15", path.string()});
        std::this_thread::sleep_for(300ms);
        key("Return");
        if (windowGone("^" + title + "$", 8s)) return true;
    }
    return false;
}

inline std::string dump(const Program& program) {
    std::string text;
    for (const auto& l : program.lines()) text += "  | " + l.substr(0, 300) + "\n";
    return text;
}
inline bool anyContains(Program& program, const std::string& part) {
    return program.waitFor([&](const std::string& l) { return l.find(part) != std::string::npos; }, 0ms);
}

}  // namespace gui
