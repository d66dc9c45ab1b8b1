// Layers blended into YUV planes in fixed point against the same blend worked out in doubles,
// layers redrawn in place never showing their old pixels, and the frame pool's reuse.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "export/overlay_target.h"
#include "export/yuv_frame.h"
#include "export/yuv_frame_pool.h"
#include "export/yuv_layer.h"

namespace tamo {
namespace {

// A layer of random premultiplied pixels: a third clear, a third opaque, the rest in between.
Layer randomLayer(PixelRect area, unsigned seed) {
    Layer layer = makeLayer(area);
    cairo_surface_t* s = layer.surface.get();
    cairo_surface_flush(s);
    std::uint8_t* px = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    std::mt19937 rng(seed);
    for (int y = 0; y < area.y1 - area.y0; ++y)
        for (int x = 0; x < area.x1 - area.x0; ++x) {
            std::uint8_t* p = px + y * stride + 4 * x;
            const int kind = static_cast<int>(rng() % 3);
            const int a = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<int>(1 + rng() % 254);
            for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(a ? rng() % (a + 1) : 0);
            p[3] = static_cast<std::uint8_t>(a);
        }
    cairo_surface_mark_dirty(s);
    return layer;
}

// Planes of random values, each a copy of the other's starting point.
struct Planes {
    int width, height, shift;
    std::vector<std::uint8_t> p[3];
    Planes(int w, int h, int s, unsigned seed) : width(w), height(h), shift(s) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 3; ++i) {
            p[i].resize(static_cast<std::size_t>(i ? cw() * ch() : w * h));
            for (auto& v : p[i]) v = static_cast<std::uint8_t>(rng());
        }
    }
    int cw() const { return (width + (1 << shift) - 1) >> shift; }
    int ch() const { return (height + (1 << shift) - 1) >> shift; }
    YuvView view() {
        YuvView v;
        for (int i = 0; i < 3; ++i) v.data[i] = p[i].data(), v.linesize[i] = i ? cw() : width;
        v.width = width, v.height = height, v.chromaShiftX = v.chromaShiftY = shift;
        return v;
    }
};

// The blend the way it is defined: luma out = Y (1 - a A) + a (offset A + scale (kr R + kg G + kb B)),
// chroma from the premultiplied pixels under each sample, averaged. Marks the samples it changes.
void referenceBlend(const Layer& layer, Planes& f, const YuvColorModel& m, double a, std::vector<bool> touched[3]) {
    for (int i = 0; i < 3; ++i) touched[i].assign(f.p[i].size(), false);
    cairo_surface_t* s = layer.surface.get();
    const std::uint8_t* px = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    auto pixel = [&](int x, int y) -> const std::uint8_t* {
        if (x < layer.area.x0 || y < layer.area.y0 || x >= layer.area.x1 || y >= layer.area.y1) return nullptr;
        return px + (y - layer.area.y0) * stride + 4 * (x - layer.area.x0);
    };
    const double kg = 1 - m.kr - m.kb, ys = m.fullRange ? 1 : 219 / 255.0, yo = m.fullRange ? 0 : 16;
    const double cs = m.fullRange ? 1 : 224 / 255.0;
    auto put = [](std::uint8_t& v, double x) { v = static_cast<std::uint8_t>(std::clamp(std::lround(x), 0L, 255L)); };
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            if (const std::uint8_t* p = pixel(x, y); p && p[3]) {
                const double A = p[3] / 255.0;
                touched[0][y * f.width + x] = true;
                std::uint8_t& v = f.p[0][y * f.width + x];
                put(v, v * (1 - a * A) + a * (yo * A + ys * (m.kr * p[2] + kg * p[1] + m.kb * p[0])));
            }
    const int n = 1 << (2 * f.shift);
    for (int cy = 0; cy < f.ch(); ++cy)
        for (int cx = 0; cx < f.cw(); ++cx) {
            double R = 0, G = 0, B = 0, A = 0;
            for (int y = cy << f.shift; y < std::min((cy + 1) << f.shift, f.height); ++y)
                for (int x = cx << f.shift; x < std::min((cx + 1) << f.shift, f.width); ++x)
                    if (const std::uint8_t* p = pixel(x, y)) B += p[0], G += p[1], R += p[2], A += p[3];
            if (A == 0) continue;
            R /= n, G /= n, B /= n, A /= 255.0 * n;
            const double ey = m.kr * R + kg * G + m.kb * B;
            touched[1][cy * f.cw() + cx] = touched[2][cy * f.cw() + cx] = true;
            std::uint8_t& u = f.p[1][cy * f.cw() + cx];
            std::uint8_t& v = f.p[2][cy * f.cw() + cx];
            put(u, u * (1 - a * A) + a * (128 * A + cs / (2 * (1 - m.kb)) * (B - ey)));
            put(v, v * (1 - a * A) + a * (128 * A + cs / (2 * (1 - m.kr)) * (R - ey)));
        }
}

