// One small reference picture per overlay kind, so that a change of look is noticed.
//
// The references live in tests/export/golden/. After a deliberate change of look, regenerate them
// with
//     TAMO_UPDATE_GOLDEN=1 build/tests/export/export_render_test --gtest_filter='Golden*'
// look at the new PNGs, and commit them. Comparison allows small differences (font rasteriser
// versions, rounding) but not a moved, missing or recoloured overlay.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/overlay_renderer.h"
#include "export/yuv_frame.h"
#include "frame_fixture.h"

namespace tamo {
namespace {

using testing::Bgra;
using testing::TestFrame;

constexpr int W = 160, H = 120;

std::string goldenPath(const std::string& name) {
    return std::string(TAMO_SOURCE_DIR) + "/tests/export/golden/" + name + ".png";
}

TestFrame backdrop() {
    TestFrame f(W, H);
    // A gradient with stripes: blur, transparency and edges all show on it.
    f.fill([](int x, int y) {
        const int stripe = (x / 8 + y / 8) % 2 ? 60 : 0;
        return Bgra{std::min(255, 40 + y + stripe), std::min(255, 2 * x / 3 + stripe), 90, 255};
    });
    return f;
}

void checkAgainstGolden(TestFrame& f, const std::string& name) {
    const std::string path = goldenPath(name);
    cairo_surface_t* frame =
        cairo_image_surface_create_for_data(f.view().data, CAIRO_FORMAT_ARGB32, W, H, f.view().stride);
    if (std::getenv("TAMO_UPDATE_GOLDEN")) {
        ASSERT_EQ(cairo_surface_write_to_png(frame, path.c_str()), CAIRO_STATUS_SUCCESS) << path;
        cairo_surface_destroy(frame);
        return;
    }
    cairo_surface_destroy(frame);
    cairo_surface_t* golden = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(golden), CAIRO_STATUS_SUCCESS) << "missing reference " << path;
    ASSERT_EQ(cairo_image_surface_get_width(golden), W);
    ASSERT_EQ(cairo_image_surface_get_height(golden), H);
    cairo_surface_flush(golden);
    const unsigned char* g = cairo_image_surface_get_data(golden);
    const int gs = cairo_image_surface_get_stride(golden);
    double total = 0;
    int bad = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Bgra p = f.at(x, y);
            const unsigned char* q = g + y * gs + 4 * x;
            const int d =
                std::max({std::abs(p.b - q[0]), std::abs(p.g - q[1]), std::abs(p.r - q[2]), std::abs(p.a - q[3])});
            total += d;
            bad += d > 32 ? 1 : 0;
        }
    cairo_surface_destroy(golden);
    EXPECT_LE(bad, W * H / 100) << name << ": pixels far from the reference";
    EXPECT_LE(total / (W * H), 1.5) << name << ": mean difference from the reference";
}

// The export draws into YUV planes. Here they are 4:4:4 full range with the BT.601 matrix, so
// that the way there and back loses nothing but rounding and the same references apply.
struct Planes444 {
    std::vector<std::uint8_t> y, u, v;
    YuvView view() {
        YuvView v444;
        v444.data[0] = y.data(), v444.data[1] = u.data(), v444.data[2] = v.data();
        v444.linesize[0] = v444.linesize[1] = v444.linesize[2] = W;
        v444.width = W, v444.height = H, v444.chromaShiftX = v444.chromaShiftY = 0;
        return v444;
    }
};
constexpr double kKr = 0.299, kKb = 0.114, kKg = 1 - kKr - kKb;
std::uint8_t byte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

Planes444 toPlanes(const TestFrame& f) {
    Planes444 p;
    p.y.resize(W * H), p.u.resize(W * H), p.v.resize(W * H);
    f.forEach([&](int x, int y) {
        const Bgra c = f.at(x, y);
        const double ey = kKr * c.r + kKg * c.g + kKb * c.b;
        p.y[y * W + x] = byte(ey);
        p.u[y * W + x] = byte(128 + (c.b - ey) / (2 * (1 - kKb)));
        p.v[y * W + x] = byte(128 + (c.r - ey) / (2 * (1 - kKr)));
    });
    return p;
}

