// Overlays drawn into synthetic frames: the reference pictures, the YUV drawing against the RGB
// one, animation states, and input that must not harm.
//
// After a deliberate change of look, regenerate the references with
//     TAMO_UPDATE_GOLDEN=1 build/tests/export/export_render_test --gtest_filter='Golden*'
// look at the new PNGs in tests/export/golden/, and commit them.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

#include "export/overlay_renderer.h"
#include "export/overlay_target.h"
#include "export/yuv_frame.h"
#include "media/ffmpeg_ptr.h"

namespace tamo {
namespace {

struct Bgra {
    int b = 0, g = 0, r = 0, a = 255;
    bool operator==(const Bgra&) const = default;
};

// A BGRA frame with guard bytes around its pixels and row padding: a write outside shows there.
struct TestFrame {
    static constexpr int kGuard = 4096;
    TestFrame(int width, int height, int padding = 0)
        : w_(width), h_(height), stride_(4 * width + padding), bytes_(stride_ * height + 2 * kGuard, 0xA5) {}
    bool operator==(const TestFrame&) const = default;
    BgraView view() { return BgraView{bytes_.data() + kGuard, w_, h_, stride_}; }
    Bgra at(int x, int y) const {
        const std::uint8_t* p = &bytes_[kGuard + y * stride_ + 4 * x];
        return {p[0], p[1], p[2], p[3]};
    }
    void fill(const std::function<Bgra(int, int)>& f) {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                const Bgra c = f(x, y);
                std::uint8_t* p = &bytes_[kGuard + y * stride_ + 4 * x];
                p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = c.a;
            }
    }
    void fill(Bgra c) {
        fill([c](int, int) { return c; });
    }
    int count(const std::function<bool(const Bgra&)>& match) const {
        int n = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) n += match(at(x, y));
        return n;
    }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < bytes_.size(); ++i) {
            const std::size_t in = i - kGuard;
            const bool pixel = i >= kGuard && in < std::size_t(stride_ * h_) && int(in % stride_) < 4 * w_;
            if (!pixel && bytes_[i] != 0xA5) return false;
        }
        return true;
    }
    int w_, h_, stride_;
    std::vector<std::uint8_t> bytes_;
};

PictureSurface solidPicture(int w, int h, double r, double g, double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    return makePictureSurface(s);
}

TextDrawInfo plainText(const std::string& text, double x, double y, double pixelSize, double textWidth) {
    TextDrawInfo t;
    t.text = text;
    t.font = ResolvedFont{"DejaVu Sans", pixelSize, false, false};
    t.color = RgbaColor{1, 1, 1, 1};
    t.shadowEnabled = false;
    t.x = x, t.y = y, t.textWidth = textWidth;
    t.timeStart = 0, t.timeEnd = 10;
    return t;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr Bgra kBlack{0, 0, 0, 255}, kGrey{128, 128, 128, 255};

void render(TestFrame& f, const OverlaySet& set, double t, double duration = 10) {
    OverlayRenderer(std::make_shared<const OverlaySet>(set), f.w_, f.h_, duration).processFrame(f.view(), t);
}
std::uint8_t byte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// The reference pictures, drawn in BGRA and into 4:4:4 full-range BT.601 planes.
constexpr int GW = 160, GH = 120;
constexpr double kKr = 0.299, kKb = 0.114, kKg = 1 - kKr - kKb;

void checkAgainstGolden(TestFrame& f, const std::string& name) {
    const std::string path = std::string(TAMO_SOURCE_DIR) + "/tests/export/golden/" + name + ".png";
    cairo_surface_t* frame =
        cairo_image_surface_create_for_data(f.view().data, CAIRO_FORMAT_ARGB32, GW, GH, f.view().stride);
    if (std::getenv("TAMO_UPDATE_GOLDEN")) {
        EXPECT_EQ(cairo_surface_write_to_png(frame, path.c_str()), 0) << path;
    }
    cairo_surface_destroy(frame);
    cairo_surface_t* golden = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(golden), CAIRO_STATUS_SUCCESS) << "missing reference " << path;
    ASSERT_EQ(cairo_image_surface_get_width(golden) * 1000 + cairo_image_surface_get_height(golden), GW * 1000 + GH);
    const unsigned char* g = cairo_image_surface_get_data(golden);
    const int gs = cairo_image_surface_get_stride(golden);
    double total = 0;
    int bad = 0;
    for (int y = 0; y < GH; ++y)
        for (int x = 0; x < GW; ++x) {
            const Bgra p = f.at(x, y);
            const unsigned char* q = g + y * gs + 4 * x;
            const int d =
                std::max({std::abs(p.b - q[0]), std::abs(p.g - q[1]), std::abs(p.r - q[2]), std::abs(p.a - q[3])});
            total += d, bad += d > 32;
        }
    cairo_surface_destroy(golden);
    EXPECT_LE(bad, GW * GH / 100) << name << ": pixels far from the reference";
    EXPECT_LE(total / (GW * GH), 1.5) << name << ": mean difference from the reference";
}

