// Which folders the web process may read local media from.
#include "app/sandbox_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace tamo {
namespace {

namespace fs = std::filesystem;

class SandboxPaths : public ::testing::Test {
protected:
    SandboxPaths() {
        root_ = fs::temp_directory_path() / ("tamo_sandbox_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        for (const char* d : {"usr/lib", "etc", "proc", "sys", "dev", "var", "root", "run/media/usb", "tmp",
                              "media/disk", "data/videos", "opt", "home/user/Videos", "home/user/.ssh",
                              "home/user/Work projects", "home/other/Videos"})
            fs::create_directories(root_ / d);
        std::ofstream(root_ / "home/user/clip.mp4") << "x";
        std::ofstream(root_ / "loose-file") << "x";
    }
    ~SandboxPaths() override { fs::remove_all(root_); }
    fs::path root_;
};

TEST_F(SandboxPaths, UserDataFoldersButNotTheSystemNorHiddenOnes) {
    auto paths = sandboxReadPaths(root_, root_ / "home/user", root_ / "tmp");
    std::vector<fs::path> expected = {root_ / "data",
                                      root_ / "home/user/Videos",
                                      root_ / "home/user/Work projects",
                                      root_ / "media",
                                      root_ / "opt",
                                      root_ / "run/media",
                                      root_ / "tmp"};
    EXPECT_EQ(paths, expected);
}

TEST_F(SandboxPaths, MissingOrUnusableInputsGiveWhatExists) {
    auto paths = sandboxReadPaths(root_, root_ / "no-such-home", root_ / "no-such-tmp");
    std::vector<fs::path> expected = {root_ / "data", root_ / "media", root_ / "opt", root_ / "run/media"};
    EXPECT_EQ(paths, expected);
    // A home or temporary folder that is the root itself would open everything: left out.
    paths = sandboxReadPaths(root_ / "home/user", root_ / "home/user", root_ / "home/user");
    expected = {root_ / "home/user/Videos", root_ / "home/user/Work projects"};
    EXPECT_EQ(paths, expected);
}

}  // namespace
}  // namespace tamo
