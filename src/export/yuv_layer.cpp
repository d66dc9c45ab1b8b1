#include "export/yuv_layer.h"

#include <algorithm>
#include <cmath>

#include "export/vector_clones.h"

namespace tamo {
namespace {

// A level in 1/256 steps, rounded, kept inside what the 16-bit sample store holds. Runs for
// every pixel of a layer redrawn on every frame (an animation): no library rounding call.
std::uint16_t fixed8(double level) {
    const double v = std::clamp(level * 256, 0.0, 65535.0);
    return static_cast<std::uint16_t>(v + 0.5 < 65535.0 ? v + 0.5 : 65535.0);
}

// Blends one plane: out = P (1 - w) + alpha V, with w = alpha · coverage / (255 · samples).
// All in fixed point and without branches, so that the compiler runs it across vector lanes; a
// sample the layer leaves clear (coverage and value 0) keeps its exact value.
TAMO_VECTOR_CLONES void blendPlane(const YuvLayerPlane& lp, const PlaneView& plane, int valueIndex, double alpha) {
    const auto alpha16 = static_cast<std::uint32_t>(std::lround(alpha * 65536));  // ≤ 65536
    // Weight of one unit of coverage in 1/2^24, rounded down so that w never passes 65536.
    const auto unit = static_cast<std::uint32_t>(alpha * 65536.0 * 256.0 / (255.0 * lp.samples));
    const int w = lp.area.x1 - lp.area.x0;
    const std::vector<std::uint16_t>& values = lp.value[valueIndex];
    for (int y = lp.area.y0; y < lp.area.y1; ++y) {
        std::uint8_t* __restrict row = plane.data + static_cast<std::size_t>(y) * plane.stride + lp.area.x0;
        const std::size_t at = static_cast<std::size_t>(y - lp.area.y0) * w;
        const std::uint16_t* __restrict cov = lp.coverage.data() + at;
        const std::uint16_t* __restrict val = values.data() + at;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t weight = (cov[x] * unit + 128) >> 8;  // 1/65536; cov · unit < 2^25
            // alpha16 · val < 2^32; >> 8 leaves 1/65536 of a level.
            const std::uint32_t v = (row[x] * (65536u - weight) + ((alpha16 * val[x]) >> 8) + 32768u) >> 16;
            row[x] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
        }
    }
}

}  // namespace

bool YuvLayer::madeFor(const YuvView& f, const YuvColorModel& m) const {
    return frameWidth == f.width && frameHeight == f.height && chromaShiftX == f.chromaShiftX &&
           chromaShiftY == f.chromaShiftY && model.kr == m.kr && model.kb == m.kb && model.fullRange == m.fullRange;
}

std::shared_ptr<YuvLayer> convertLayer(const Layer& layer, const YuvView& frame, const YuvColorModel& m) {
    if (!layer.surface) return {};
    cairo_surface_t* s = layer.surface.get();
    cairo_surface_flush(s);
    const std::uint8_t* pixels = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const int lw = cairo_image_surface_get_width(s), lh = cairo_image_surface_get_height(s);
    if (!pixels) return {};
    // The layer's part inside the frame, in frame pixels.
    const int x0 = std::max(layer.area.x0, 0), y0 = std::max(layer.area.y0, 0);
    const int x1 = std::min({layer.area.x1, layer.area.x0 + lw, frame.width});
    const int y1 = std::min({layer.area.y1, layer.area.y0 + lh, frame.height});
    if (x1 <= x0 || y1 <= y0) return {};

    // The spare's vectors keep their capacity through the assigns below.
    std::shared_ptr<YuvLayer> out = std::move(layer.yuvSpare);
    if (!out || out.use_count() != 1) out = std::make_shared<YuvLayer>();
    out->chroma.area = PixelRect{};  // set again below unless the layer has no chroma in the frame
    out->model = m;
    out->frameWidth = frame.width, out->frameHeight = frame.height;
    out->chromaShiftX = frame.chromaShiftX, out->chromaShiftY = frame.chromaShiftY;

    const double kr = m.kr, kb = m.kb, kg = 1 - kr - kb;
    const double ys = m.fullRange ? 1.0 : 219.0 / 255, yo = m.fullRange ? 0.0 : 16.0;
    const double cs = m.fullRange ? 1.0 : 224.0 / 255;
    const double ub = cs / (2 * (1 - kb)), vr = cs / (2 * (1 - kr));
    auto at = [&](int x, int y) {
        return pixels + static_cast<std::size_t>(y - layer.area.y0) * stride +
               4 * static_cast<std::size_t>(x - layer.area.x0);
    };

    // Luma: V = offset A + scale (kr R + kg G + kb B), with R, G, B premultiplied.
    YuvLayerPlane& l = out->luma;
    l.area = PixelRect{x0, y0, x1, y1};
    const std::size_t lumaCount = static_cast<std::size_t>(x1 - x0) * (y1 - y0);
    l.coverage.assign(lumaCount, 0);
    l.value[0].assign(lumaCount, 0);
    std::size_t i = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++i) {
            const std::uint8_t* p = at(x, y);
            if (p[3] == 0) continue;
            l.coverage[i] = p[3];
            l.value[0][i] = fixed8(yo * p[3] / 255.0 + ys * (kr * p[2] + kg * p[1] + kb * p[0]));
        }

    // Chroma: the premultiplied colours and alphas of the luma pixels under each sample, averaged
    // (pixels outside the layer are clear).
    const int sx = frame.chromaShiftX, sy = frame.chromaShiftY;
    YuvLayerPlane& c = out->chroma;
    c.samples = 1 << (sx + sy);
    c.area = PixelRect{x0 >> sx, y0 >> sy, std::min((x1 + (1 << sx) - 1) >> sx, frame.chromaWidth()),
                       std::min((y1 + (1 << sy) - 1) >> sy, frame.chromaHeight())};
    if (c.area.empty()) return out;
    const std::size_t chromaCount = static_cast<std::size_t>(c.area.x1 - c.area.x0) * (c.area.y1 - c.area.y0);
    c.coverage.assign(chromaCount, 0);
    c.value[0].assign(chromaCount, 0);
    c.value[1].assign(chromaCount, 0);
    const double n = c.samples;
    i = 0;
    for (int cy = c.area.y0; cy < c.area.y1; ++cy)
        for (int cx = c.area.x0; cx < c.area.x1; ++cx, ++i) {
            int R = 0, G = 0, B = 0, A = 0;
            for (int y = std::max(cy << sy, y0); y < std::min((cy + 1) << sy, y1); ++y)
                for (int x = std::max(cx << sx, x0); x < std::min((cx + 1) << sx, x1); ++x) {
                    const std::uint8_t* p = at(x, y);
                    B += p[0], G += p[1], R += p[2], A += p[3];
                }
            if (A == 0) continue;
            const double r = R / n, g = G / n, b = B / n, a = A / (255 * n);
            const double ey = kr * r + kg * g + kb * b;
            c.coverage[i] = static_cast<std::uint16_t>(A);
            c.value[0][i] = fixed8(128 * a + ub * (b - ey));
            c.value[1][i] = fixed8(128 * a + vr * (r - ey));
        }
    return out;
}

void blendLayer(const YuvLayer& layer, const YuvView& frame, double alpha) {
    if (!(alpha > 0)) return;
    alpha = std::min(alpha, 1.0);
    blendPlane(layer.luma, frame.plane(0), 0, alpha);
    if (layer.chroma.area.empty()) return;
    blendPlane(layer.chroma, frame.plane(1), 0, alpha);
    blendPlane(layer.chroma, frame.plane(2), 1, alpha);
}

}  // namespace tamo
