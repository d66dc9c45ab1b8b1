// From the page's overlay list to drawing records, and the frame's geometry: defaults, unit
// conversions, skipped entries, fonts and crop windows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "export/export_params.h"
#include "export/font_resolver.h"
#include "export/geometry.h"
#include "export/overlay_records.h"
#include "export/reframe_plan.h"

namespace tamo {
namespace {

using nlohmann::json;

OverlaySet build(const json& list, int w = 1080, int h = 1920, double preview = 400,
                 const std::map<std::string, std::filesystem::path>* images = nullptr, double scale = 1) {
    return buildOverlaySet(list, RecordContext{w, h, 20, preview, images, scale});
}

TEST(ExportRecords, DefaultsConversionsSkippedEntriesAndTheLastProgressBar) {
    const TextDrawInfo d = build(json::array({json{{"text", "Hello"}}})).texts.at(0);
    EXPECT_EQ((std::vector<double>{d.font.pixelSize, d.x, d.y, d.textWidth, d.timeEnd}),
              (std::vector<double>{96, 540, 1536, 972, 20}));
    EXPECT_DOUBLE_EQ(d.strokeWidth, 2 * 1920 / 400.0);
    EXPECT_DOUBLE_EQ(d.shadowBlur, 3 * 1920 / 400.0);
    EXPECT_EQ(d.alignment, TextAlignment::Center);
    json e = {{"type", "emoji"}, {"text", "🎉"},          {"fontSizePercent", 5},   {"strokeWidth", 2},
              {"shadowBlur", 3}, {"timeEndPercent", 50}, {"timeStartPercent", 25}, {"fontColor", "#fff"},
              {"bgOpacity", 30}, {"alignment", "right"}, {"strokeEnabled", true},  {"animationIn", "fadeIn"}};
    const TextDrawInfo t = build(json::array({e}), 1920, 1080, 540).texts.at(0);
    EXPECT_EQ((std::vector<double>{t.font.pixelSize, t.strokeWidth, t.shadowBlur, t.timeStart, t.timeEnd, t.bgOpacity}),
              (std::vector<double>{54, 4, 6, 5, 10, 0.3}));
    EXPECT_EQ(t.color, (RgbaColor{0, 15 / 255.0, 1, 1}));  // "#fff" is 0x000fff, not white
    EXPECT_EQ(t.alignment, TextAlignment::Right);
    EXPECT_EQ(build(json::array({json{{"text", "a"}, {"alignment", 7}}})).texts.at(0).alignment, TextAlignment::Center);

    // Scaled up to a standard size: blur strength and outline follow, the box margin too.
    const json list = json::array({json{{"type", "blur"}}, json{{"text", "a"}, {"strokeWidth", 2}}});
    const OverlaySet asIs = build(list, 607, 1080, 540), scaled = build(list, 1080, 1920, 540, nullptr, 1920.0 / 1080);
    EXPECT_DOUBLE_EQ(scaled.blurs.at(0).blurAmount, 15 * 1920.0 / 1080);
    EXPECT_DOUBLE_EQ(scaled.texts.at(0).strokeWidth / asIs.texts.at(0).strokeWidth, 1920.0 / 1080);
    EXPECT_DOUBLE_EQ(scaled.texts[0].boxMarginScale, 1920.0 / 1080);

    const OverlaySet set = build(json::array(
        {json{{"text", ""}}, json{{"type", "text"}}, json{{"type", "Text"}, {"text", "case matters"}},
         json{{"text", "typed default"}, {"type", 5}}, json{{"type", "blur"}, {"timeEndPercent", 50}},
         json{{"type", "progressbar"}, {"color", "#ff0000"}}, json{{"type", "image"}, {"imageId", "img_MISSING"}},
         json{{"type", "progressbar"}, {"position", "top"}, {"bgOpacity", 50}}}));
    ASSERT_EQ(set.texts.size(), 1u);
    EXPECT_EQ(set.texts[0].text, "typed default");
    const BlurDrawInfo& b = set.blurs.at(0);
    EXPECT_EQ((std::vector<double>{b.xPercent, b.yPercent, b.widthPercent, b.heightPercent, b.blurAmount, b.timeEnd}),
              (std::vector<double>{50, 50, 20, 15, 15, 10}));
    EXPECT_TRUE(set.images.empty());
    ASSERT_TRUE(set.progressBar);
    EXPECT_EQ(set.progressBar->position, "top");
    EXPECT_EQ(set.progressBar->color, colorFromHex("#6c5ce7"));  // the second bar's default, not the first's red
    EXPECT_EQ((std::vector<double>{set.progressBar->bgOpacity, set.progressBar->heightPercent}),
              (std::vector<double>{0.5, 0.8}));
}

TEST(FontResolution, PresentAliasedAndMissingFamilies) {
    FontResolver fonts;
    EXPECT_TRUE(fonts.resolve("DejaVu Sans", 54, true, true).italic);
    EXPECT_EQ(fonts.resolve("Helvetica", 40, false, true).family, "Liberation Sans");  // fontconfig's metric alias
    const ResolvedFont missing = fonts.resolve("No Such Typeface 123", 30, true, true);
    EXPECT_EQ(missing.family + (missing.italic ? " italic" : ""), FontResolver::systemFamily());  // upright fallback
    EXPECT_FALSE(fonts.resolve("Noto Color Emoji", 30, false, true).italic);  // no italic face: upright
}

TEST(Geometry, PresetWindowsAndTheirPositions) {
    EXPECT_EQ(computeGeometry(1080, 1920, "4:5"), (OutputGeometry{1080, 1350, 0, 285}));
    ReframeSettings standard;  // a source already of the standard size is not scaled
    standard.size = OutputSize::Standard;
    EXPECT_TRUE(planFrame(1080, 1920, "9:16", standard).plainCrop());
    EXPECT_EQ(computeGeometry(0, 0, "9:16"), (OutputGeometry{}));
    EXPECT_EQ(computeGeometry(1920, 1080, "9:16", 25, 0), (OutputGeometry{607, 1080, 328, 0}));
    EXPECT_EQ(computeGeometry(1920, 1080, "1:1", 1e9, 50), (OutputGeometry{1080, 1080, 840, 0}));
    EXPECT_EQ(computeGeometry(1920, 1080, "1:1", std::nan(""), -4), (OutputGeometry{1080, 1080, 420, 0}));

    // The copy takes every pixel from its window; rows of a window beyond a smaller stored frame
    // (a rotated source) are left alone.
    const int sw = 37, sh = 23, stride = sw * 4 + 12;
    std::vector<std::uint8_t> src(stride * sh);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i * 7 + i / stride);
    const OutputGeometry g = computeGeometry(sw, sh, "4:5");
    std::vector<std::uint8_t> dst(g.height * (g.width * 4 + 4));
    copyCropWindow({src.data(), sw, sh, stride}, {dst.data(), g.width, g.height, g.width * 4 + 4}, g);
    for (int r = 0; r < g.height; ++r)
        ASSERT_EQ(0, std::memcmp(&dst[r * (g.width * 4 + 4)], &src[(r + g.cropY) * stride + g.cropX * 4], g.width * 4));
    std::vector<std::uint8_t> small(40 * 4 * 20, 0x11), out(20 * 4 * 20, 0);
    copyCropWindow({small.data(), 40, 20, 160}, {out.data(), 20, 20, 80}, computeGeometry(20, 40, "1:1"));
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(out[80 * 19], 0);
}

}  // namespace
}  // namespace tamo
