// From the page's overlay list to drawing records: defaults, unit conversions, fonts, pictures.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "export/export_params.h"
#include "export/export_progress.h"
#include "export/font_resolver.h"
#include "export/overlay_records.h"
#include "media_test_support.h"

namespace tamo {
namespace {

using nlohmann::json;

OverlaySet build(const json& list, int w = 1080, int h = 1920, double d = 20, double preview = 400,
                 const std::map<std::string, std::filesystem::path>* images = nullptr) {
    return buildOverlaySet(list, RecordContext{w, h, d, preview, images});
}

TEST(ExportRecords, ScaledOutputScalesBlurStrengthAndKeepsRelativeSizes) {
    // 607 × 1080 crop scaled to 1080 × 1920: blur strength is in the crop's pixels, everything
    // else is relative to the output frame already.
    const json list = json::array(
        {json{{"type", "blur"}, {"blurAmount", 15}}, json{{"text", "a"}, {"strokeWidth", 2}, {"strokeEnabled", true}}});
    const OverlaySet asIs = buildOverlaySet(list, RecordContext{607, 1080, 10, 540, nullptr});
    const OverlaySet scaled = buildOverlaySet(list, RecordContext{1080, 1920, 10, 540, nullptr, 1920.0 / 1080});
    ASSERT_EQ(scaled.blurs.size(), 1u);
    ASSERT_EQ(scaled.texts.size(), 1u);
    EXPECT_DOUBLE_EQ(asIs.blurs[0].blurAmount, 15);
    EXPECT_DOUBLE_EQ(scaled.blurs[0].blurAmount, 15 * 1920.0 / 1080);
    EXPECT_DOUBLE_EQ(scaled.texts[0].strokeWidth / asIs.texts[0].strokeWidth, 1920.0 / 1080);
    EXPECT_DOUBLE_EQ(asIs.texts[0].boxMarginScale, 1);
    EXPECT_DOUBLE_EQ(scaled.texts[0].boxMarginScale, 1920.0 / 1080);
}

TEST(ExportParams, DefaultsAndPreviewHeightGuard) {
    struct Case {
        json params;
        double preview;
        std::string preset;
        std::size_t entries;
    };
    const json one = json::array({json{{"text", "a"}}});
    const std::vector<Case> cases = {
        {json::object(), 400, "original", 0},
        {{{"previewHeight", 540}, {"cropPreset", "9:16"}, {"textObjects", one}}, 540, "9:16", 1},
        {{{"previewHeight", 0}}, 400, "original", 0},
        {{{"previewHeight", -20}}, 400, "original", 0},
        {{{"previewHeight", "540"}, {"cropPreset", 916}}, 400, "original", 0},
        {{{"previewHeight", std::numeric_limits<double>::infinity()}}, 400, "original", 0},
        {{{"textObjects", 5}}, 400, "original", 0},
        {{{"textObjects", json::array({json{{"text", "a"}}, 3})}}, 400, "original", 0},
        {json::array(), 400, "original", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params.dump());
        ExportParams p = readExportParams(c.params);
        EXPECT_EQ(p.previewHeight, c.preview);
        EXPECT_EQ(p.cropPreset, c.preset);
        EXPECT_EQ(p.textObjects.size(), c.entries);
    }
}

TEST(ExportRecords, TextDefaultsOnPortraitOutput) {
    auto set = build(json::array({json{{"text", "Hello"}}}));
    ASSERT_EQ(set.texts.size(), 1u);
    const TextDrawInfo& t = set.texts[0];
    EXPECT_EQ(t.text, "Hello");
    EXPECT_DOUBLE_EQ(t.font.pixelSize, 96);  // 5 % of 1920
    EXPECT_EQ(t.color, (RgbaColor{1, 1, 1, 1}));
    EXPECT_FALSE(t.strokeEnabled);
    EXPECT_DOUBLE_EQ(t.strokeWidth, 2 * 1920 / 400.0);
    EXPECT_DOUBLE_EQ(t.bgOpacity, 0.6);
    EXPECT_TRUE(t.shadowEnabled);
    EXPECT_DOUBLE_EQ(t.shadowBlur, 3 * 1920 / 400.0);
    EXPECT_DOUBLE_EQ(t.x, 540);
    EXPECT_DOUBLE_EQ(t.y, 1536);
    EXPECT_DOUBLE_EQ(t.textWidth, 972);
    EXPECT_EQ(t.alignment, TextAlignment::Center);
    EXPECT_DOUBLE_EQ(t.timeStart, 0);
    EXPECT_DOUBLE_EQ(t.timeEnd, 20);
    EXPECT_EQ(t.animationIn, "none");
    EXPECT_EQ(t.animationOut, "none");
    EXPECT_DOUBLE_EQ(t.animationDuration, 0.5);
}

TEST(ExportRecords, TextConversionsOnLandscapeOutput) {
    json e = {{"type", "emoji"},         {"text", "🎉"},           {"fontSizePercent", 5},
              {"strokeWidth", 2},        {"shadowBlur", 3},       {"timeStartPercent", 25},
              {"timeEndPercent", 50},    {"fontColor", "#fff"},   {"bgOpacity", 30},
              {"alignment", "right"},    {"strokeEnabled", true}, {"animationIn", "fadeIn"},
              {"animationDuration", 1.5}};
    auto set = build(json::array({e}), 1920, 1080, 20, 540);
    ASSERT_EQ(set.texts.size(), 1u);
    const TextDrawInfo& t = set.texts[0];
    EXPECT_DOUBLE_EQ(t.font.pixelSize, 54);
    EXPECT_DOUBLE_EQ(t.strokeWidth, 4);
    EXPECT_DOUBLE_EQ(t.shadowBlur, 6);
    EXPECT_DOUBLE_EQ(t.timeStart, 5);
    EXPECT_DOUBLE_EQ(t.timeEnd, 10);
    EXPECT_EQ(t.color, (RgbaColor{0, 15 / 255.0, 1, 1}));  // "#fff" is 0x000fff, not white
    EXPECT_DOUBLE_EQ(t.bgOpacity, 0.3);
    EXPECT_EQ(t.alignment, TextAlignment::Right);
    EXPECT_TRUE(t.strokeEnabled);
    EXPECT_EQ(t.animationIn, "fadeIn");
    EXPECT_DOUBLE_EQ(t.animationDuration, 1.5);
}

TEST(ExportRecords, AlignmentWords) {
    for (auto [word, expected] : std::vector<std::pair<json, TextAlignment>>{{"center", TextAlignment::Center},
                                                                             {"right", TextAlignment::Right},
                                                                             {"left", TextAlignment::Left},
                                                                             {"justify", TextAlignment::Left},
                                                                             {"Center", TextAlignment::Left},
                                                                             {7, TextAlignment::Center}}) {
        auto set = build(json::array({json{{"text", "a"}, {"alignment", word}}}));
        ASSERT_EQ(set.texts.size(), 1u);
        EXPECT_EQ(set.texts[0].alignment, expected) << word.dump();
    }
}

TEST(ExportRecords, KindsSkipsAndTheLastProgressBar) {
    json list = json::array({
        json{{"text", ""}},                                // empty text: skipped
        json{{"type", "text"}},                            // no text: skipped
        json{{"type", "Text"}, {"text", "case matters"}},  // unknown type
        json{{"type", "wobble"}, {"text", "x"}},           // unknown type
        json{{"text", "typed default"}, {"type", 5}},      // a non-text type is "text"
        json{{"type", "blur"}, {"timeEndPercent", 50}},
        json{{"type", "progressbar"}, {"color", "#ff0000"}},
        json{{"type", "image"}, {"imageId", "img_MISSING"}},
        json{{"type", "progressbar"}, {"position", "top"}, {"bgOpacity", 50}},
    });
    auto set = build(list);
    ASSERT_EQ(set.texts.size(), 1u);
    EXPECT_EQ(set.texts[0].text, "typed default");
    ASSERT_EQ(set.blurs.size(), 1u);
    const BlurDrawInfo& b = set.blurs[0];
    EXPECT_EQ((std::vector<double>{b.xPercent, b.yPercent, b.widthPercent, b.heightPercent, b.blurAmount, b.timeStart,
                                   b.timeEnd}),
              (std::vector<double>{50, 50, 20, 15, 15, 0, 10}));
    EXPECT_TRUE(set.images.empty());
    ASSERT_TRUE(set.progressBar.has_value());
    EXPECT_EQ(set.progressBar->position, "top");
    EXPECT_EQ(set.progressBar->color, colorFromHex("#6c5ce7"));  // the second bar's default, not the first's red
    EXPECT_EQ(set.progressBar->bgColor, colorFromHex("#333333"));
    EXPECT_DOUBLE_EQ(set.progressBar->bgOpacity, 0.5);
    EXPECT_DOUBLE_EQ(set.progressBar->heightPercent, 0.8);
}

TEST(ExportRecords, PicturesAreDecodedPremultipliedAtNaturalSize) {
    test::TempDir dir;
    // 4 × 2 picture: opaque red everywhere except one half-transparent white pixel.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 2);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.5);
    cairo_rectangle(cr, 3, 1, 1, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(s, (dir / "pic.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    test::writeFile(dir / "broken.png", "not a picture");

    std::map<std::string, std::filesystem::path> images = {{"img_A", dir / "pic.png"}, {"img_B", dir / "broken.png"}};
    json list = json::array({json{{"type", "image"}, {"imageId", "img_A"}, {"scalePercent", 25}, {"opacity", 40}},
                             json{{"type", "image"}, {"imageId", "img_B"}},
                             json{{"type", "image"}, {"imageId", "img_A"}, {"timeStartPercent", 10}}});
    auto set = build(list, 1080, 1920, 20, 400, &images);
    ASSERT_EQ(set.images.size(), 2u);
    const ImageDrawInfo& i = set.images[0];
    ASSERT_TRUE(i.cgImage);
    EXPECT_EQ(cairo_image_surface_get_format(i.cgImage.get()), CAIRO_FORMAT_ARGB32);
    EXPECT_EQ(cairo_image_surface_get_width(i.cgImage.get()), 4);
    EXPECT_EQ(cairo_image_surface_get_height(i.cgImage.get()), 2);
    EXPECT_DOUBLE_EQ(i.aspectRatio, 2.0);
    EXPECT_DOUBLE_EQ(i.scalePercent, 25);
    EXPECT_DOUBLE_EQ(i.opacity, 40);
    EXPECT_DOUBLE_EQ(i.xPercent, 50);
    EXPECT_DOUBLE_EQ(set.images[1].timeStart, 2);
    auto* px = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(i.cgImage.get()));
    int stride = cairo_image_surface_get_stride(i.cgImage.get()) / 4;
    EXPECT_EQ(px[0], 0xFFFF0000u);
    uint32_t half = px[stride + 3];
    EXPECT_NEAR(int(half >> 24), 128, 1);
    EXPECT_EQ((half >> 16) & 0xFF, half >> 24);  // premultiplied white: colour equals alpha
    EXPECT_EQ(half & 0xFF, half >> 24);
}

TEST(FontResolution, PresentAliasedAndMissingFamilies) {
    FontResolver fonts;
    auto dejavu = fonts.resolve("DejaVu Sans", 54, true, true);
    EXPECT_EQ(dejavu.family, "DejaVu Sans");
    EXPECT_TRUE(dejavu.bold);
    EXPECT_TRUE(dejavu.italic);  // DejaVu Sans has a bold oblique
    EXPECT_DOUBLE_EQ(dejavu.pixelSize, 54);

    // Helvetica is not installed, but fontconfig's metric alias is.
    auto helvetica = fonts.resolve("Helvetica", 40, false, true);
    EXPECT_EQ(helvetica.family, "Liberation Sans");
    EXPECT_TRUE(helvetica.italic);

    auto missing = fonts.resolve("No Such Typeface 123", 30, true, true);
    EXPECT_EQ(missing.family, FontResolver::systemFamily());
    EXPECT_TRUE(missing.bold);
    EXPECT_FALSE(missing.italic);  // italic is not applied to the fallback
    EXPECT_DOUBLE_EQ(missing.pixelSize, 30);
    auto missingRegular = fonts.resolve("", 30, false, true);
    EXPECT_FALSE(missingRegular.bold);
    EXPECT_FALSE(missingRegular.italic);

    // A family without an italic face keeps its upright face.
    auto emoji = fonts.resolve("Noto Color Emoji", 30, false, true);
    EXPECT_EQ(emoji.family, "Noto Color Emoji");
    EXPECT_FALSE(emoji.italic);
}

TEST(TranscodeProgress, PercentOfTheSourceUpToNinety) {
    struct Case {
        double seconds, duration;
        int expected;
    };
    for (Case c : {Case{0, 10, 0}, Case{5, 10, 45}, Case{9.99, 10, 89}, Case{10, 10, 90}, Case{12, 10, 90},
                   Case{0.1, 10, 0}, Case{0, 0, 90}, Case{3, 0, 90}, Case{-1, 10, 0}, Case{std::nan(""), 10, 90}}) {
        EXPECT_EQ(transcodeProgress(c.seconds, c.duration), c.expected) << c.seconds << " of " << c.duration;
    }
}

}  // namespace
}  // namespace tamo
