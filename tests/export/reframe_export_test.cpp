// Reframed exports decoded: the output's size for each output size and fill mode, where a marked
// patch of the source lands for the crop window's left, centre and right positions, and the
// blurred fill around a fitted picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "export/export_params.h"
#include "export/transcoder.h"
#include "media_test_support.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tamo::test {
namespace {

using nlohmann::json;

// Grey 320 × 180 with three 20 × 20 marks at y 80…100: white at x 10, black at x 150, dark grey
// at x 290, and a white band across the top 30 rows of x 110…210 (the centred window's top).
// For 9:16 the crop window is 101 wide with 219 pixels of room.
constexpr int kWhiteX = 10, kBlackX = 150, kDarkX = 290, kMarkY = 80, kMark = 20;

class ReframeExport : public ::testing::Test {
protected:
    static inline TempDir* fixtures = nullptr;

    static void SetUpTestSuite() {
        av_log_set_level(AV_LOG_ERROR);
        fixtures = new TempDir();
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i color=c=0x808080:s=320x180:r=25:d=0.08,"
                   "drawbox=x=10:y=80:w=20:h=20:color=white:t=fill,"
                   "drawbox=x=150:y=80:w=20:h=20:color=black:t=fill,"
                   "drawbox=x=290:y=80:w=20:h=20:color=0x404040:t=fill,"
                   "drawbox=x=110:y=0:w=100:h=30:color=white:t=fill "
                   "-pix_fmt yuv420p -c:v libx264 -qp 0 -preset ultrafast " +
                   (*fixtures / "marks.mp4").string()));
        // The same turned a quarter clockwise: 180 × 320, the marks down the middle (x 79…99).
        ASSERT_TRUE(ffmpeg("-i " + (*fixtures / "marks.mp4").string() +
                           " -vf transpose=1 -pix_fmt yuv420p -c:v libx264 -qp 0 -preset ultrafast " +
                           (*fixtures / "tall.mp4").string()));
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }

    TempDir out;

    // The first frame of a lossless export of the marks with these parameters.
    YuvPicture exportFirstFrame(const json& params, const char* source = "marks.mp4") {
        ExportInputs in;
        in.videoURL = *fixtures / source;
        in.outputURL = out / "out.mp4";
        in.params = readExportParams(params);
        in.lossless = true;
        auto prepared = prepareExport(in);
        if (!prepared) {
            ADD_FAILURE() << prepared.error();
            return {};
        }
        Outcome<> frames = runFrameLoop(**prepared, nullptr);
        EXPECT_TRUE(frames) << frames.error();
        DecodedYuv decoded = decodeYuv((*prepared)->tempVideo);
        if (!decoded.opened || decoded.frames.empty()) {
            ADD_FAILURE() << "export not decodable";
            return {};
        }
        return decoded.frames.front();
    }
};

// Mean luma of a rectangle.
double meanLuma(const YuvPicture& p, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) sum += p.lumaAt(x, y);
    return sum / std::max(1, (x1 - x0) * (y1 - y0));
}

// The largest luma step between neighbouring pixels of a rectangle.
int largestStep(const YuvPicture& p, int x0, int y0, int x1, int y1) {
    int step = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            if (x + 1 < x1) step = std::max(step, std::abs(p.lumaAt(x + 1, y) - p.lumaAt(x, y)));
            if (y + 1 < y1) step = std::max(step, std::abs(p.lumaAt(x, y + 1) - p.lumaAt(x, y)));
        }
    return step;
}

constexpr double kWhite = 235, kBlack = 16, kDark = 16 + 64 * 219.0 / 255, kGrey = 16 + 128 * 219.0 / 255;

TEST_F(ReframeExport, CropPositionPutsTheMarkedPatchWhereExpected) {
    struct Case {
        double position;
        int markX;  // the mark that must show, and its value
        double value;
        int cropX;
    };
    for (const Case& c : {Case{0, kWhiteX, kWhite, 0}, Case{50, kBlackX, kBlack, 109}, Case{100, kDarkX, kDark, 219}}) {
        SCOPED_TRACE(c.position);
        const YuvPicture p = exportFirstFrame({{"cropPreset", "9:16"}, {"cropPositionX", c.position}});
        ASSERT_EQ(p.width, 100);  // 101, less the odd column 4:2:0 cannot hold
        ASSERT_EQ(p.height, 180);
        const int x = c.markX - c.cropX;
        EXPECT_NEAR(meanLuma(p, x + 2, kMarkY + 2, x + kMark - 2, kMarkY + kMark - 2), c.value, 3);
        // Just beside the mark it is the grey background again.
        EXPECT_NEAR(meanLuma(p, x + 2, kMarkY + kMark + 4, x + kMark - 2, kMarkY + kMark + 10), kGrey, 3);
    }
}