// Layers inside, across the edges of and beyond odd-sized frames, at several alphas, matrices,
// ranges and subsamplings: every sample within a level of the double-precision blend, and every
// sample the layer leaves clear or never reaches exactly as it was.
TEST(YuvLayerBlend, FixedPointBlendAgreesWithTheDefinitionAndLeavesUncoveredSamplesAlone) {
    const PixelRect areas[] = {{5, 3, 40, 30}, {-7, -5, 20, 12}, {30, 20, 61, 45}, {1, 1, 2, 2}};
    const YuvColorModel models[] = {colorModelOf(SWS_CS_ITU601, false), colorModelOf(SWS_CS_ITU709, true),
                                    colorModelOf(SWS_CS_BT2020, false)};
    unsigned seed = 1;
    for (int shift : {1, 0})
        for (const PixelRect& area : areas)
            for (const YuvColorModel& m : models)
                for (double alpha : {1.0, 0.8, 0.37, 0.004}) {
                    const Layer layer = randomLayer(area, ++seed);
                    Planes got(51, 37, shift, seed), want(51, 37, shift, seed);
                    const Planes before(51, 37, shift, seed);
                    YuvTarget(got.view(), m).composite(layer, alpha);
                    std::vector<bool> touched[3];
                    referenceBlend(layer, want, m, alpha, touched);
                    int covered = 0, offByOne = 0;
                    for (int i = 0; i < 3; ++i)
                        for (std::size_t k = 0; k < got.p[i].size(); ++k) {
                            const int d = std::abs(got.p[i][k] - want.p[i][k]);
                            ASSERT_LE(d, 1)
                                << "plane " << i << " sample " << k << " alpha " << alpha << " shift " << shift;
                            covered += touched[i][k] ? 1 : 0;
                            offByOne += d;
                            // Clear or out of reach: the sample keeps its value to the bit.
                            if (!touched[i][k]) {
                                ASSERT_EQ(got.p[i][k], before.p[i][k]) << "plane " << i << " sample " << k;
                            }
                        }
                    // Rounded, not truncated: a level off only where the exact value sits on a half.
                    EXPECT_LE(offByOne, covered / 50) << "alpha " << alpha << " shift " << shift;
                }
}

// A layer redrawn into the same memory (an animated text) is blended with its new pixels, and the
// same layer on a frame of another model is converted for that model.
TEST(YuvLayerBlend, RedrawnLayersAndOtherModelsAreConvertedAgain) {
    const PixelRect area{4, 4, 28, 20};
    const YuvColorModel bt601 = colorModelOf(SWS_CS_ITU601, false), bt709full = colorModelOf(SWS_CS_ITU709, true);
    auto paint = [](const Layer& l, double r, double g, double b) {
        CairoPtr cr = layerContext(l);
        cairo_set_source_rgba(cr.get(), r, g, b, 1);
        cairo_paint(cr.get());
    };
    Layer red = makeLayer(area);
    paint(red, 1, 0, 0);
    Planes first(32, 24, 1, 7), second(32, 24, 1, 7), fresh(32, 24, 1, 7), other(32, 24, 1, 7);
    YuvTarget(first.view(), bt601).composite(red, 1);

    Layer blue = makeLayer(area, std::move(red));  // same size: the same memory, cleared
    paint(blue, 0, 0, 1);
    YuvTarget(second.view(), bt601).composite(blue, 1);
    Layer freshBlue = makeLayer(area);
    paint(freshBlue, 0, 0, 1);
    YuvTarget(fresh.view(), bt601).composite(freshBlue, 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(second.p[i], fresh.p[i]) << "plane " << i;
    EXPECT_NE(first.p[2], second.p[2]);  // red and blue differ in V

    YuvTarget(other.view(), bt709full).composite(freshBlue, 1);
    EXPECT_EQ(other.p[0][10 * 32 + 10], std::lround(0.0722 * 255));  // full-range BT.709 luma of blue
    EXPECT_GT(layerBytes(freshBlue),
              static_cast<std::size_t>(cairo_image_surface_get_stride(freshBlue.surface.get())) * 16);
}

TEST(YuvFramePool, FramesAreLaidOutForTheEncoderAndTheirMemoryComesBack) {
    const std::uint8_t* firstPlane = nullptr;
    av::FramePtr outliving;
    {
        Yuv420FramePool pool(101, 51);
        av::FramePtr a = pool.get(), b = pool.get();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->format, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(a->width, 101);
        EXPECT_EQ(a->height, 51);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a->data[i]) % 64, 0u) << i;
            EXPECT_GE(a->linesize[i], i ? 51 : 101);
            EXPECT_EQ(a->linesize[i] % 64, 0) << i;
        }
        // The planes of one frame and of two frames never overlap: fill each and read back.
        const YuvView va = yuvViewOf(*a), vb = yuvViewOf(*b);
        fillBlack(va, false);
        fillBlack(vb, true);
        EXPECT_EQ(a->data[0][50 * a->linesize[0] + 100], 16);
        EXPECT_EQ(a->data[2][25 * a->linesize[2] + 50], 128);
        EXPECT_EQ(b->data[0][0], 0);
        firstPlane = a->data[0];
        a.reset();
        av::FramePtr again = pool.get();
        EXPECT_EQ(again->data[0], firstPlane);  // the released memory is handed out again
        outliving = std::move(again);
        EXPECT_FALSE(Yuv420FramePool(0, 10).get());
        EXPECT_FALSE(Yuv420FramePool(10, -1).get());
    }
    // A frame outlives its pool and stays usable.
    fillBlack(yuvViewOf(*outliving), false);
    EXPECT_EQ(outliving->data[1][0], 128);
}

}  // namespace
}  // namespace tamo
