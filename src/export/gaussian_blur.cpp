#include "export/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tamo {

namespace {

constexpr int kPasses = 3;

// A box of radius r with its two end taps weighted alpha (0 <= alpha < 1), normalised.
// Three of them in a row have the variance of the Gaussian and look like it within a level or two.
struct ExtendedBox {
    int r = 0;
    double alpha = 0;
    double weight = 1;  // of the inner taps
};

ExtendedBox boxFor(double sigma) {
    const double v = sigma * sigma / kPasses;  // variance each pass must add
    ExtendedBox b;
    // Largest plain box whose variance r(r+1)/3 does not exceed v.
    b.r = static_cast<int>(std::floor(0.5 * (std::sqrt(12.0 * v + 1.0) - 1.0)));
    while (b.r > 0 && b.r * (b.r + 1.0) / 3.0 > v) --b.r;
    while ((b.r + 1.0) * (b.r + 2.0) / 3.0 <= v) ++b.r;
    const double r = b.r;
    b.alpha = (2 * r + 1) * (v - r * (r + 1) / 3.0) / (2 * ((r + 1) * (r + 1) - v));
    b.alpha = std::clamp(b.alpha, 0.0, 1.0);
    b.weight = 1.0 / (2 * r + 1 + 2 * b.alpha);
    return b;
}

// One pass over a padded line of C-channel floats: in covers [0, n), out gets the valid part
// [r + 1, n - r - 1) shifted to start at 0.
template <int C>
void boxPass(const float* in, int n, float* out, const ExtendedBox& b) {
    const int reach = b.r + 1;
    const int outCount = n - 2 * reach;
    if (outCount <= 0) return;
    double sum[C] = {};
    for (int k = 1; k <= 2 * b.r + 1; ++k)  // taps [1, 2r+1] are the inner window of output 0
        for (int c = 0; c < C; ++c) sum[c] += in[k * C + c];
    const double w = b.weight, wa = b.weight * b.alpha;
    for (int i = 0; i < outCount; ++i) {
        // Output i is centred on input i + reach: inner taps [i+1, i+2r+1], end taps i and i+2r+2.
        const float* lo = in + i * C;
        const float* hi = in + (i + 2 * b.r + 2) * C;
        for (int c = 0; c < C; ++c) out[i * C + c] = static_cast<float>(w * sum[c] + wa * (lo[c] + hi[c]));
        if (i + 1 < outCount) {
            const float* leaving = in + (i + 1) * C;
            const float* entering = in + (i + 2 * b.r + 2) * C;
            for (int c = 0; c < C; ++c) sum[c] += entering[c] - leaving[c];
        }
    }
}

// Below this deviation three boxes are too coarse to look Gaussian; a short direct kernel is
// used instead (at most 2 * 8 + 1 taps, so the cost stays bounded either way).
constexpr double kDirectKernelBelow = 2.0;

struct LineFilter {
    bool direct = false;
    std::vector<double> taps;  // direct: weights for offsets -R..R
    ExtendedBox box;
    int reach() const { return direct ? static_cast<int>(taps.size() / 2) : kPasses * (box.r + 1); }
};

LineFilter filterFor(double sigma) {
    LineFilter f;
    if (sigma >= kDirectKernelBelow) {
        f.box = boxFor(sigma);
        return f;
    }
    f.direct = true;
    const int R = static_cast<int>(std::ceil(4 * sigma));
    f.taps.resize(2 * R + 1);
    double sum = 0;
    for (int i = -R; i <= R; ++i) sum += f.taps[i + R] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& t : f.taps) t /= sum;
    return f;
}

template <int C>
void directPass(const float* in, int n, float* out, const std::vector<double>& taps) {
    const int R = static_cast<int>(taps.size() / 2);
    for (int i = 0; i + 2 * R < n; ++i) {
        double acc[C] = {};
        for (int k = 0; k <= 2 * R; ++k)
            for (int c = 0; c < C; ++c) acc[c] += taps[k] * in[(i + k) * C + c];
        for (int c = 0; c < C; ++c) out[i * C + c] = static_cast<float>(acc[c]);
    }
}

