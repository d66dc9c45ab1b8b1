// The GTK choosers, driven like a user would (xdotool on a private X server): the answer arrives
// once, on the main loop, with the chosen path, the suggested name, or nothing when cancelled.
#include "platform/gtk/gtk_dialogs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tamo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs xdotool with its arguments; false on failure or after 20 s.
bool xdotool(const std::vector<std::string>& args) {
    std::string command = "timeout 20 xdotool";
    for (const auto& a : args) command += " '" + a + "'";
    return std::system(command.c_str()) == 0;
}

class Chooser : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_set_prgname("tamovid-chooser-test");
        ASSERT_TRUE(gtk_init_check()) << "run through run_gui_test.sh (xvfb-run)";
    }

    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tamo_chooser_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Shows the chooser, plays the keys into it from another thread, runs the loop until answered.
    // On a loaded machine a key can come before the chooser is ready for it (the location field not
    // yet open); keys that can safely be played again are, when no answer came within a few seconds.
    void run(bool save, const ChooserOptions& options, std::vector<std::vector<std::string>> keys, int attempts = 1) {
        calls_ = 0;
        answer_.reset();
        auto done = [this](std::optional<fs::path> path) {
            ++calls_;
            answer_ = std::move(path);
        };
        if (save)
            dialogs_.chooseFileToSave(options, done);
        else
            dialogs_.chooseFileToOpen(options, done);

        bool driven = false;
        std::thread user([&] {
            // --sync waits until a window with the chooser's title is mapped.
            if (!xdotool({"search", "--sync", "--name", "^" + options.title + "$", "windowfocus", "--sync"})) return;
            for (int attempt = 0; attempt < attempts && calls_ == 0; ++attempt) {
                for (const auto& k : keys) {
                    std::this_thread::sleep_for(300ms);
                    if (!xdotool(k)) return;
                }
                driven = true;
                auto patience = std::chrono::steady_clock::now() + 8s;
                while (calls_ == 0 && std::chrono::steady_clock::now() < patience) std::this_thread::sleep_for(50ms);
            }
        });
        auto deadline = std::chrono::steady_clock::now() + 40s;
        while (calls_ == 0 && std::chrono::steady_clock::now() < deadline)
            g_main_context_iteration(nullptr, FALSE), std::this_thread::sleep_for(5ms);
        user.join();
        EXPECT_TRUE(driven) << "could not drive the chooser";
        // Let anything queued run: a second answer would show up here.
        for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);
    }

    fs::path dir_;
    GtkDialogs dialogs_;
    std::atomic<int> calls_{0};
    std::optional<fs::path> answer_;
};

TEST_F(Chooser, OpenAnswersWithTheTypedPath) {
    fs::path project = dir_ / "mine.tamovid";
    std::ofstream(project) << "{}";
    run(false, {"Projekt megnyitása teszt", {"tamovid"}, ""},
        {{"key", "ctrl+l"}, {"key", "ctrl+a"}, {"type", "--delay", "20", project.string()}, {"key", "Return"}}, 3);
    EXPECT_EQ(calls_.load(), 1);
    EXPECT_EQ(answer_, project);
}

TEST_F(Chooser, SaveProposesTheSuggestedName) {
    // Accepting at once takes the proposed name as it stands.
    run(true, {"Mentés teszt", {"mp4"}, "clip_text_e2e_proposal.mp4"}, {{"key", "Return"}});
    EXPECT_EQ(calls_.load(), 1);
    ASSERT_TRUE(answer_);
    EXPECT_EQ(answer_->filename(), "clip_text_e2e_proposal.mp4");
}

TEST_F(Chooser, CancelAnswersWithNothingOnce) {
    run(false, {"Mégse teszt", {"mp4", "mov"}, ""}, {{"key", "Escape"}});
    EXPECT_EQ(calls_.load(), 1);
    EXPECT_EQ(answer_, std::nullopt);
}

// The question asked before a file is replaced: Return takes the safe default (no), Alt and the
// accept button's first letter says yes; either way the answer arrives once.
class Question : public Chooser {
protected:
    std::optional<bool> ask(const std::string& title, const std::string& keys) {
        int calls = 0;
        std::optional<bool> answer;
        dialogs_.askQuestion({title, "„vázlat.tamovid” már létezik. Lecseréled?", "Csere", "Mégse"}, [&](bool yes) {
            ++calls;
            answer = yes;
        });
        bool driven = false;
        std::thread user([&] {
            if (!xdotool({"search", "--sync", "--name", "^" + title + "$", "windowfocus", "--sync"})) return;
            std::this_thread::sleep_for(300ms);
            driven = xdotool({"key", keys});
        });
        auto deadline = std::chrono::steady_clock::now() + 40s;
        while (calls == 0 && std::chrono::steady_clock::now() < deadline)
            g_main_context_iteration(nullptr, FALSE), std::this_thread::sleep_for(5ms);
        user.join();
        EXPECT_TRUE(driven) << "could not drive the question";
        for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);
        EXPECT_EQ(calls, 1);
        return answer;
    }
};

TEST_F(Question, ReturnKeepsTheFileAndTheAcceptKeyReplacesIt) {
    EXPECT_EQ(ask("Csere kérdés egy", "Return"), std::optional<bool>(false));
    EXPECT_EQ(ask("Csere kérdés kettő", "alt+c"), std::optional<bool>(true));
}

}  // namespace
}  // namespace tamo
