// The real desktop program on a private X server: its standard output (start-up line, relayed
// console, native log lines), keyboard shortcuts sent with xdotool, a mouse click on a web link,
// and a screenshot of the screen. Run through run_gui_test.sh (xvfb-run). Every wait is bounded
// and the program is always killed at the end.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gui_program.h"

// What a window manager sends when the user closes a window (x11_helpers.cpp).
bool askWindowToClose(const std::string& windowId);
bool windowMinimumSize(const std::string& windowId, int& width, int& height);

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using gui::editorEnvironment;
using gui::makeTempDir;
using gui::readFile;
using gui::runCommand;
using gui::xdotool;
using Tamovid = gui::Program;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The id of the editor's window, waiting for it to appear.
std::string findEditorWindow(std::chrono::seconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        std::istringstream ids(runCommand({"xdotool", "search", "--name", "^Tamo Video Editor$"}, 10s).out);
        std::string id;
        if (ids >> id) return id;
        std::this_thread::sleep_for(200ms);
    }
    return {};
}

const std::string kStartup = "🚀 TamoVideoEditor starting...";
const std::string kReady = "📋 JS[log]: e2e page ready";

// The editor with the test page (tests/e2e/pages) as its editor page, a small video elsewhere on
// disk and a stand-in "default browser" that writes the addresses it is asked to open into a file.
class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
        dir_ = makeTempDir("editor");
        ASSERT_FALSE(dir_.empty());
        fs::copy(E2E_PAGES_DIR, dir_ / "res", fs::copy_options::recursive);
        fs::create_directories(dir_ / "media");
        auto ff = runCommand({"ffmpeg",
                              "-v",
                              "error",
                              "-f",
                              "lavfi",
                              "-i",
                              "testsrc2=s=160x90:r=25:d=1",
                              "-f",
                              "lavfi",
                              "-i",
                              "sine=f=440:d=1",
                              "-c:v",
                              "libx264",
                              "-pix_fmt",
                              "yuv420p",
                              "-c:a",
                              "aac",
                              "-shortest",
                              "-y",
                              (dir_ / "media/clip.mp4").string()},
                             60s);
        ASSERT_EQ(ff.exitCode, 0) << "ffmpeg could not make the test clip";

        // A desktop with a default browser for http and https that only records its argument.
        fs::path browser = dir_ / "fake-browser.sh";
        writeFile(browser, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (dir_ / "browser-opened.txt").string() + "'\n");
        fs::permissions(browser, fs::perms::owner_all);
        writeFile(dir_ / "xdg-data/applications/fake-browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Fake Browser\nExec=" + browser.string() +
                      " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\nNoDisplay=true\n");
        writeFile(dir_ / "xdg-config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/http=fake-browser.desktop\n"
                  "x-scheme-handler/https=fake-browser.desktop\n");

        program_ = new Tamovid(TAMOVID_BIN, editorEnvironment(dir_ / "res", dir_), dir_, dir_ / "stderr.txt");
        bool ready = program_->waitForLine(kReady, 90s);
        ASSERT_TRUE(ready) << "the test page never became ready; output:\n"
                           << program_->dump() << "stderr:\n"
                           << readFile(dir_ / "stderr.txt").substr(0, 4000);

        window_ = findEditorWindow(15s);
        ASSERT_FALSE(window_.empty()) << "no window titled \"Tamo Video Editor\"";
        ASSERT_TRUE(xdotool({"windowfocus", "--sync", window_}));
    }

    static void TearDownTestSuite() {
        delete program_;  // kills it if it is still running
        program_ = nullptr;
        if (!dir_.empty() && !::testing::UnitTest::GetInstance()->Failed()) fs::remove_all(dir_);
    }

    void SetUp() override {
        ASSERT_NE(program_, nullptr);
        ASSERT_TRUE(program_->running()) << "the program ended early; output:\n" << program_->dump();
    }

    static Tamovid& program() { return *program_; }
    static bool key(const std::string& keys) { return xdotool({"key", "--clearmodifiers", keys}); }

    static inline fs::path dir_;
    static inline Tamovid* program_ = nullptr;
    static inline std::string window_;
};

TEST_F(EditorWindow, StartupLineComesFirst) {
    auto lines = program().lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), kStartup);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStartup), 1);
}

TEST_F(EditorWindow, ConsoleCallsAreRelayedWithTheirPrefixes) {
    EXPECT_TRUE(program().has(R"(📋 JS[log]: hello {"a":1})")) << program().dump();
    EXPECT_TRUE(program().has("⚠️ JS[warn]: low disk 3"));
    EXPECT_TRUE(program().has("❌ JS[error]: boom"));
    EXPECT_FALSE(program().anyContains("info is not relayed"));
    // The console script is injected into frames too.
    EXPECT_TRUE(program().waitForLine("📋 JS[log]: from frame", 20s));
}

