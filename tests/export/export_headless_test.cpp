// The export driven through the real tamovid-headless, as the page drives it.
#include <gtest/gtest.h>

#include "media_test_support.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

using nlohmann::json;

bool openVideoAvailable(const HeadlessResult& r) {
    for (const auto& l : r.logLines())
        if (l.find("Not implemented yet: openVideo") != std::string::npos) return false;
    return true;
}

TEST(ExportHeadless, WithoutAVideoOnlyTheErrorIsSent) {
    auto r = runHeadless({swift("exportVideo", {{"cropPreset", "1:1"}}), idle()});
    EXPECT_EQ(r.scriptCalls(), std::vector<std::string>{"onExportError('Nincs videó betöltve!')"});
    EXPECT_TRUE(r.withPrefix("CHOOSER> ").empty());
}

TEST(ExportHeadless, OpenedVideoIsExportedWithItsProgress) {
    TempDir dir;
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=s=320x180:r=25:d=1 -f lavfi -i sine=f=440:d=1 -pix_fmt yuv420p "
               "-c:v libx264 -preset ultrafast -c:a aac -shortest " +
               (dir / "holiday.mov").string()));
    auto output = dir / "out" / "holiday_text.mp4";
    std::filesystem::create_directories(output.parent_path());
    auto r = runHeadless({choose((dir / "holiday.mov").string()), swift("openVideo"), idle(), choose(output.string()),
                          swift("exportVideo", {{"cropPreset", "9:16"}, {"textObjects", json::array()}}), idle()});
    if (!openVideoAvailable(r)) GTEST_SKIP() << "openVideo is not part of this build yet";

    auto choosers = r.withPrefix("CHOOSER> ");
    ASSERT_EQ(choosers.size(), 2u);
    auto save = json::parse(choosers[1]);
    EXPECT_EQ(save["kind"], "save");
    EXPECT_EQ(save["title"], "Videó exportálása");
    EXPECT_EQ(save["suggestedName"], "holiday_text.mp4");
    EXPECT_EQ(save["extensions"], json::array({"mp4"}));

    std::vector<std::string> exportCalls;
    for (const auto& c : r.scriptCalls())
        if (c.rfind("onExport", 0) == 0) exportCalls.push_back(c);
    ASSERT_EQ(exportCalls.size(), 25u + 3u);  // 0, one per frame, 95, complete
    EXPECT_EQ(exportCalls.front(), "onExportProgress(0)");
    EXPECT_EQ(exportCalls[exportCalls.size() - 2], "onExportProgress(95)");
    EXPECT_EQ(exportCalls.back(), "onExportComplete()");
    EXPECT_TRUE(r.hasLine("✅ Export complete: " + output.string()));

    auto video = decodeVideo(output, false);
    EXPECT_EQ(video.width, 100);
    EXPECT_EQ(video.height, 180);
    EXPECT_EQ(video.times.size(), 25u);
    EXPECT_TRUE(video.hasAudio);
    EXPECT_EQ(fileNames(output.parent_path()), std::vector<std::string>{"holiday_text.mp4"});
}

}  // namespace
}  // namespace tamo::test