void renderAndCompare(const OverlaySet& set, double t, const std::string& name) {
    SCOPED_TRACE(name);
    TestFrame f(GW, GH);
    f.fill([](int x, int y) {  // a gradient with stripes: blur, transparency and edges all show on it
        const int stripe = (x / 8 + y / 8) % 2 ? 60 : 0;
        return Bgra{std::min(255, 40 + y + stripe), std::min(255, 2 * x / 3 + stripe), 90, 255};
    });
    std::vector<std::uint8_t> planes[3];
    for (auto& p : planes) p.resize(GW * GH);
    for (int i = 0; i < GW * GH; ++i) {
        const Bgra c = f.at(i % GW, i / GW);
        const double ey = kKr * c.r + kKg * c.g + kKb * c.b;
        planes[0][i] = byte(ey);
        planes[1][i] = byte(128 + (c.b - ey) / (2 * (1 - kKb)));
        planes[2][i] = byte(128 + (c.r - ey) / (2 * (1 - kKr)));
    }
    auto shared = std::make_shared<const OverlaySet>(set);
    OverlayRenderer(shared, GW, GH, 10).processFrame(f.view(), t);
    checkAgainstGolden(f, name);

    YuvView v;
    for (int i = 0; i < 3; ++i) v.data[i] = planes[i].data(), v.linesize[i] = GW;
    v.width = GW, v.height = GH, v.chromaShiftX = v.chromaShiftY = 0;
    OverlayRenderer(shared, GW, GH, 10).processFrame(v, YuvColorModel{kKr, kKb, true}, t);
    TestFrame back(GW, GH);
    back.fill([&](int x, int y) {
        const double ey = planes[0][y * GW + x], pb = planes[1][y * GW + x] - 128.0, pr = planes[2][y * GW + x] - 128.0;
        const double r = ey + 2 * (1 - kKr) * pr, b = ey + 2 * (1 - kKb) * pb;
        return Bgra{byte(b), byte((ey - kKr * r - kKb * b) / kKg), byte(r), 255};
    });
    SCOPED_TRACE("drawn into YUV planes");
    checkAgainstGolden(back, name);
}