TEST_F(EditorWindow, UncaughtErrorAndUnhandledRejectionAreRelayed) {
    EXPECT_TRUE(program().has("❌ JS[error]: Promise: nope")) << program().dump();
    EXPECT_TRUE(program().waitFor(
        [](const std::string& l) {
            return l.rfind("❌ JS[error]: Uncaught: ", 0) == 0 && l.find("undefinedFunctionCall") != std::string::npos;
        },
        5s))
        << program().dump();
}

TEST_F(EditorWindow, UnknownActionIsLogged) { EXPECT_TRUE(program().has("⚠️ Unknown action: noSuchAction")); }

TEST_F(EditorWindow, GarbagePostsNeitherCrashNorBlock) {
    // Everything posted after the garbage still arrives, in order, and the program is alive.
    auto lines = program().lines();
    auto after = std::find(lines.begin(), lines.end(), "📋 JS[log]: after garbage");
    ASSERT_NE(after, lines.end()) << program().dump();
    auto big = std::find_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("📋 JS[log]: yyy", 0) == 0; });
    ASSERT_NE(big, lines.end());
    EXPECT_EQ(big->size(), std::string("📋 JS[log]: ").size() + 1024 * 1024);
    EXPECT_LT(big - lines.begin(), after - lines.begin());
    // None of the garbage bodies became a log line of its own: only the two the page meant.
    EXPECT_FALSE(program().anyContains("JS[debug]"));
    EXPECT_FALSE(program().anyContains("Unknown action: 12"));
    EXPECT_TRUE(program().running());
}

TEST_F(EditorWindow, LocalVideoElsewhereOnDiskPlaysWithoutGesture) {
    EXPECT_TRUE(program().waitForLine("📋 JS[log]: video loaded 160x90", 20s)) << program().dump();
    EXPECT_TRUE(program().waitForLine("📋 JS[log]: video playing", 20s)) << program().dump();
    EXPECT_FALSE(program().anyContains("video error"));
}

