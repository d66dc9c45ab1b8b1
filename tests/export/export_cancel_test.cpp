// Stopping a running export: the earlier output stays byte for byte, no temporary video remains,
// and the page hears "onExportCancelled()" instead of an error or a completion.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "export/export_run.h"
#include "export/transcoder.h"
#include "media_test_support.h"
#include "support/fakes.h"

namespace tamo::test {
namespace {

using nlohmann::json;

class RecordingLauncher : public Launcher {
public:
    void openWithDefaultHandler(const std::filesystem::path& target) override { opened.push_back(target); }
    std::vector<std::filesystem::path> opened;
};

class ExportCancel : public ::testing::Test {
protected:
    static inline TempDir* fixtures = nullptr;
    static void SetUpTestSuite() {
        fixtures = new TempDir();
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=4 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                           (*fixtures / "src.mp4").string()));
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }

    TempDir out;
    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
    FakeApp fake;

    void SetUp() override {
        fake.app = std::make_shared<AppDelegate>(
            PlatformServices{fake.queue, fake.dialogs, std::make_shared<BackgroundWork>(), launcher});
        fake.app->webView = fake.page;
        fake.app->mainWindow = fake.window;
    }

    void waitForWork() { ASSERT_TRUE(settle(fake, std::chrono::seconds(120))) << "export did not end"; }
};

// Part-way through the frames: the flag is raised from the progress report of the third frame,
// so the loop stops at a known place without any timing.
TEST_F(ExportCancel, FrameLoopStopsAtTheNextFrameAndRemovesItsTemporaryVideo) {
    ExportInputs in;
    in.videoURL = *fixtures / "src.mp4";
    in.outputURL = out / "clip.mp4";
    auto prepared = prepareExport(in);
    ASSERT_TRUE(prepared) << prepared.error();
    auto temp = (*prepared)->tempVideo;
    ASSERT_TRUE(std::filesystem::exists(temp));

    std::atomic<bool> cancel{false};
    int reports = 0;
    auto status = runFrameLoop(
        **prepared,
        [&](int) {
            if (++reports == 3) cancel = true;
        },
        &cancel);
    EXPECT_TRUE(status.cancelled());
    EXPECT_EQ(reports, 3);  // no frame is read after the flag is seen
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_TRUE(fileNames(out.path()).empty());
}

TEST_F(ExportCancel, CancelKeepsTheEarlierOutputAndAnswersCancelled) {
    auto output = out / "keep.mp4";
    // A real earlier export sits at the chosen place.
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=blue:s=64x64:r=10:d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                       output.string()));
    const std::string before = readFile(output);
    ASSERT_FALSE(before.empty());

    fake.app->currentVideoURL = *fixtures / "src.mp4";
    fake.dialogs->answers.push_back(output);
    fake.app->exportVideo(json::object());
    // The chooser answered at once and the export thread is starting: stop it right away.
    fake.app->cancelExport();
    waitForWork();

    const auto& calls = fake.page->calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportCancelled()");
    for (const auto& c : calls) {
        EXPECT_EQ(c.find("onExportComplete"), std::string::npos);
        EXPECT_EQ(c.find("onExportError"), std::string::npos);
    }
    EXPECT_TRUE(readFile(output) == before);
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});

    // Nothing was exported, so there is nothing to open.
    fake.app->openExportResult("video");
    fake.app->openExportResult("folder");
    EXPECT_TRUE(launcher->opened.empty());
}

TEST_F(ExportCancel, AfterSuccessOnlyTheExportedFileAndItsFolderOpen) {
    auto output = out / "done.mp4";
    fake.app->currentVideoURL = *fixtures / "src.mp4";
    fake.dialogs->answers.push_back(output);
    fake.app->exportVideo(json::object());
    waitForWork();
    ASSERT_FALSE(fake.page->calls.empty());
    ASSERT_EQ(fake.page->calls.back(), "onExportComplete()");

    // A cancel after the end changes nothing.
    fake.app->cancelExport();
    EXPECT_TRUE(std::filesystem::is_regular_file(output));

    fake.app->openExportResult("video");
    fake.app->openExportResult("folder");
    ASSERT_EQ(launcher->opened.size(), 2u);
    EXPECT_EQ(launcher->opened[0], output);
    EXPECT_EQ(launcher->opened[1], out.path());

    // Once the file is gone, asking to play it opens nothing.
    std::filesystem::remove(output);
    fake.app->openExportResult("video");
    EXPECT_EQ(launcher->opened.size(), 2u);
}

}  // namespace
}  // namespace tamo::test