TestFrame fromPlanes(const Planes444& p) {
    TestFrame f(W, H);
    f.fill([&](int x, int y) {
        const double ey = p.y[y * W + x], pb = p.u[y * W + x] - 128.0, pr = p.v[y * W + x] - 128.0;
        const double r = ey + 2 * (1 - kKr) * pr, b = ey + 2 * (1 - kKb) * pb;
        const double g = (ey - kKr * r - kKb * b) / kKg;
        return Bgra{byte(b), byte(g), byte(r), 255};
    });
    return f;
}

void renderAndCompare(const OverlaySet& set, double t, const std::string& name) {
    TestFrame f = backdrop();
    Planes444 planes = toPlanes(f);
    OverlayRenderer r(std::make_shared<const OverlaySet>(set), W, H, 10);
    r.processFrame(f.view(), t);
    checkAgainstGolden(f, name);
    if (std::getenv("TAMO_UPDATE_GOLDEN")) return;

    SCOPED_TRACE("drawn into YUV planes");
    OverlayRenderer yuv(std::make_shared<const OverlaySet>(set), W, H, 10);
    yuv.processFrame(planes.view(), YuvColorModel{kKr, kKb, true}, t);
    TestFrame back = fromPlanes(planes);
    checkAgainstGolden(back, name);
}

TEST(Golden, Blur) {
    OverlaySet set;
    BlurDrawInfo a;
    a.xPercent = 30, a.yPercent = 40, a.widthPercent = 40, a.heightPercent = 50, a.blurAmount = 4;
    a.timeStart = 0, a.timeEnd = 10;
    BlurDrawInfo b = a;
    b.xPercent = 55, b.yPercent = 60, b.blurAmount = 2;
    set.blurs = {a, b};
    renderAndCompare(set, 1, "blur");
}

TEST(Golden, ProgressBar) {
    OverlaySet set;
    ProgressBarDrawInfo bar;
    bar.color = colorFromHex("#6c5ce7");
    bar.bgColor = colorFromHex("#333333");
    bar.bgOpacity = 0.3;
    bar.heightPercent = 5;
    set.progressBar = bar;
    renderAndCompare(set, 3.3, "progress_bar");
}

TEST(Golden, Picture) {
    OverlaySet set;
    // A picture with four coloured quarters, so that flips and stretching show.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 20);
    cairo_t* cr = cairo_create(s);
    const double colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        cairo_set_source_rgb(cr, colours[i][0], colours[i][1], colours[i][2]);
        cairo_rectangle(cr, (i % 2) * 20, (i / 2) * 10, 20, 10);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    ImageDrawInfo img;
    img.cgImage = makePictureSurface(s);
    img.aspectRatio = 2, img.xPercent = 40, img.yPercent = 35, img.scalePercent = 40, img.opacity = 80;
    img.timeStart = 0, img.timeEnd = 10, img.animationIn = "slideLeft", img.animationDuration = 2;
    set.images = {img};
    renderAndCompare(set, 1, "picture");
}

TEST(Golden, TextWithBoxAndOutline) {
    OverlaySet set;
    TextDrawInfo t = testing::plainText("Szia, vil\xC3\xA1g! Hossz\xC3\xBA sz\xC3\xB6veg", 80, 60, 14, 144);
    t.font.bold = true;
    t.color = colorFromHex("#ffeb3b");
    t.strokeEnabled = true, t.strokeColor = colorFromHex("#000000"), t.strokeWidth = 1.5;
    t.bgEnabled = true, t.bgColor = colorFromHex("#1a1a2e"), t.bgOpacity = 0.6;
    set.texts = {t};
    renderAndCompare(set, 1, "text_box_outline");
}

TEST(Golden, TextWithGlow) {
    OverlaySet set;
    TextDrawInfo t = testing::plainText("Glow", 80, 40, 28, 144);  // left edge of the box at x 8
    t.alignment = TextAlignment::Left;
    t.shadowEnabled = true, t.shadowColor = colorFromHex("#000000"), t.shadowBlur = 10;
    set.texts = {t};
    renderAndCompare(set, 1, "text_glow");
}

TEST(Golden, Emoji) {
    OverlaySet set;
    TextDrawInfo t = testing::plainText("\xF0\x9F\x8E\x89\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 80, 70, 36, 144);
    t.shadowEnabled = true, t.shadowBlur = 4;
    set.texts = {t};
    renderAndCompare(set, 1, "emoji");
}

}  // namespace
}  // namespace tamo