TEST_F(EditorWindow, WindowShowsThePage) {
    auto geometry = runCommand({"xdotool", "getdisplaygeometry"}, 10s);
    int width = 0, height = 0;
    std::istringstream(geometry.out) >> width >> height;
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    auto shot = runCommand(
        {"ffmpeg", "-v", "error", "-f", "x11grab", "-video_size", std::to_string(width) + "x" + std::to_string(height),
         "-i", std::getenv("DISPLAY"), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
        30s);
    ASSERT_EQ(shot.out.size(), static_cast<std::size_t>(width) * height * 3) << "screenshot failed";

    // The test page paints a red link block over a blue body with white and yellow text.
    auto near = [](const unsigned char* p, int r, int g, int b) {
        return std::abs(p[0] - r) < 12 && std::abs(p[1] - g) < 12 && std::abs(p[2] - b) < 12;
    };
    std::size_t blue = 0, red = 0, pixels = static_cast<std::size_t>(width) * height;
    std::set<int> colours;
    for (std::size_t i = 0; i < pixels; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(shot.out.data()) + 3 * i;
        blue += near(p, 0x20, 0x50, 0xa0);
        red += near(p, 0xc0, 0x30, 0x30);
        colours.insert((p[0] << 16) | (p[1] << 8) | p[2]);
    }
    EXPECT_GT(blue, pixels / 4) << "blue share " << double(blue) / pixels;
    EXPECT_GT(red, pixels / 8) << "red share " << double(red) / pixels;
    EXPECT_GT(colours.size(), 50u) << "too few colours: no text drawn";
}

TEST_F(EditorWindow, WindowCoversTheScreenAndKeepsItsMinimumSize) {
    // Xvfb has no panels: the usable area is the whole 1280×800 screen.
    auto geometry = runCommand({"xdotool", "getwindowgeometry", window_}, 10s).out;
    EXPECT_NE(geometry.find("Geometry: 1280x800"), std::string::npos) << geometry;
    int width = 0, height = 0;
    ASSERT_TRUE(windowMinimumSize(window_, width, height));
    EXPECT_EQ(width, 960);
    EXPECT_EQ(height, 600);
}

TEST_F(EditorWindow, ExportShortcutReachesThePage) {
    ASSERT_TRUE(key("ctrl+e"));
    EXPECT_TRUE(program().waitForCount("📋 JS[log]: triggerExport reached", 1, 20s)) << program().dump();
}

TEST_F(EditorWindow, EditingShortcutsActOnThePageFieldAndSaveAsksThePage) {
    // The page focused field a ("copy me"); select all, copy, go to the empty field b, paste, then
    // Ctrl+S makes the page report both fields.
    for (const char* k : {"ctrl+a", "ctrl+c", "Tab", "ctrl+v", "ctrl+s"}) ASSERT_TRUE(key(k));
    EXPECT_TRUE(program().waitForLine("📋 JS[log]: fields: copy me|copy me", 20s)) << program().dump();
}

TEST_F(EditorWindow, NavigationAwayFromTheEditorIsRefused) {
    std::string hostile = "file://" + (dir_ / "res/hostile.html").string();
    EXPECT_TRUE(program().has("⚠️ Navigation refused: " + hostile)) << program().dump();
    EXPECT_TRUE(program().has("⚠️ Navigation refused: https://example.com/scripted-location"));
    EXPECT_FALSE(program().anyContains("HOSTILE PAGE LOADED"));
    EXPECT_FALSE(program().anyContains("hostileAction"));
}

TEST_F(EditorWindow, ClickedWebLinkOpensInTheBrowserAndThePageStays) {
    // The link block fills the top of the page, below the menu bar.
    ASSERT_TRUE(xdotool({"mousemove", "--window", window_, "400", "200", "click", "1"}));
    fs::path opened = dir_ / "browser-opened.txt";
    auto deadline = Clock::now() + 20s;
    while (Clock::now() < deadline && readFile(opened).find('\n') == std::string::npos)
        std::this_thread::sleep_for(100ms);
    // Only the clicked address: the script's own attempts (no user gesture) opened nothing.
    EXPECT_EQ(readFile(opened), "https://example.com/clicked\n") << program().dump();
    EXPECT_FALSE(program().anyContains("Could not open in the browser"));

    ASSERT_TRUE(xdotool({"windowfocus", "--sync", window_}));
    ASSERT_TRUE(key("ctrl+e"));
    EXPECT_TRUE(program().waitForCount("📋 JS[log]: triggerExport reached", 2, 20s)) << program().dump();
    EXPECT_FALSE(program().anyContains("HOSTILE PAGE LOADED"));
}

TEST_F(EditorWindow, CtrlQQuits) {
    ASSERT_TRUE(key("ctrl+q"));
    auto code = program().waitForExit(20s);
    ASSERT_TRUE(code.has_value()) << "still running after Ctrl+Q";
    EXPECT_EQ(*code, 0);
}

// Start-up with an unusual resource situation; each case runs its own short-lived program.
class EditorStartup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
        dir_ = makeTempDir("startup");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_F(EditorStartup, MissingEditorPageIsLoggedAndTheWindowStaysUp) {
    fs::create_directories(dir_ / "empty");
    Tamovid program(TAMOVID_BIN, {{"TAMO_RESOURCE_DIR", (dir_ / "empty").string()}}, dir_, dir_ / "stderr.txt");
    std::string expected = "❌ Editor page not found: " + (dir_ / "empty/editor.html").string();
    ASSERT_TRUE(program.waitForLine(expected, 60s)) << program.dump();
    auto lines = program.lines();
    EXPECT_EQ(lines.front(), kStartup);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1);
    // The window is there, empty, and the program keeps running.
    EXPECT_FALSE(findEditorWindow(30s).empty()) << "no window";
    EXPECT_TRUE(program.running());
}

TEST_F(EditorStartup, ExecutableAloneLoadsResourcesUnderTheWorkingDirectory) {
    // A copy of the executable in a folder with neither "resources" nor "../share/tamovid".
    fs::create_directories(dir_ / "alone/bin");
    fs::copy_file(TAMOVID_BIN, dir_ / "alone/bin/tamovid");
    fs::permissions(dir_ / "alone/bin/tamovid", fs::perms::owner_all);
    writeFile(dir_ / "work/Resources/editor.html",
              "<!DOCTYPE html><html><body><script>console.log('fallback page from ' + "
              "location.pathname);</script></body></html>");
    Tamovid program(dir_ / "alone/bin/tamovid", {{"TAMO_RESOURCE_DIR", ""}}, dir_ / "work", dir_ / "stderr.txt");
    std::string expected = "📋 JS[log]: fallback page from " + (dir_ / "work/Resources/editor.html").string();
    EXPECT_TRUE(program.waitForLine(expected, 60s)) << program.dump() << readFile(dir_ / "stderr.txt").substr(0, 3000);
}

TEST_F(EditorStartup, ClosingTheWindowQuits) {
    writeFile(dir_ / "res/editor.html", "<!DOCTYPE html><html><body><script>console.log('up');</script></body></html>");
    Tamovid program(TAMOVID_BIN, {{"TAMO_RESOURCE_DIR", (dir_ / "res").string()}}, dir_, dir_ / "stderr.txt");
    ASSERT_TRUE(program.waitForLine("📋 JS[log]: up", 60s)) << program.dump();
    std::string window = findEditorWindow(15s);
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(askWindowToClose(window));
    auto code = program.waitForExit(20s);
    ASSERT_TRUE(code.has_value()) << "still running after its window was closed";
    EXPECT_EQ(*code, 0);
}

}  // namespace
