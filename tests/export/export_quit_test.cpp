// tamovid-headless asked to stop (SIGTERM) in the middle of an export: the frame loop is
// cancelled, its temporary video removed, the earlier file under the chosen name stays byte for
// byte, and the program ends within about a second by itself (status 128 + 15).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "media_test_support.h"
#include "support/headless_runner.h"
#include "support/live_headless.h"

namespace tamo::test {
namespace {

using namespace std::chrono_literals;

bool startsWith(const std::string& line, const std::string& prefix) { return line.rfind(prefix, 0) == 0; }

TEST(ExportQuit, ASignalDuringAnExportLeavesTheFolderAsItWas) {
    TempDir dir;
    // Long enough that the export still runs when the signal comes.
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=640x360:r=25:d=40 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                       (dir / "long.mp4").string()));
    auto out = dir / "out";
    std::filesystem::create_directories(out);
    // The earlier export under the chosen name.
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=blue:s=64x64:r=10:d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                       (out / "keep.mp4").string()));
    const std::string before = readFile(out / "keep.mp4");

    LiveHeadless program;
    ASSERT_TRUE(program.send(choose((dir / "long.mp4").string())));
    ASSERT_TRUE(program.send(swift("openVideo")));
    ASSERT_TRUE(program.send(choose((out / "keep.mp4").string())));
    ASSERT_TRUE(program.send(swift("exportVideo", nlohmann::json::object())));
    // Frames are being written: the temporary video exists now.
    ASSERT_TRUE(program.waitFor(
        [](const std::string& l) { return startsWith(l, "JS> onExportProgress(") && l != "JS> onExportProgress(0)"; },
        60s));
    auto signalled = std::chrono::steady_clock::now();
    program.signal(SIGTERM);
    auto status = program.waitForExit(20s);
    auto took = std::chrono::steady_clock::now() - signalled;
    ASSERT_TRUE(status.has_value()) << "still running after SIGTERM during an export";
    EXPECT_EQ(*status, 128 + SIGTERM);
    EXPECT_LT(took, 3s) << "the quit should take about a second at most";

    for (const auto& line : program.lines()) {
        EXPECT_NE(line, "JS> onExportComplete()") << "the export finished before the signal";
        EXPECT_FALSE(startsWith(line, "tamovid-headless: background work did not end in time")) << line;
    }
    EXPECT_EQ(fileNames(out), std::vector<std::string>{"keep.mp4"});
    EXPECT_TRUE(readFile(out / "keep.mp4") == before);
}

}  // namespace
}  // namespace tamo::test