TEST_F(ReframeExport, APortraitSourceMovesItsWindowDown) {
    // 16:9 of 180 × 320: 180 × 101 with 219 rows of room. At the top the white mark (rows 10…30),
    // at the bottom the dark one (rows 290…310 of the source), here scaled to 1920 × 1080.
    const YuvPicture top = exportFirstFrame({{"cropPreset", "16:9"}, {"cropPositionY", 0}}, "tall.mp4");
    ASSERT_EQ(top.width, 180);
    ASSERT_EQ(top.height, 100);
    EXPECT_NEAR(meanLuma(top, 81, kWhiteX + 2, 97, kWhiteX + kMark - 2), kWhite, 3);

    const YuvPicture bottom =
        exportFirstFrame({{"cropPreset", "16:9"}, {"cropPositionY", 100}, {"outputSize", "standard"}}, "tall.mp4");
    ASSERT_EQ(bottom.width, 1920);
    ASSERT_EQ(bottom.height, 1080);
    const double sx = 1920.0 / 180, sy = 1080.0 / 101;
    const int y0 = static_cast<int>((kDarkX - 219) * sy), y1 = static_cast<int>((kDarkX - 219 + kMark) * sy);
    EXPECT_NEAR(meanLuma(bottom, static_cast<int>(79 * sx) + 8, y0 + 8, static_cast<int>(99 * sx) - 8, y1 - 8), kDark,
                3);
    EXPECT_NEAR(meanLuma(bottom, static_cast<int>(79 * sx) + 8, y1 + 20, static_cast<int>(99 * sx) - 8, y1 + 60), kGrey,
                3);
}

TEST_F(ReframeExport, StandardSizeScalesTheCropAndOverlaysFollowTheOutputFrame) {
    const json bar = json::array({json{{"type", "progressbar"},
                                       {"heightPercent", 5},
                                       {"position", "bottom"},
                                       {"bgColor", "#000000"},
                                       {"bgOpacity", 100},
                                       {"color", "#000000"}}});
    const YuvPicture p = exportFirstFrame(
        {{"cropPreset", "9:16"}, {"cropPositionX", 0}, {"outputSize", "standard"}, {"textObjects", bar}});
    ASSERT_EQ(p.width, 1080);
    ASSERT_EQ(p.height, 1920);
    // The white mark (x 10…30, y 80…100 of the source) scaled by 1080 / 101 across, 1920 / 180 down.
    const double sx = 1080.0 / 101, sy = 1920.0 / 180;
    const int x0 = static_cast<int>(kWhiteX * sx), x1 = static_cast<int>((kWhiteX + kMark) * sx);
    const int y0 = static_cast<int>(kMarkY * sy), y1 = static_cast<int>((kMarkY + kMark) * sy);
    EXPECT_NEAR(meanLuma(p, x0 + 8, y0 + 8, x1 - 8, y1 - 8), kWhite, 3);
    EXPECT_NEAR(meanLuma(p, x1 + 20, y0 + 8, x1 + 60, y1 - 8), kGrey, 3);
    // The bar is 5 % of the output's height: 96 rows of 1920.
    EXPECT_NEAR(meanLuma(p, 0, 1920 - 94, 1080, 1920), kBlack, 2);
    EXPECT_NEAR(meanLuma(p, 0, 1920 - 110, 1080, 1920 - 98), kGrey, 3);
}

TEST_F(ReframeExport, FitShowsTheWholePictureOverASmoothBlurredFill) {
    const YuvPicture p = exportFirstFrame({{"cropPreset", "9:16"}, {"outputSize", "standard"}, {"fillMode", "fit"}});
    ASSERT_EQ(p.width, 1080);
    ASSERT_EQ(p.height, 1920);
    // The whole source, 1080 × 608 at y 656: all three marks are in it.
    const double s = 1080.0 / 320;
    for (auto [mx, value] : {std::pair{kWhiteX, kWhite}, std::pair{kBlackX, kBlack}, std::pair{kDarkX, kDark}}) {
        SCOPED_TRACE(mx);
        const int x0 = static_cast<int>(mx * s) + 8, x1 = static_cast<int>((mx + kMark) * s) - 8;
        const int y0 = 656 + static_cast<int>(kMarkY * s) + 8, y1 = 656 + static_cast<int>((kMarkY + kMark) * s) - 8;
        EXPECT_NEAR(meanLuma(p, x0, y0, x1, y1), value, 4);
    }
    // Above and below the picture: the enlarged crop window, blurred. Not black, and without the
    // sharp edges of the marks (which the centred window holds: the black one).
    for (auto [y0, y1] : {std::pair{0, 640}, std::pair{656 + 608 + 16, 1920}}) {
        SCOPED_TRACE(y0);
        EXPECT_GT(meanLuma(p, 0, y0, 1080, y1), kGrey - 30);
        EXPECT_LE(largestStep(p, 0, y0, 1080, y1), 6);
    }
    // It is the picture's copy, not a plain colour: the white band at the window's top (source
    // rows 0…30, 320 rows enlarged) brightens the top of the fill, the bottom stays grey.
    EXPECT_GT(meanLuma(p, 200, 60, 880, 200), kGrey + 40);
    EXPECT_NEAR(meanLuma(p, 0, 1700, 1080, 1920), kGrey, 4);
}

TEST_F(ReframeExport, FitAtTheCropsOwnSizeKeepsThatSize) {
    const YuvPicture p = exportFirstFrame({{"cropPreset", "9:16"}, {"fillMode", "fit"}});
    ASSERT_EQ(p.width, 100);
    ASSERT_EQ(p.height, 180);
    // 320 × 180 fitted into 101 wide: 56 rows from y 62; the white mark at x ≈ 3…9, y ≈ 87…93.
    EXPECT_GT(meanLuma(p, 4, 88, 8, 92), kGrey + 40);
    EXPECT_GT(meanLuma(p, 0, 0, 100, 50), kGrey - 30);
}

}  // namespace
}  // namespace tamo::test