TEST(Golden, EveryOverlayKind) {
    BlurDrawInfo a;
    a.xPercent = 30, a.yPercent = 40, a.widthPercent = 40, a.heightPercent = 50, a.blurAmount = 4, a.timeEnd = 10;
    BlurDrawInfo b = a;
    b.xPercent = 55, b.yPercent = 60, b.blurAmount = 2;
    renderAndCompare(OverlaySet{{}, {}, {a, b}, {}}, 1, "blur");
    const ProgressBarDrawInfo bar{colorFromHex("#6c5ce7"), colorFromHex("#333333"), 0.3, 5};
    renderAndCompare(OverlaySet{{}, {}, {}, bar}, 3.3, "progress_bar");

    // Four coloured quarters, so that flips and stretching show.
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
    img.timeEnd = 10, img.animationIn = "slideLeft", img.animationDuration = 2;
    renderAndCompare(OverlaySet{{}, {img}, {}, {}}, 1, "picture");

    TextDrawInfo t = plainText("Szia, vil\xC3\xA1g! Hossz\xC3\xBA sz\xC3\xB6veg", 80, 60, 14, 144);
    t.font.bold = true, t.color = colorFromHex("#ffeb3b");
    t.strokeEnabled = true, t.strokeColor = colorFromHex("#000000"), t.strokeWidth = 1.5;
    t.shadowEnabled = true, t.shadowBlur = 6;  // an outline leaves no room for the glow: not drawn
    t.bgEnabled = true, t.bgColor = colorFromHex("#1a1a2e"), t.bgOpacity = 0.6;
    renderAndCompare(OverlaySet{{t}, {}, {}, {}}, 1, "text_box_outline");

    t = plainText("Glow", 80, 40, 28, 144);  // left edge of the box at x 8
    t.alignment = TextAlignment::Left;
    t.shadowEnabled = true, t.shadowColor = colorFromHex("#000000"), t.shadowBlur = 10;
    renderAndCompare(OverlaySet{{t}, {}, {}, {}}, 1, "text_glow");

    t = plainText("\xF0\x9F\x8E\x89\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 80, 70, 36, 144);
    t.shadowEnabled = true, t.shadowBlur = 4;
    renderAndCompare(OverlaySet{{t}, {}, {}, {}}, 1, "emoji");
}

constexpr int W = 192, H = 108;

void convert(const std::uint8_t* const src[4], const int srcStride[4], AVPixelFormat from, std::uint8_t* const dst[4],
             const int dstStride[4], AVPixelFormat to) {
    av::SwsPtr sws(sws_getContext(W, H, from, W, H, to, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    const int* c = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(sws.get(), c, 0, c, 0, 0, 1 << 16, 1 << 16);
    sws_scale(sws.get(), src, srcStride, 0, H, dst, dstStride);
}
av::FramePtr toYuv(TestFrame& f) {
    av::FramePtr yuv = allocateYuv420(W, H);
    const std::uint8_t* src[4] = {f.view().data};
    const int stride[4] = {f.view().stride};
    convert(src, stride, AV_PIX_FMT_BGRA, yuv->data, yuv->linesize, AV_PIX_FMT_YUV420P);
    return yuv;
}

// Mean and worst difference of plane i of two frames inside a luma rectangle.
std::pair<double, int> differ(const AVFrame& a, const AVFrame& b, int i, PixelRect r) {
    const int s = i ? 1 : 0;
    double sum = 0;
    int worst = 0, n = 0;
    for (int y = r.y0 >> s; y < r.y1 >> s; ++y)
        for (int x = r.x0 >> s; x < r.x1 >> s; ++x, ++n) {
            const int d = std::abs(a.data[i][y * a.linesize[i] + x] - b.data[i][y * b.linesize[i] + x]);
            sum += d, worst = std::max(worst, d);
        }
    return {sum / std::max(1, n), worst};
}

TEST(YuvOverlay, BlurAndHalfTransparentPictureAgreeWithRgbDrawingAndNothingElseChanges) {
    TestFrame backdrop(W, H);
    backdrop.fill([](int x, int y) {
        const int stripe = (x / 6 + y / 6) % 2 ? 50 : 0;
        return Bgra{std::min(255, 30 + 2 * y + stripe), std::min(255, x + stripe), 150 - y / 2, 255};
    });
    OverlaySet set;
    BlurDrawInfo blur;
    blur.xPercent = 30, blur.yPercent = 40, blur.widthPercent = 30, blur.heightPercent = 40, blur.blurAmount = 3;
    blur.timeEnd = 10;
    set.blurs = {blur};
    ImageDrawInfo pic;
    pic.cgImage = solidPicture(10, 10, 1.0, 0.8, 0.1);
    pic.xPercent = 75, pic.yPercent = 50, pic.scalePercent = 40, pic.opacity = 50, pic.timeEnd = 10;
    set.images = {pic};
    const auto shared = std::make_shared<const OverlaySet>(set);

    // The source as the decoder gives it, the same picture in RGB drawn and converted, and the
    // source drawn into in its planes.
    av::FramePtr source = toYuv(backdrop);
    TestFrame rgb(W, H);
    std::uint8_t* rgbData[4] = {rgb.view().data};
    const int rgbStride[4] = {rgb.view().stride};
    convert(source->data, source->linesize, AV_PIX_FMT_YUV420P, rgbData, rgbStride, AV_PIX_FMT_BGRA);
    OverlayRenderer(shared, W, H, 10).processFrame(rgb.view(), 1);
    av::FramePtr reference = toYuv(rgb);
    av::FramePtr drawn = allocateYuv420(W, H);
    ASSERT_EQ(av_frame_copy(drawn.get(), source.get()), 0);
    OverlayRenderer(shared, W, H, 10).processFrame(yuvViewOf(*drawn), colorModelOf(SWS_CS_ITU709, false), 1);

    const PixelRect rects[] = {{29, 22, 86, 65}, {124, 33, 164, 75}};  // the blur; the 43.2 px picture
    for (int plane = 0; plane < 3; ++plane)
        for (PixelRect r : rects) {
            SCOPED_TRACE(::testing::Message() << "plane " << plane << " x " << r.x0);
            const PixelRect inner{r.x0 + 2, r.y0 + 2, r.x1 - 2, r.y1 - 2};
            const auto [mean, worst] = differ(*drawn, *reference, plane, inner);
            EXPECT_LT(mean, 1.5);
            EXPECT_LE(worst, 6);
            EXPECT_GT(differ(*drawn, *source, plane, inner).first, 1.0) << "the overlay was not drawn";
        }
    long changed = 0;
    for (int plane = 0; plane < 3; ++plane) {
        const int s = plane ? 1 : 0;
        for (int y = 0; y < (H >> s); ++y)
            for (int x = 0; x < (W >> s); ++x) {
                bool inside = false;
                for (PixelRect r : rects)
                    inside |=
                        (x << s) >= r.x0 - 2 && (x << s) < r.x1 + 2 && (y << s) >= r.y0 - 2 && (y << s) < r.y1 + 2;
                changed += !inside && drawn->data[plane][y * drawn->linesize[plane] + x] !=
                                          source->data[plane][y * source->linesize[plane] + x];
            }
    }
    EXPECT_EQ(changed, 0);
}

TEST(YuvOverlay, OddRecordsOnTheEvenEncoderFrameAndOtherSizesLeftAlone) {
    OverlaySet set;
    set.progressBar = ProgressBarDrawInfo{RgbaColor{1, 1, 1, 1}, {}, 0, 100};
    const auto shared = std::make_shared<const OverlaySet>(set);
    // Records made for 101 × 51; the encoder's frame is 100 × 50. The bar covers all of it at t = D.
    for (int w : {101, 100, 64}) {
        av::FramePtr f = allocateYuv420(w, w / 2);
        fillBlack(yuvViewOf(*f), false);
        OverlayRenderer(shared, 101, 51, 1).processFrame(yuvViewOf(*f), colorModelOf(SWS_CS_ITU601, false), 1);
        const YuvView v = yuvViewOf(*f);
        int white = 0;
        for (int y = 0; y < v.height; ++y)
            for (int x = 0; x < v.width; ++x) white += v.data[0][y * v.linesize[0] + x] == 235;
        EXPECT_EQ(white, w == 64 ? 0 : v.width * v.height) << w;
        EXPECT_EQ(v.data[1][0], 128);
    }
}

TEST(Overlays, NothingIsDrawnOutsideTheWindowOrWhileInvisible) {
    ImageDrawInfo img;
    img.cgImage = solidPicture(10, 10, 1, 1, 1);
    img.timeStart = 2, img.timeEnd = 4, img.animationIn = "fadeIn", img.animationDuration = 1;
    TextDrawInfo typed = plainText("Szia vil\xC3\xA1g", 150, 100, 30, 270);
    typed.animationIn = "typewriter", typed.animationDuration = 2, typed.timeStart = 6, typed.timeEnd = 9;
    typed.bgEnabled = true, typed.bgColor = RgbaColor{1, 0, 0, 1}, typed.strokeEnabled = true, typed.strokeWidth = 3;
    TextDrawInfo faded = plainText("Hello", 150, 100, 30, 270);
    faded.animationIn = "fadeIn", faded.animationDuration = 1, faded.timeStart = 1, faded.timeEnd = 1.5;
    faded.bgEnabled = true, faded.bgColor = RgbaColor{1, 1, 1, 1};
    const OverlaySet set{{typed, faded}, {img}, {}, {}};
    // ease(p) = 2p²: at 1.07 the text is at 0.0098 opacity (hidden), at 1.1 at 0.02 (faintly drawn).
    const std::pair<double, bool> moments[] = {{1, false}, {1.07, false},     {1.1, true}, {2, false}, {2.5, true},
                                               {4, true},  {4.000001, false}, {6, false},  {7, true}};
    for (auto [t, drawn] : moments) {
        TestFrame f(300, 200);
        f.fill(kBlack);
        render(f, set, t);
        EXPECT_EQ(f.count([](const Bgra& p) { return !(p == kBlack); }) > 0, drawn) << t;
    }
}

// Entries and exits, in BGRA and in 4:2:0 planes: a renderer that has drawn other moments before
// draws each one as a fresh renderer does.
TEST(Overlays, CachedDrawingMatchesAFreshRenderer) {
    OverlaySet set;
    const char* entries[] = {"typewriter", "fadeIn", "slideUp", "zoomIn"};
    const char* exits[] = {"slideLeft", "fadeOut", "zoomOut", "none"};
    for (int i = 0; i < 4; ++i) {
        TextDrawInfo t = plainText(i ? "Second line" : "Szia \xF0\x9F\x91\x8D", 150, 20 + 40 * i, 16, 270);
        t.shadowEnabled = i % 2, t.shadowBlur = 6, t.strokeEnabled = i % 3 == 0, t.strokeWidth = 2, t.bgEnabled = i > 1;
        t.animationIn = entries[i], t.animationOut = exits[i], t.animationDuration = 2 + i % 2;
        t.alignment = TextAlignment(i % 3);
        set.texts.push_back(t);
    }
    ImageDrawInfo img;
    img.cgImage = solidPicture(30, 20, 0.2, 0.8, 0.4);
    img.aspectRatio = 1.5, img.timeEnd = 10, img.animationIn = "zoomIn", img.animationDuration = 1;
    set.images = {img};
    auto shared = std::make_shared<const OverlaySet>(set);
    OverlayRenderer warm(shared, 300, 200, 10), warmYuv(shared, 300, 200, 10);
    const YuvColorModel model = colorModelOf(SWS_CS_ITU709, false);
    for (double t : {0.5, 1.0, 2.0, 4.0, 4.0, 9.0, 4.0, 8.5, 2.0}) {
        TestFrame cached(300, 200), fresh(300, 200);
        cached.fill(kGrey);
        fresh.fill(kGrey);
        warm.processFrame(cached.view(), t);
        OverlayRenderer(shared, 300, 200, 10).processFrame(fresh.view(), t);
        EXPECT_TRUE(cached == fresh) << "t " << t;
        av::FramePtr a = allocateYuv420(300, 200), b = allocateYuv420(300, 200);
        fillBlack(yuvViewOf(*a), false);
        fillBlack(yuvViewOf(*b), false);
        warmYuv.processFrame(yuvViewOf(*a), model, t);
        OverlayRenderer(shared, 300, 200, 10).processFrame(yuvViewOf(*b), model, t);
        for (int p = 0; p < 3; ++p)
            EXPECT_EQ(differ(*a, *b, p, {0, 0, 300, 200}).second, 0) << "t " << t << " plane " << p;
    }
}

// Values the page's JSON cannot carry (the rest is in the fuzz corpus of overlay_records): nothing
// is written outside the frame and the rest is still drawn; a frame of another size is left alone.
TEST(Overlays, NotANumberNeverWritesOutsideTheFrame) {
    std::vector<TextDrawInfo> texts(5, plainText("Hello", 120, 80, 20, 216));
    texts[0].font.pixelSize = kNaN, texts[1].x = kNaN, texts[1].shadowEnabled = true, texts[1].shadowBlur = 4;
    texts[2].textWidth = kNaN, texts[2].bgEnabled = true, texts[3].strokeEnabled = true, texts[3].strokeWidth = kNaN;
    texts[4].bgOpacity = kNaN, texts[4].color = RgbaColor{kNaN, 2, -1, kNaN}, texts[4].bgEnabled = true;
    texts.push_back(plainText("W", 200, 140, 24, 216));  // drawn last, green: the context survived
    texts.back().color = RgbaColor{0, 1, 0, 1};
    std::vector<ImageDrawInfo> images(2);
    images[0].cgImage = solidPicture(20, 10, 1, 0, 0), images[0].aspectRatio = kNaN, images[0].timeEnd = 10;
    BlurDrawInfo blur, corner;  // the second at the corner of the odd-sized frame
    blur.blurAmount = kNaN, blur.xPercent = kNaN, blur.timeEnd = 10;
    corner.xPercent = 100, corner.yPercent = 100, corner.timeEnd = 10;
    ProgressBarDrawInfo bar;
    bar.heightPercent = kNaN, bar.position = "top";
    const auto set = std::make_shared<const OverlaySet>(OverlaySet{texts, images, {blur, corner}, bar});
    TestFrame f(241, 161, 12), other(100, 80, 4);
    f.fill([](int x, int y) { return Bgra{x % 256, y % 256, 90, 255}; });
    other.fill(kGrey);
    OverlayRenderer r(set, 241, 161, 10);
    for (double t : {0.0, 5.0, 10.0}) r.processFrame(f.view(), t), r.processFrame(other.view(), t);
    EXPECT_TRUE(f.guardsIntact() && other.guardsIntact());
    EXPECT_GT(f.count([](const Bgra& p) { return p.g > 200 && p.r < 60 && p.b < 60; }), 0);
    EXPECT_EQ(other.count([](const Bgra& p) { return p == kGrey; }), 100 * 80);
}

}  // namespace
}  // namespace tamo
