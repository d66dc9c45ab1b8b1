#include "export/geometry.h"
#include "export/export_params.h"
#include "export/reframe_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace tamo {
namespace {

struct GeometryCase {
    double w, h;
    const char* preset;
    OutputGeometry expected;
};

TEST(Geometry, PresetTable) {
    const std::vector<GeometryCase> cases = {
        {1920, 1080, "original", {1920, 1080, 0, 0}},
        {1920, 1080, "9:16", {607, 1080, 656, 0}},
        {1920, 1080, "1:1", {1080, 1080, 420, 0}},
        {1920, 1080, "4:5", {864, 1080, 528, 0}},
        {1920, 1080, "4:3", {1440, 1080, 240, 0}},
        {1920, 1080, "16:9", {1920, 1080, 0, 0}},
        {1080, 1920, "16:9", {1080, 607, 0, 656}},
        {1080, 1920, "1:1", {1080, 1080, 0, 420}},
        {1080, 1920, "4:5", {1080, 1350, 0, 285}},
        {1080, 1920, "4:3", {1080, 810, 0, 555}},
        {1080, 1920, "9:16", {1080, 1920, 0, 0}},
        {1280, 720, "9:16", {405, 720, 437, 0}},
        {1280, 720, "1:1", {720, 720, 280, 0}},
        // Odd sizes: truncation puts the extra pixel on the right/bottom.
        {161, 91, "1:1", {91, 91, 35, 0}},
        {91, 161, "1:1", {91, 91, 0, 35}},
        {1, 1, "9:16", {0, 1, 0, 0}},  // no minimum size: the export must cope
        // Unknown names mean no crop.
        {1920, 1080, "2:1", {1920, 1080, 0, 0}},
        {1920, 1080, "16x9", {1920, 1080, 0, 0}},
        {1920, 1080, "", {1920, 1080, 0, 0}},
        {1920, 1080, "9:16 ", {1920, 1080, 0, 0}},
        // A degenerate source never divides by zero.
        {0, 0, "9:16", {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " " + c.preset);
        EXPECT_EQ(computeGeometry(c.w, c.h, c.preset), c.expected);
    }
}

TEST(Geometry, CropCopyTakesEveryPixelFromItsWindowPosition) {
    const int sw = 37, sh = 23;
    const int stride = sw * 4 + 12;  // padded rows catch stride mix-ups
    std::vector<std::uint8_t> src(static_cast<std::size_t>(stride) * sh, 0xEE);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            std::uint8_t* p = &src[static_cast<std::size_t>(y) * stride + x * 4];
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(x * 7 + y);
            p[3] = 255;
        }
    for (const char* preset : {"9:16", "1:1", "4:5", "16:9", "original"}) {
        SCOPED_TRACE(preset);
        auto g = computeGeometry(sw, sh, preset);
        const int dstStride = g.width * 4 + 4;
        std::vector<std::uint8_t> dst(static_cast<std::size_t>(dstStride) * g.height, 0);
        copyCropWindow({src.data(), sw, sh, stride}, {dst.data(), g.width, g.height, dstStride}, g);
        for (int r = 0; r < g.height; ++r)
            for (int c = 0; c < g.width; ++c) {
                const std::uint8_t* o = &dst[static_cast<std::size_t>(r) * dstStride + c * 4];
                const std::uint8_t* s = &src[static_cast<std::size_t>(r + g.cropY) * stride + (c + g.cropX) * 4];
                ASSERT_EQ(0, std::memcmp(o, s, 4)) << "pixel " << c << "," << r;
            }
    }
}

TEST(Geometry, CropCopyNeverReadsOutsideASmallerSource) {
    // A window computed for a display size the stored frame does not have (a rotated source).
    OutputGeometry g = computeGeometry(20, 40, "1:1");  // 20x20 at y=10
    std::vector<std::uint8_t> src(40 * 4 * 20, 0x11);   // stored frame is 40x20
    std::vector<std::uint8_t> dst(20 * 4 * 20, 0);
    copyCropWindow({src.data(), 40, 20, 160}, {dst.data(), 20, 20, 80}, g);
    EXPECT_EQ(dst[0], 0x11);     // rows inside the stored frame are copied
    EXPECT_EQ(dst[80 * 19], 0);  // rows beyond it are left alone
}

TEST(Geometry, CropPositionMovesTheWindowAlongItsFreeAxisOnly) {
    // 1920 × 1080 to 9:16: 607 wide, 1313 pixels of room across.
    EXPECT_EQ(computeGeometry(1920, 1080, "9:16", 0, 50), (OutputGeometry{607, 1080, 0, 0}));
    EXPECT_EQ(computeGeometry(1920, 1080, "9:16", 25, 0), (OutputGeometry{607, 1080, 328, 0}));
    EXPECT_EQ(computeGeometry(1920, 1080, "9:16", 100, 100), (OutputGeometry{607, 1080, 1313, 0}));
    // The default and an explicit 50 are today's centred window.
    EXPECT_EQ(computeGeometry(1920, 1080, "9:16", 50, 50), computeGeometry(1920, 1080, "9:16"));
    // A portrait source moves down, never across.
    EXPECT_EQ(computeGeometry(1080, 1920, "16:9", 0, 100), (OutputGeometry{1080, 607, 0, 1313}));
    // Out of range and not finite: clamped, or the centre.
    EXPECT_EQ(computeGeometry(1920, 1080, "1:1", -40, 50), (OutputGeometry{1080, 1080, 0, 0}));
    EXPECT_EQ(computeGeometry(1920, 1080, "1:1", 1e9, 50), (OutputGeometry{1080, 1080, 840, 0}));
    EXPECT_EQ(computeGeometry(1920, 1080, "1:1", std::nan(""), 50), computeGeometry(1920, 1080, "1:1"));
    // "original" has no room to move.
    EXPECT_EQ(computeGeometry(1920, 1080, "original", 0, 100), (OutputGeometry{1920, 1080, 0, 0}));
}

TEST(Reframe, StandardSizesAndPlans) {
    EXPECT_EQ(standardSize("9:16"), (FrameSize{1080, 1920}));
    EXPECT_EQ(standardSize("1:1"), (FrameSize{1080, 1080}));
    EXPECT_EQ(standardSize("4:5"), (FrameSize{1080, 1350}));
    EXPECT_EQ(standardSize("16:9"), (FrameSize{1920, 1080}));
    EXPECT_EQ(standardSize("4:3"), (FrameSize{1440, 1080}));
    EXPECT_EQ(standardSize("original"), (FrameSize{}));

    // The defaults: the crop window at its own size, nothing scaled.
    FramePlan plain = planFrame(1920, 1080, "9:16", {});
    EXPECT_TRUE(plain.plainCrop());
    EXPECT_EQ(plain.width, 607);
    EXPECT_EQ(plain.height, 1080);

    ReframeSettings standard;
    standard.size = OutputSize::Standard;
    FramePlan scaled = planFrame(1920, 1080, "9:16", standard);
    EXPECT_FALSE(scaled.plainCrop());
    EXPECT_EQ(scaled.width, 1080);
    EXPECT_EQ(scaled.height, 1920);
    EXPECT_EQ(scaled.crop, computeGeometry(1920, 1080, "9:16"));
    EXPECT_NEAR(scaled.pixelScale(), 1920.0 / 1080, 1e-12);
    // "original" has no standard size: the source's own, unscaled.
    EXPECT_TRUE(planFrame(1280, 720, "original", standard).plainCrop());
    // A source already of the standard size is not scaled.
    EXPECT_TRUE(planFrame(1080, 1920, "9:16", standard).plainCrop());

    ReframeSettings fit = standard;
    fit.fill = FillMode::Fit;
    FramePlan fitted = planFrame(1920, 1080, "9:16", fit);
    EXPECT_EQ(fitted.fill, FillMode::Fit);
    EXPECT_EQ(fitted.fitWidth, 1080);
    EXPECT_EQ(fitted.fitHeight, 608);  // 607.5, made even
    EXPECT_EQ(fitted.fitX, 0);
    EXPECT_EQ(fitted.fitY, 656);
    // Fitted at the crop's own size: the odd width stays inside the frame.
    fit.size = OutputSize::Crop;
    FramePlan small = planFrame(1920, 1080, "9:16", fit);
    EXPECT_EQ(small.width, 607);
    EXPECT_LE(small.fitX + small.fitWidth, 607);
    EXPECT_LE(small.fitY + small.fitHeight, 1080);
    EXPECT_EQ(small.fitY % 2, 0);
    // Nothing cropped, nothing to fit.
    EXPECT_TRUE(planFrame(1920, 1080, "16:9", fit).plainCrop());
    EXPECT_TRUE(planFrame(1920, 1080, "original", fit).plainCrop());
    // A degenerate source does not divide by zero.
    FramePlan none = planFrame(0, 0, "9:16", fit);
    EXPECT_EQ(none.width, 0);
}

TEST(Reframe, ParamsReadTheOptionalKeysWithTodaysDefaults) {
    ExportParams defaults = readExportParams(nlohmann::json{{"cropPreset", "9:16"}});
    EXPECT_EQ(defaults.reframe.positionX, 50);
    EXPECT_EQ(defaults.reframe.positionY, 50);
    EXPECT_EQ(defaults.reframe.size, OutputSize::Crop);
    EXPECT_EQ(defaults.reframe.fill, FillMode::Crop);

    ExportParams set = readExportParams(nlohmann::json{{"cropPreset", "9:16"},
                                                       {"cropPositionX", 12.5},
                                                       {"cropPositionY", 80},
                                                       {"outputSize", "standard"},
                                                       {"fillMode", "fit"}});
    EXPECT_EQ(set.reframe.positionX, 12.5);
    EXPECT_EQ(set.reframe.positionY, 80);
    EXPECT_EQ(set.reframe.size, OutputSize::Standard);
    EXPECT_EQ(set.reframe.fill, FillMode::Fit);

    // Wrong types and unknown names are the defaults, never a failure.
    ExportParams odd = readExportParams(
        nlohmann::json{{"cropPositionX", "left"}, {"cropPositionY", nullptr}, {"outputSize", "huge"}, {"fillMode", 3}});
    EXPECT_EQ(odd.reframe.positionX, 50);
    EXPECT_EQ(odd.reframe.positionY, 50);
    EXPECT_EQ(odd.reframe.size, OutputSize::Crop);
    EXPECT_EQ(odd.reframe.fill, FillMode::Crop);
}

}  // namespace
}  // namespace tamo
