// Overlays blended into 4:2:0 planes against the same overlays drawn in RGB and converted: inside
// a blur region and under a half-transparent picture the values agree within a few levels, and
// every sample no overlay covers keeps its value exactly.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <vector>

#include "export/overlay_renderer.h"
#include "export/overlay_target.h"
#include "export/picture_renderer.h"
#include "export/text_renderer.h"
#include "export/yuv_frame.h"
#include "frame_fixture.h"
#include "media/ffmpeg_ptr.h"

namespace tamo {
namespace {

using testing::Bgra;
using testing::TestFrame;

constexpr int W = 192, H = 108;

// BGRA ↔ 4:2:0 with swscale, limited range, BT.709 both ways.
void convert(const std::uint8_t* const src[4], const int srcStride[4], AVPixelFormat from, std::uint8_t* const dst[4],
             const int dstStride[4], AVPixelFormat to) {
    av::SwsPtr sws(sws_getContext(W, H, from, W, H, to, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    ASSERT_TRUE(sws);
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

void toBgra(const AVFrame& yuv, TestFrame& f) {
    std::uint8_t* dst[4] = {f.view().data};
    const int stride[4] = {f.view().stride};
    convert(yuv.data, yuv.linesize, AV_PIX_FMT_YUV420P, dst, stride, AV_PIX_FMT_BGRA);
}

struct PlaneStats {
    double mean = 0;
    int worst = 0;
};
// Differences of the samples of plane i inside a luma rectangle.
PlaneStats differ(const AVFrame& a, const AVFrame& b, int plane, PixelRect r) {
    const int s = plane ? 1 : 0;
    PlaneStats st;
    long n = 0;
    for (int y = r.y0 >> s; y < r.y1 >> s; ++y)
        for (int x = r.x0 >> s; x < r.x1 >> s; ++x, ++n) {
            const int d = std::abs(a.data[plane][y * a.linesize[plane] + x] - b.data[plane][y * b.linesize[plane] + x]);
            st.mean += d;
            st.worst = std::max(st.worst, d);
        }
    st.mean /= std::max(1L, n);
    return st;
}

TEST(YuvOverlay, BlurAndHalfTransparentPictureAgreeWithRgbDrawing) {
    TestFrame backdrop(W, H);
    backdrop.fill([](int x, int y) {
        const int stripe = (x / 6 + y / 6) % 2 ? 50 : 0;
        return Bgra{std::min(255, 30 + 2 * y + stripe), std::min(255, x + stripe), 150 - y / 2, 255};
    });
    OverlaySet set;
    BlurDrawInfo blur;
    blur.xPercent = 30, blur.yPercent = 40, blur.widthPercent = 30, blur.heightPercent = 40, blur.blurAmount = 3;
    blur.timeStart = 0, blur.timeEnd = 10;
    set.blurs = {blur};
    ImageDrawInfo pic;
    pic.cgImage = testing::solidPicture(10, 10, 1.0, 0.8, 0.1);
    pic.aspectRatio = 1, pic.xPercent = 75, pic.yPercent = 50, pic.scalePercent = 40, pic.opacity = 50;
    pic.timeStart = 0, pic.timeEnd = 10;
    set.images = {pic};
    const auto shared = std::make_shared<const OverlaySet>(set);

    // The source as the decoder would give it, and the same picture in RGB.
    av::FramePtr source = toYuv(backdrop);
    TestFrame rgb(W, H);
    toBgra(*source, rgb);

    OverlayRenderer(shared, W, H, 10).processFrame(rgb.view(), 1);
    av::FramePtr reference = toYuv(rgb);

    av::FramePtr drawn = allocateYuv420(W, H);
    ASSERT_EQ(av_frame_copy(drawn.get(), source.get()), 0);
    OverlayRenderer(shared, W, H, 10).processFrame(yuvViewOf(*drawn), colorModelOf(SWS_CS_ITU709, false), 1);

    const PixelRect blurRect{29, 22, 86, 65};       // 15…45 % of 192, 20…60 % of 108
    const PixelRect pictureRect{124, 33, 164, 75};  // 43.2 px square around (144, 54)
    for (int plane = 0; plane < 3; ++plane) {
        SCOPED_TRACE(plane);
        for (PixelRect r : {blurRect, pictureRect}) {
            const PlaneStats near = differ(*drawn, *reference, plane, {r.x0 + 2, r.y0 + 2, r.x1 - 2, r.y1 - 2});
            EXPECT_LT(near.mean, 1.5);
            EXPECT_LE(near.worst, 6);
            // And the overlay did change those samples.
            EXPECT_GT(differ(*drawn, *source, plane, {r.x0 + 2, r.y0 + 2, r.x1 - 2, r.y1 - 2}).mean, 1.0);
        }
    }
    // Everything else is the source, sample for sample.
    auto outside = [&](int x, int y) {
        for (PixelRect r : {blurRect, pictureRect})
            if (x >= r.x0 - 2 && x < r.x1 + 2 && y >= r.y0 - 2 && y < r.y1 + 2) return false;
        return true;
    };
    long changed = 0;
    for (int plane = 0; plane < 3; ++plane) {
        const int s = plane ? 1 : 0;
        for (int y = 0; y < (H >> s); ++y)
            for (int x = 0; x < (W >> s); ++x)
                if (outside(x << s, y << s))
                    changed += drawn->data[plane][y * drawn->linesize[plane] + x] !=
                               source->data[plane][y * source->linesize[plane] + x];
    }
    EXPECT_EQ(changed, 0);
}

TEST(YuvOverlay, OddSizedAndEvenDownFramesAreDrawnWithinTheirPlanes) {
    OverlaySet set;
    ProgressBarDrawInfo bar;
    bar.color = RgbaColor{1, 1, 1, 1};
    bar.heightPercent = 100;
    bar.bgOpacity = 0;
    set.progressBar = bar;
    const auto shared = std::make_shared<const OverlaySet>(set);
    // Records made for 101 × 51; the encoder's frame is 100 × 50. The bar covers all of it at t = D.
    for (int w : {101, 100}) {
        av::FramePtr f = allocateYuv420(w, w / 2);
        fillBlack(yuvViewOf(*f), false);
        OverlayRenderer(shared, 101, 51, 1).processFrame(yuvViewOf(*f), colorModelOf(SWS_CS_ITU601, false), 1);
        const YuvView v = yuvViewOf(*f);
        for (int y = 0; y < v.height; ++y)
            for (int x = 0; x < v.width; ++x)
                ASSERT_EQ(v.data[0][y * v.linesize[0] + x], 235) << w << " " << x << "," << y;
        // Chroma of white is neutral.
        EXPECT_EQ(v.data[1][0], 128);
    }
    // A frame of neither size is left alone.
    av::FramePtr other = allocateYuv420(64, 32);
    fillBlack(yuvViewOf(*other), false);
    OverlayRenderer(shared, 101, 51, 1).processFrame(yuvViewOf(*other), colorModelOf(SWS_CS_ITU601, false), 1);
    EXPECT_EQ(other->data[0][0], 16);
}

// A layer exists only while its window is open; one that comes back is drawn again the same.
TEST(OverlayLifetime, LayersAreFreedWhenTheirWindowEndsAndRebuiltWhenItReturns) {
    TextDrawInfo info = testing::plainText("Felirat", 96, 54, 16, 150);
    info.bgEnabled = true, info.bgColor = RgbaColor{0, 0, 0, 1};
    info.timeStart = 1, info.timeEnd = 2;
    FontMapPtr fonts;
    PangoContextPtr context = makeTextContext(fonts);
    TextOverlay text(info, context.get(), W, H);
    ImageDrawInfo picInfo;
    picInfo.cgImage = testing::solidPicture(8, 8, 1, 0, 0);
    picInfo.scalePercent = 30, picInfo.timeStart = 1, picInfo.timeEnd = 2;
    PictureOverlay picture(picInfo);

    auto drawAt = [&](double t) {
        TestFrame f(W, H);
        f.fill(Bgra{40, 40, 40, 255});
        {
            BgraTarget target(f.view());
            picture.draw(target, W, H, t);
            text.draw(target, W, H, t);
        }
        return f;
    };
    EXPECT_EQ(text.heldBytes(), 0u);
    TestFrame first = drawAt(1.5);
    EXPECT_GT(text.heldBytes(), 0u);
    EXPECT_GT(picture.heldBytes(), 0u);
    TestFrame after = drawAt(2.5);
    EXPECT_EQ(text.heldBytes(), 0u);
    EXPECT_EQ(picture.heldBytes(), 0u);
    EXPECT_EQ(after.at(96, 54), (Bgra{40, 40, 40, 255}));
    TestFrame again = drawAt(1.5);
    EXPECT_GT(text.heldBytes(), 0u);
    EXPECT_TRUE(again.samePixels(first));
    EXPECT_FALSE(again.samePixels(after));
}

}  // namespace
}  // namespace tamo
