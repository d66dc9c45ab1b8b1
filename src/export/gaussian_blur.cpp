#include "export/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include "export/vector_clones.h"

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

// A line of `lanes` interleaved values per position: one pixel's channels for a row, or a strip
// of columns' pixels for the vertical direction (then the inner loops run across many lanes).

// One extended-box pass: in covers [0, n) positions, out gets the valid part [r + 1, n - r - 1)
// shifted to start at 0.
TAMO_VECTOR_CLONES void boxPass(const float* __restrict in, int n, int lanes, float* __restrict out,
                                const ExtendedBox& b, std::vector<float>& sumBuf) {
    const int reach = b.r + 1;
    const int outCount = n - 2 * reach;
    if (outCount <= 0) return;
    // Float running sums: over the longest line the drift stays far below one level.
    sumBuf.assign(static_cast<std::size_t>(lanes), 0.0f);
    float* __restrict sum = sumBuf.data();
    for (int k = 1; k <= 2 * b.r + 1; ++k) {  // taps [1, 2r+1] are the inner window of output 0
        const float* row = in + static_cast<std::ptrdiff_t>(k) * lanes;
        for (int c = 0; c < lanes; ++c) sum[c] += row[c];
    }
    const float w = static_cast<float>(b.weight), wa = static_cast<float>(b.weight * b.alpha);
    for (int i = 0; i < outCount; ++i) {
        // Output i is centred on input i + reach: inner taps [i+1, i+2r+1], end taps i and i+2r+2.
        const float* lo = in + static_cast<std::ptrdiff_t>(i) * lanes;
        const float* hi = in + static_cast<std::ptrdiff_t>(i + 2 * b.r + 2) * lanes;
        float* o = out + static_cast<std::ptrdiff_t>(i) * lanes;
        for (int c = 0; c < lanes; ++c) o[c] = w * sum[c] + wa * (lo[c] + hi[c]);
        if (i + 1 < outCount) {
            const float* leaving = in + static_cast<std::ptrdiff_t>(i + 1) * lanes;
            for (int c = 0; c < lanes; ++c) sum[c] += hi[c] - leaving[c];
        }
    }
}

TAMO_VECTOR_CLONES void directPass(const float* __restrict in, int n, int lanes, float* __restrict out,
                                   const std::vector<double>& taps) {
    const int R = static_cast<int>(taps.size() / 2);
    for (int i = 0; i + 2 * R < n; ++i) {
        float* __restrict o = out + static_cast<std::ptrdiff_t>(i) * lanes;
        std::fill(o, o + lanes, 0.0f);
        for (int k = 0; k <= 2 * R; ++k) {
            const float* row = in + static_cast<std::ptrdiff_t>(i + k) * lanes;
            const float t = static_cast<float>(taps[k]);
            for (int c = 0; c < lanes; ++c) o[c] += t * row[c];
        }
    }
}

// Scratch space reused across lines.
struct LineBuffers {
    std::vector<float> a, b;
    std::vector<float> sums;
};

// Filters one padded line in place of buffers.a (count + 2 * reach positions filled by the
// caller); the result, count positions, is returned (it points into the buffers).
const float* filterLine(LineBuffers& buf, int count, int lanes, const LineFilter& filter) {
    const int n = count + 2 * filter.reach();
    buf.b.resize(static_cast<std::size_t>(n) * lanes);
    if (filter.direct) {
        directPass(buf.a.data(), n, lanes, buf.b.data(), filter.taps);
        return buf.b.data();
    }
    float* src = buf.a.data();
    float* dst = buf.b.data();
    int len = n;
    for (int p = 0; p < kPasses; ++p) {
        boxPass(src, len, lanes, dst, filter.box, buf.sums);
        len -= 2 * (filter.box.r + 1);
        std::swap(src, dst);
    }
    return src;
}

// A group of image rows into one interleaved line: position j holds every row's pixel at
// x = first + j (the edge pixels repeated beyond the image), row k in lane slots k·C … k·C + C - 1.
// Positions go outermost so that the line is written front to back; C is a constant here so that
// these per-pixel loops are tight: they cost more than the filtering itself.
template <int C>
void gatherRows(const std::uint8_t* const* rows, int count, int width, int first, int n, float* __restrict dst) {
    for (int j = 0; j < n; ++j) {
        const int x = std::clamp(first + j, 0, width - 1) * C;
        float* __restrict at = dst + static_cast<std::size_t>(j) * count * C;
        for (int k = 0; k < count; ++k)
            for (int c = 0; c < C; ++c) at[k * C + c] = rows[k][x + c];
    }
}

