// Closing the window while background work runs: the work is cancelled, the program ends within
// about a second with status 0, and the user's folder holds what it held before (no temporary
// video, no half-written export). The real program on a private X server with a small test page
// that posts the page's messages itself. Run through run_gui_test.sh (xvfb-run).
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <future>

#include "editor_screen.h"

// What a window manager sends when the user closes a window (x11_helpers.cpp).
bool askWindowToClose(const std::string& windowId);

namespace {

using namespace gui;

const std::string kGaveUp = "tamovid: background work did not end in time";

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The page's answers are written to the console, which the program relays to its output.
const std::string kPageHooks = R"(
var swift = window.webkit.messageHandlers.swift;
['onUrlFetched', 'onUrlFetchedError', 'onVideoError', 'onExportComplete', 'onExportError', 'onExportCancelled']
  .forEach(function (name) { window[name] = function (x) { console.log(name + ' ' + x); }; });
window.onExportProgress = function (p) { console.log('export progress ' + p); };
window.onVideoLoaded = function () { console.log('video loaded'); swift.postMessage({action: 'exportVideo', params: {}}); };
)";

class QuitWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
        dir_ = makeTempDir("quit");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        program_.reset();
        if (!HasFailure())
            fs::remove_all(dir_);
        else
            std::printf("kept for inspection: %s\n", dir_.c_str());
    }

    void start(const std::string& script) {
        writeFile(dir_ / "res/editor.html",
                  "<!DOCTYPE html><html><body><script>" + kPageHooks + script + "</script></body></html>");
        program_ =
            std::make_unique<Program>(TAMOVID_BIN, editorEnvironment(dir_ / "res", dir_), dir_, dir_ / "stderr.txt");
    }

    // Closes the window the way a window manager does; how long the program took to end, or
    // nothing when it is still running after a generous wait.
    std::optional<std::chrono::milliseconds> closeWindow(int& status) {
        std::string window = findWindow("^Tamo Video Editor$", 15s);
        if (window.empty() || !askWindowToClose(window)) return std::nullopt;
        auto closed = Clock::now();
        auto code = program_->waitForExit(20s);
        if (!code) return std::nullopt;
        status = *code;
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - closed);
    }

    std::string context() const {
        return "output:\n" + (program_ ? program_->dump() : std::string()) + "stderr:\n" +
               readFile(dir_ / "stderr.txt").substr(0, 3000);
    }

    fs::path dir_;
    std::unique_ptr<Program> program_;
};

TEST_F(QuitWindow, ClosingDuringARequestToASilentServerEndsAtOnce) {
    std::promise<void> asked;
    std::atomic<bool> once{false};
    std::atomic<bool> over{false};
    httplib::Server server;
    server.Get("/page", [&](const httplib::Request&, httplib::Response& res) {
        if (!once.exchange(true)) asked.set_value();
        for (int i = 0; i < 1200 && !over; ++i) std::this_thread::sleep_for(50ms);  // silent until the test ends
        res.set_content("late", "text/html");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    struct Stop {
        httplib::Server& server;
        std::atomic<bool>& over;
        std::thread& serving;
        ~Stop() {
            over = true;
            server.stop();
            serving.join();
        }
    } stop{server, over, serving};

    start("swift.postMessage({action: 'fetchUrl', params: {url: 'http://127.0.0.1:" + std::to_string(port) +
          "/page'}}); console.log('asked');");
    ASSERT_TRUE(program_->waitForLine("📋 JS[log]: asked", 60s)) << context();
    ASSERT_EQ(asked.get_future().wait_for(30s), std::future_status::ready)
        << "the request never arrived; " << context();

    int status = -1;
    auto took = closeWindow(status);
    ASSERT_TRUE(took) << "still running after its window was closed; " << context();
    EXPECT_EQ(status, 0);
    EXPECT_LT(took->count(), 3000) << "the quit should take about a second at most";
    EXPECT_FALSE(program_->anyContains("onUrlFetched")) << context();
    EXPECT_EQ(readFile(dir_ / "stderr.txt").find(kGaveUp), std::string::npos)
        << "the request did not end with its flag";
}

// Needs the export to run through the program's BackgroundWork (its frame loop reading the
// worker's cancel flag and removing its temporary files when it stops).
TEST_F(QuitWindow, ClosingDuringAnExportLeavesTheFolderAsItWas) {
    // A clip long enough that the export is still running when the window closes.
    fs::create_directories(dir_ / "media");
    fs::path clip = dir_ / "media/long.mp4";
    auto made = runCommand({"ffmpeg",
                            "-v",
                            "error",
                            "-f",
                            "lavfi",
                            "-i",
                            "testsrc2=s=640x360:r=25:d=40",
                            "-f",
                            "lavfi",
                            "-i",
                            "sine=f=440:d=40",
                            "-c:v",
                            "libx264",
                            "-preset",
                            "ultrafast",
                            "-pix_fmt",
                            "yuv420p",
                            "-c:a",
                            "aac",
                            "-shortest",
                            "-y",
                            clip.string()},
                           120s);
    ASSERT_EQ(made.exitCode, 0) << "ffmpeg could not make the clip";
    fs::path out = dir_ / "out";
    writeFile(out / "earlier.mp4", "an earlier export, kept as it is");

    start("swift.postMessage({action: 'openVideo'}); console.log('asked');");
    ASSERT_TRUE(program_->waitForLine("📋 JS[log]: asked", 60s)) << context();
    ASSERT_TRUE(answerChooser("Videó megnyitása", clip, false)) << "could not drive the open chooser; " << context();
    ASSERT_TRUE(program_->waitForLine("📋 JS[log]: video loaded", 60s)) << context();
    ASSERT_TRUE(answerChooser("Videó exportálása", out / "new.mp4", true))
        << "could not drive the save chooser; " << context();
    // Frames are being written: the temporary video exists now.
    ASSERT_TRUE(program_->waitFor(
        [](const std::string& l) {
            return l.rfind("📋 JS[log]: export progress ", 0) == 0 && l != "📋 JS[log]: export progress 0";
        },
        60s))
        << context();

    int status = -1;
    auto took = closeWindow(status);
    ASSERT_TRUE(took) << "still running after its window was closed; " << context();
    EXPECT_EQ(status, 0);
    EXPECT_LT(took->count(), 3000) << "the quit should take about a second at most";
    EXPECT_FALSE(program_->anyContains("onExportComplete")) << "the export finished before the window closed";
    EXPECT_EQ(namesIn(out), std::vector<std::string>{"earlier.mp4"});
    EXPECT_EQ(readFile(out / "earlier.mp4"), "an earlier export, kept as it is");
    EXPECT_EQ(readFile(dir_ / "stderr.txt").find(kGaveUp), std::string::npos)
        << "the export did not stop with its flag";
}

}  // namespace
