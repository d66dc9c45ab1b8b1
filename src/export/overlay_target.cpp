#include "export/overlay_target.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "export/yuv_layer.h"

namespace tamo {

// --- BGRA ---------------------------------------------------------------------------------------

BgraTarget::~BgraTarget() {
    cr_.reset();
    if (surface_) cairo_surface_flush(surface_.get());
}

cairo_t* BgraTarget::context() {
    if (!surface_) {
        surface_.reset(cairo_image_surface_create_for_data(frame_.data, CAIRO_FORMAT_ARGB32, frame_.width,
                                                           frame_.height, frame_.stride));
        if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) return nullptr;  // frame keeps its picture
    }
    if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    // One bad overlay must not silence the rest: a context in an error state is replaced.
    if (!cr_ || cairo_status(cr_.get()) != CAIRO_STATUS_SUCCESS) cr_.reset(cairo_create(surface_.get()));
    return cr_.get();
}

void BgraTarget::blur(PixelRect rect, double sigma) {
    if (surface_) cairo_surface_flush(surface_.get());
    gaussianBlur(PlaneView{frame_.data, frame_.width, frame_.height, frame_.stride, 4}, rect, sigma);
    if (surface_) cairo_surface_mark_dirty(surface_.get());
}

void BgraTarget::fillBox(const FrameBox& b, const RgbaColor& color, double alpha) {
    cairo_t* cr = context();
    if (!cr) return;
    cairo_save(cr);
    setSourceColor(cr, color, alpha);
    cairo_rectangle(cr, b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
    cairo_fill(cr);
    cairo_restore(cr);
}

void BgraTarget::composite(const Layer& layer, double alpha) {
    if (!layer.surface || !(alpha > 0)) return;
    if (cairo_t* cr = context()) compositeLayer(cr, layer, alpha);
}

// --- YUV ----------------------------------------------------------------------------------------

namespace {

// Share of each pixel [i, i + 1) that the span [a, b) covers, for pixels first … first + n - 1.
std::vector<double> spanCoverage(double a, double b, int first, int n) {
    std::vector<double> c(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        const double x = first + i;
        c[static_cast<std::size_t>(i)] = std::max(0.0, std::min(x + 1, b) - std::max(x, a));
    }
    return c;
}

// The luma coverages averaged over each chroma sample's 2^shift luma samples.
std::vector<double> chromaCoverage(const std::vector<double>& luma, int lumaFirst, int shift, int& chromaFirst) {
    chromaFirst = lumaFirst >> shift;
    const int lumaEnd = lumaFirst + static_cast<int>(luma.size());
    const int chromaEnd = (lumaEnd + (1 << shift) - 1) >> shift;
    std::vector<double> c(static_cast<std::size_t>(std::max(0, chromaEnd - chromaFirst)), 0.0);
    for (int i = lumaFirst; i < lumaEnd; ++i)
        c[static_cast<std::size_t>((i >> shift) - chromaFirst)] += luma[static_cast<std::size_t>(i - lumaFirst)];
    for (double& v : c) v /= (1 << shift);
    return c;
}

}  // namespace

void YuvTarget::blur(PixelRect r, double sigma) {
    if (r.empty() || !std::isfinite(sigma) || sigma <= 0) return;
    gaussianBlur(frame_.plane(0), r, sigma);
    // The Gaussian is linear, so blurring each plane is blurring the colours; a chroma sample
    // the region reaches into at all is blurred with it.
    const int sx = frame_.chromaShiftX, sy = frame_.chromaShiftY;
    const PixelRect c{r.x0 >> sx, r.y0 >> sy, (r.x1 + (1 << sx) - 1) >> sx, (r.y1 + (1 << sy) - 1) >> sy};
    const double chromaSigma = sigma / (1 << std::max(sx, sy));
    gaussianBlur(frame_.plane(1), c, chromaSigma);
    gaussianBlur(frame_.plane(2), c, chromaSigma);
}

void YuvTarget::fillBox(const FrameBox& box, const RgbaColor& color, double alpha) {
    const double a = unitInterval(alpha);
    if (!(a > 0) || !box.finite()) return;
    const PixelRect px = pixelsTouched(box, frame_.width, frame_.height);
    if (px.empty()) return;
    const YuvValue c = rgbToYuv(model_, 255 * unitInterval(color.red), 255 * unitInterval(color.green),
                                255 * unitInterval(color.blue));
    const std::vector<double> cx = spanCoverage(box.x0, box.x1, px.x0, px.x1 - px.x0);
    const std::vector<double> cy = spanCoverage(box.y0, box.y1, px.y0, px.y1 - px.y0);

    // Weights in 1/65536: across a row they are the column coverages scaled by the row's.
    auto blend = [&](const PlaneView& p, const std::vector<double>& wx, int x0, const std::vector<double>& wy, int y0,
                     double value) {
        const std::uint32_t v256 = static_cast<std::uint32_t>(std::clamp(std::lround(value * 256), 0L, 65280L));
        const int first = std::max(x0, 0), last = std::min(x0 + static_cast<int>(wx.size()), p.width);
        if (last <= first) return;
        std::vector<std::uint32_t> colW(static_cast<std::size_t>(last - first));
        for (int x = first; x < last; ++x)
            colW[static_cast<std::size_t>(x - first)] =
                static_cast<std::uint32_t>(std::lround(wx[static_cast<std::size_t>(x - x0)] * 65536));
        for (std::size_t j = 0; j < wy.size(); ++j) {
            const int y = y0 + static_cast<int>(j);
            if (y < 0 || y >= p.height || wy[j] <= 0) continue;
            const std::uint64_t rowW = static_cast<std::uint64_t>(std::lround(a * wy[j] * 65536));
            std::uint8_t* row = p.data + static_cast<std::size_t>(y) * p.stride + first;
            for (int i = 0; i < last - first; ++i) {
                const auto w = static_cast<std::uint32_t>((colW[static_cast<std::size_t>(i)] * rowW + 32768) >> 16);
                // w ≤ 65536 and v256 < 65536: the product fits 32 bits; >> 8 leaves 1/65536 of a level.
                const std::uint32_t v = (row[i] * (65536u - w) + ((w * v256) >> 8) + 32768u) >> 16;
                row[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
            }
        }
    };
    blend(frame_.plane(0), cx, px.x0, cy, px.y0, c.y);
    int ccx0 = 0, ccy0 = 0;
    const std::vector<double> ccx = chromaCoverage(cx, px.x0, frame_.chromaShiftX, ccx0);
    const std::vector<double> ccy = chromaCoverage(cy, px.y0, frame_.chromaShiftY, ccy0);
    blend(frame_.plane(1), ccx, ccx0, ccy, ccy0, c.u);
    blend(frame_.plane(2), ccx, ccx0, ccy, ccy0, c.v);
}

void YuvTarget::composite(const Layer& layer, double alpha) {
    const double a = unitInterval(alpha);
    if (!layer.surface || !(a > 0)) return;
    // Converted on the first frame that shows it; the frames after only blend.
    if (!layer.yuv || !layer.yuv->madeFor(frame_, model_)) layer.yuv = convertLayer(layer, frame_, model_);
    if (layer.yuv) blendLayer(*layer.yuv, frame_, a);
}

}  // namespace tamo
