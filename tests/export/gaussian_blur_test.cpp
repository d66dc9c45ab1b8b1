// Our Gaussian blur against a direct convolution, and the blur regions of a frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "export/blur_regions.h"
#include "export/gaussian_blur.h"
#include "frame_fixture.h"

namespace tamo {
namespace {

using testing::Bgra;
using testing::TestFrame;

// Direct 2-D Gaussian convolution (separable, in double) of the image with its edges repeated,
// kernel out to 4 sigma, written into rect only.
std::vector<double> referenceBlur(const TestFrame& f, int channel, PixelRect rect, double sigma) {
    const int R = static_cast<int>(std::ceil(4 * sigma)) + 1;
    std::vector<double> k(2 * R + 1);
    double sum = 0;
    for (int i = -R; i <= R; ++i) sum += k[i + R] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& v : k) v /= sum;
    const int W = f.width(), H = f.height();
    auto value = [&](int x, int y) {
        const Bgra p = f.at(std::clamp(x, 0, W - 1), std::clamp(y, 0, H - 1));
        const int c[4] = {p.b, p.g, p.r, p.a};
        return static_cast<double>(c[channel]);
    };
    const int rw = rect.x1 - rect.x0, rh = rect.y1 - rect.y0;
    std::vector<double> horizontal(static_cast<std::size_t>(rw) * (rh + 2 * R));
    for (int y = rect.y0 - R; y < rect.y1 + R; ++y)
        for (int x = rect.x0; x < rect.x1; ++x) {
            double acc = 0;
            for (int i = -R; i <= R; ++i) acc += k[i + R] * value(x + i, y);
            horizontal[static_cast<std::size_t>(y - rect.y0 + R) * rw + (x - rect.x0)] = acc;
        }
    std::vector<double> out(static_cast<std::size_t>(rw) * rh);
    for (int y = rect.y0; y < rect.y1; ++y)
        for (int x = rect.x0; x < rect.x1; ++x) {
            double acc = 0;
            for (int i = -R; i <= R; ++i) {
                // Rows beyond the frame repeat the edge rows of the horizontally blurred image.
                const int yy = std::clamp(y + i, 0, H - 1);
                acc += k[i + R] * horizontal[static_cast<std::size_t>(yy - rect.y0 + R) * rw + (x - rect.x0)];
            }
            out[static_cast<std::size_t>(y - rect.y0) * rw + (x - rect.x0)] = acc;
        }
    return out;
}

void fillNoise(TestFrame& f, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(0, 255);
    // Blocks of noise plus a hard edge: both fine detail and a step for the kernel's shape.
    f.fill([&](int x, int) { return Bgra{d(rng), x < f.width() / 2 ? 30 : 220, d(rng), 255}; });
}

struct SigmaCase {
    double sigma;
    double maxError;
};

class BlurAgainstReference : public ::testing::TestWithParam<SigmaCase> {};

TEST_P(BlurAgainstReference, MatchesDirectConvolution) {
    const double sigma = GetParam().sigma;
    TestFrame f(140, 100);
    fillNoise(f, 7);
    const TestFrame original = f;
    // Touches the left and top edges so that the repeated edge is exercised.
    const PixelRect rect{0, 0, 90, 60};
    std::vector<std::vector<double>> expected;
    for (int c = 0; c < 4; ++c) expected.push_back(referenceBlur(original, c, rect, sigma));

    gaussianBlur(PlaneView{f.view().data, f.width(), f.height(), f.view().stride, 4}, rect, sigma);

    double worst = 0, total = 0;
    int n = 0;
    for (int y = rect.y0; y < rect.y1; ++y)
        for (int x = rect.x0; x < rect.x1; ++x) {
            const Bgra p = f.at(x, y);
            const int got[4] = {p.b, p.g, p.r, p.a};
            for (int c = 0; c < 4; ++c) {
                const double err = std::abs(got[c] - expected[c][static_cast<std::size_t>(y) * 90 + x]);
                worst = std::max(worst, err);
                total += err;
                ++n;
            }
        }
    std::printf("sigma %g: worst %.2f mean %.3f\n", sigma, worst, total / n);
    EXPECT_LE(worst, GetParam().maxError) << "sigma " << sigma;
    EXPECT_LE(total / n, 0.6) << "sigma " << sigma;
    f.forEach([&](int x, int y) {
        if (x >= rect.x1 || y >= rect.y1) {
            ASSERT_EQ(f.at(x, y), original.at(x, y)) << x << "," << y;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Sigmas, BlurAgainstReference,
                         ::testing::Values(SigmaCase{0.7, 1}, SigmaCase{1.5, 1}, SigmaCase{2.5, 4}, SigmaCase{5, 3},
                                           SigmaCase{15, 3}, SigmaCase{40, 3}));

TEST(GaussianBlur, AlphaMasksBlurLikeColour) {
    // A single opaque dot spreads into a symmetric glow whose total stays the same.
    std::vector<std::uint8_t> mask(41 * 41, 0);
    mask[20 * 41 + 20] = 255;
    gaussianBlur(PlaneView{mask.data(), 41, 41, 41, 1}, PixelRect{0, 0, 41, 41}, 3);
    int total = 0;
    for (auto v : mask) total += v;
    EXPECT_NEAR(total, 255, 30);
    EXPECT_EQ(mask[20 * 41 + 17], mask[20 * 41 + 23]);
    EXPECT_EQ(mask[17 * 41 + 20], mask[23 * 41 + 20]);
    EXPECT_GT(mask[20 * 41 + 20], mask[20 * 41 + 23]);
    EXPECT_GT(mask[20 * 41 + 23], 0);
}

TEST(GaussianBlur, UnusableSigmaLeavesTheImage) {
    for (double sigma : {0.0, -3.0, std::nan(""), double(INFINITY)}) {
        TestFrame f(20, 10);
        fillNoise(f, 3);
        const TestFrame original = f;
        gaussianBlur(PlaneView{f.view().data, 20, 10, f.view().stride, 4}, PixelRect{0, 0, 20, 10}, sigma);
        EXPECT_TRUE(f.samePixels(original)) << sigma;
    }
}

TEST(GaussianBlur, HugeSigmaIsBoundedAndFlattensTowardsTheMean) {
    TestFrame f(64, 48, 12);
    f.fill([](int x, int) { return Bgra{x < 32 ? 0 : 255, 0, 0, 255}; });
    gaussianBlur(PlaneView{f.view().data, 64, 48, f.view().stride, 4}, PixelRect{-100, -100, 1000, 1000}, 1e9);
    EXPECT_TRUE(f.guardsIntact());
    // Capped at the frame size (64): half dark, half bright with the edges repeated without end
    // gives 255 * Phi((x - 31.5) / 64).
    auto expected = [](int x) { return 255 * 0.5 * std::erfc(-(x - 31.5) / (64 * std::sqrt(2.0))); };
    EXPECT_NEAR(f.at(0, 0).b, expected(0), 4);
    EXPECT_NEAR(f.at(63, 47).b, expected(63), 4);
    EXPECT_NEAR(f.at(20, 30).b, expected(20), 4);
    EXPECT_EQ(f.at(10, 10).a, 255);
}

// --- Blur regions of a frame ---------------------------------------------------------------

TEST(BlurRegions, RegionCoversItsPercentages) {
    BlurDrawInfo r;
    r.xPercent = 50, r.yPercent = 50, r.widthPercent = 20, r.heightPercent = 10;
    EXPECT_EQ(blurRegionPixels(r, 1080, 1920), (PixelRect{432, 864, 648, 1056}));
    r.yPercent = 25;  // rows count from the top
    EXPECT_EQ(blurRegionPixels(r, 1080, 1920), (PixelRect{432, 384, 648, 576}));
    r.xPercent = 0;  // half of it hangs off the left edge
    EXPECT_EQ(blurRegionPixels(r, 1080, 1920), (PixelRect{0, 384, 108, 576}));
    r.widthPercent = std::nan("");
    EXPECT_TRUE(blurRegionPixels(r, 1080, 1920).empty());
    r.widthPercent = -20;  // a negative size still names the same rectangle
    r.xPercent = 50;
    EXPECT_EQ(blurRegionPixels(r, 1080, 1920), (PixelRect{432, 384, 648, 576}));
}

TEST(BlurRegions, OnlyTheRegionChangesAndItIsSmoothed) {
    TestFrame f(1080, 1920);
    f.fill([](int x, int y) { return ((x / 2 + y / 2) % 2) ? Bgra{255, 255, 255, 255} : Bgra{0, 0, 0, 255}; });
    const TestFrame original = f;
    BlurDrawInfo r;
    r.xPercent = 50, r.yPercent = 25, r.widthPercent = 20, r.heightPercent = 10, r.blurAmount = 15;
    r.timeStart = 0, r.timeEnd = 5;
    blurActiveRegions({r}, f.view(), 2.5);
    int changedOutside = 0;
    f.forEach([&](int x, int y) {
        const bool inside = x >= 432 && x < 648 && y >= 384 && y < 576;
        if (inside) {
            const Bgra p = f.at(x, y);
            ASSERT_NEAR(p.g, 128, 6) << x << "," << y;  // the checkerboard has become an even grey
        } else if (!(f.at(x, y) == original.at(x, y))) {
            ++changedOutside;
        }
    });
    EXPECT_EQ(changedOutside, 0);
}

TEST(BlurRegions, EdgesRepeatAndNeverPullInBlack) {
    TestFrame f(200, 120);
    f.fill(Bgra{50, 100, 200, 255});
    BlurDrawInfo corner;
    corner.xPercent = 0, corner.yPercent = 100, corner.widthPercent = 40, corner.heightPercent = 40;
    corner.blurAmount = 25, corner.timeStart = 0, corner.timeEnd = 1;
    blurActiveRegions({corner}, f.view(), 0);
    f.forEach([&](int x, int y) { ASSERT_EQ(f.at(x, y), (Bgra{50, 100, 200, 255})) << x << "," << y; });
}

TEST(BlurRegions, TimeWindowIncludesBothEnds) {
    BlurDrawInfo r;
    r.xPercent = 50, r.yPercent = 50, r.widthPercent = 100, r.heightPercent = 100, r.blurAmount = 3;
    r.timeStart = 2, r.timeEnd = 4;
    for (auto [t, blurred] :
         std::vector<std::pair<double, bool>>{{2, true}, {4, true}, {3, true}, {2 - 1e-6, false}, {4 + 1e-6, false}}) {
        TestFrame f(40, 30);
        fillNoise(f, 11);
        const TestFrame original = f;
        blurActiveRegions({r}, f.view(), t);
        EXPECT_EQ(!f.samePixels(original), blurred) << "t " << t;
    }
}

// Mean absolute difference between horizontal neighbours inside a box: the detail left.
double detail(const TestFrame& f, int x0, int y0, int x1, int y1) {
    double s = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x + 1 < x1; ++x, ++n) s += std::abs(f.at(x, y).g - f.at(x + 1, y).g);
    return s / n;
}

TEST(BlurRegions, OverlapIsBlurredTwice) {
    TestFrame f(300, 100);
    f.fill([](int x, int) { return (x / 3) % 2 ? Bgra{255, 255, 255, 255} : Bgra{0, 0, 0, 255}; });
    // A covers x 0..200, B covers x 100..300; the overlap is x 100..200.
    BlurDrawInfo a;
    a.xPercent = 100.0 / 3, a.yPercent = 50, a.widthPercent = 200.0 / 3, a.heightPercent = 100, a.blurAmount = 1.2;
    a.timeStart = 0, a.timeEnd = 1;
    BlurDrawInfo b = a;
    b.xPercent = 200.0 / 3;
    blurActiveRegions({a, b}, f.view(), 0.5);
    const double onlyA = detail(f, 20, 10, 80, 90);
    const double both = detail(f, 120, 10, 180, 90);
    const double onlyB = detail(f, 220, 10, 280, 90);
    EXPECT_GT(onlyA, 5);
    EXPECT_NEAR(onlyA, onlyB, 2);
    EXPECT_LT(both, onlyA * 0.6) << "the overlap must be smoother than either region alone";
}

}  // namespace
}  // namespace tamo