// Blurs one line. `fetch(j, dst)` writes the C channels of line position j (any integer; the
// caller clamps to the image) into dst. Results for positions [start, start + count) go to out.
template <int C, typename Fetch>
void blurLine(Fetch&& fetch, int start, int count, const LineFilter& filter, std::vector<float>& bufA,
              std::vector<float>& bufB, float* out) {
    const int pad = filter.reach();
    const int n = count + 2 * pad;
    bufA.resize(static_cast<std::size_t>(n) * C);
    bufB.resize(static_cast<std::size_t>(n) * C);
    for (int j = 0; j < n; ++j) fetch(start - pad + j, &bufA[static_cast<std::size_t>(j) * C]);
    if (filter.direct) {
        directPass<C>(bufA.data(), n, out, filter.taps);
        return;
    }
    float* src = bufA.data();
    float* dst = bufB.data();
    int len = n;
    for (int p = 0; p < kPasses; ++p) {
        boxPass<C>(src, len, dst, filter.box);
        len -= 2 * (filter.box.r + 1);
        std::swap(src, dst);
    }
    std::copy(src, src + static_cast<std::size_t>(count) * C, out);
}

template <int C>
void blurChannels(const PlaneView& img, PixelRect rect, double sigma) {
    const LineFilter b = filterFor(sigma);
    const int pad = b.reach();
    const int rw = rect.x1 - rect.x0;
    // Horizontally blurred rows, only those the vertical pass can reach (beyond the frame the
    // clamped image repeats the edge rows, which are these rows' ends).
    const int ry0 = std::max(0, rect.y0 - pad);
    const int ry1 = std::min(img.height, rect.y1 + pad);
    std::vector<float> rows(static_cast<std::size_t>(ry1 - ry0) * rw * C);
    std::vector<float> bufA, bufB;

    for (int y = ry0; y < ry1; ++y) {
        const std::uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
        auto fetch = [&](int x, float* dst) {
            const std::uint8_t* px = row + static_cast<std::ptrdiff_t>(std::clamp(x, 0, img.width - 1)) * C;
            for (int c = 0; c < C; ++c) dst[c] = px[c];
        };
        blurLine<C>(fetch, rect.x0, rw, b, bufA, bufB, &rows[static_cast<std::size_t>(y - ry0) * rw * C]);
    }

    std::vector<float> column(static_cast<std::size_t>(rect.y1 - rect.y0) * C);
    for (int x = 0; x < rw; ++x) {
        auto fetch = [&](int y, float* dst) {
            const int yy = std::clamp(y, 0, img.height - 1);
            const float* px = &rows[(static_cast<std::size_t>(yy - ry0) * rw + x) * C];
            for (int c = 0; c < C; ++c) dst[c] = px[c];
        };
        blurLine<C>(fetch, rect.y0, rect.y1 - rect.y0, b, bufA, bufB, column.data());
        for (int y = rect.y0; y < rect.y1; ++y) {
            std::uint8_t* px = img.data + static_cast<std::ptrdiff_t>(y) * img.stride +
                               static_cast<std::ptrdiff_t>(rect.x0 + x) * C;
            const float* v = &column[static_cast<std::size_t>(y - rect.y0) * C];
            for (int c = 0; c < C; ++c) px[c] = static_cast<std::uint8_t>(std::clamp(std::lround(v[c]), 0L, 255L));
        }
    }
}

}  // namespace

void gaussianBlur(const PlaneView& image, PixelRect rect, double sigma) {
    if (!image.data || image.width <= 0 || image.height <= 0) return;
    if (!(sigma > 0) || !std::isfinite(sigma)) return;
    rect.x0 = std::max(rect.x0, 0);
    rect.y0 = std::max(rect.y0, 0);
    rect.x1 = std::min(rect.x1, image.width);
    rect.y1 = std::min(rect.y1, image.height);
    if (rect.empty()) return;
    // Beyond the frame's size a larger deviation only flattens the region further towards the
    // clamped edges; capping it bounds the work per frame.
    sigma = std::min(sigma, static_cast<double>(std::max(image.width, image.height)));
    switch (image.channels) {
        case 4: blurChannels<4>(image, rect, sigma); break;
        case 1: blurChannels<1>(image, rect, sigma); break;
        default: break;
    }
}

}  // namespace tamo