// The filtered line back out into plain rows of floats, `rowFloats` apart, front to back.
template <int C>
void scatterRows(const float* __restrict line, int count, int positions, float* __restrict dst, std::size_t rowFloats) {
    for (int x = 0; x < positions; ++x) {
        const float* __restrict from = line + static_cast<std::size_t>(x) * count * C;
        for (int k = 0; k < count; ++k)
            for (int c = 0; c < C; ++c) dst[k * rowFloats + static_cast<std::size_t>(x) * C + c] = from[k * C + c];
    }
}

// Calls f with the channel count as a compile-time constant (1 to 4).
template <typename F>
void forChannels(int channels, F&& f) {
    switch (channels) {
    case 1: f(std::integral_constant<int, 1>{}); break;
    case 2: f(std::integral_constant<int, 2>{}); break;
    case 3: f(std::integral_constant<int, 3>{}); break;
    default: f(std::integral_constant<int, 4>{}); break;
    }
}

// Columns handled together in the vertical direction: wide enough for the inner loops to run
// fast, narrow enough that the padded strip stays small for very large deviations.
constexpr int kStripColumns = 64;
constexpr int kRowGroup = 16;

void blurChannels(const PlaneView& img, PixelRect rect, double sigma) {
    const int C = img.channels;
    const LineFilter filter = filterFor(sigma);
    const int pad = filter.reach();
    const int rw = rect.x1 - rect.x0;
    const int rh = rect.y1 - rect.y0;
    // Horizontally blurred rows, only those the vertical pass can reach (beyond the frame the
    // clamped image repeats the edge rows, which are these rows' ends).
    const int ry0 = std::max(0, rect.y0 - pad);
    const int ry1 = std::min(img.height, rect.y1 + pad);
    const std::size_t rowFloats = static_cast<std::size_t>(rw) * C;
    // Scratch kept per thread: the export thread blurs every frame, and fresh pages cost more
    // than the blur itself.
    thread_local std::vector<float> rows;
    thread_local LineBuffers buf;
    rows.resize(static_cast<std::size_t>(ry1 - ry0) * rowFloats);

    // Rows go through in groups, interleaved so that one position holds the group's pixels:
    // the inner loops then run across many lanes, as in the vertical direction.
    const int n = rw + 2 * pad;
    for (int gy = ry0; gy < ry1; gy += kRowGroup) {
        const int rows_in_group = std::min(kRowGroup, ry1 - gy);
        const int lanes = rows_in_group * C;
        buf.a.resize(static_cast<std::size_t>(n) * lanes);
        const std::uint8_t* group[kRowGroup];
        for (int k = 0; k < rows_in_group; ++k) group[k] = img.data + static_cast<std::ptrdiff_t>(gy + k) * img.stride;
        forChannels(C, [&](auto channels) {
            gatherRows<decltype(channels)::value>(group, rows_in_group, img.width, rect.x0 - pad, n, buf.a.data());
        });
        const float* out = filterLine(buf, rw, lanes, filter);
        forChannels(C, [&](auto channels) {
            scatterRows<decltype(channels)::value>(out, rows_in_group, rw,
                                                   &rows[static_cast<std::size_t>(gy - ry0) * rowFloats], rowFloats);
        });
    }

    const int m = rh + 2 * pad;
    for (int sx = 0; sx < rw; sx += kStripColumns) {
        const int sw = std::min(kStripColumns, rw - sx);
        const int lanes = sw * C;
        buf.a.resize(static_cast<std::size_t>(m) * lanes);
        for (int j = 0; j < m; ++j) {
            const int y = std::clamp(rect.y0 - pad + j, 0, img.height - 1);
            const float* src = &rows[static_cast<std::size_t>(y - ry0) * rowFloats + static_cast<std::size_t>(sx) * C];
            std::copy(src, src + lanes, &buf.a[static_cast<std::size_t>(j) * lanes]);
        }
        const float* out = filterLine(buf, rh, lanes, filter);
        for (int y = 0; y < rh; ++y) {
            std::uint8_t* px = img.data + static_cast<std::ptrdiff_t>(rect.y0 + y) * img.stride +
                               static_cast<std::ptrdiff_t>(rect.x0 + sx) * C;
            const float* v = out + static_cast<std::ptrdiff_t>(y) * lanes;
            for (int c = 0; c < lanes; ++c) px[c] = static_cast<std::uint8_t>(std::clamp(v[c] + 0.5f, 0.0f, 255.0f));
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
    if (image.channels < 1 || image.channels > 4) return;
    blurChannels(image, rect, sigma);
}

}  // namespace tamo
