#include "export/overlay_target.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

inline std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

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

    auto blend = [&](const PlaneView& p, const std::vector<double>& wx, int x0, const std::vector<double>& wy, int y0,
                     double value) {
        for (std::size_t j = 0; j < wy.size(); ++j) {
            const int y = y0 + static_cast<int>(j);
            if (y < 0 || y >= p.height || wy[j] <= 0) continue;
            std::uint8_t* row = p.data + static_cast<std::size_t>(y) * p.stride;
            for (std::size_t i = 0; i < wx.size(); ++i) {
                const int x = x0 + static_cast<int>(i);
                const double w = a * wx[i] * wy[j];
                if (x < 0 || x >= p.width || w <= 0) continue;
                row[x] = toByte(row[x] * (1 - w) + value * w);
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
    cairo_surface_t* s = layer.surface.get();
    cairo_surface_flush(s);
    const std::uint8_t* pixels = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const int lw = cairo_image_surface_get_width(s), lh = cairo_image_surface_get_height(s);
    if (!pixels) return;
    // The layer's part inside the frame, in frame pixels.
    const int x0 = std::max(layer.area.x0, 0), y0 = std::max(layer.area.y0, 0);
    const int x1 = std::min({layer.area.x1, layer.area.x0 + lw, frame_.width});
    const int y1 = std::min({layer.area.y1, layer.area.y0 + lh, frame_.height});
    if (x1 <= x0 || y1 <= y0) return;

    const double kr = model_.kr, kb = model_.kb, kg = 1 - kr - kb;
    const double ys = model_.fullRange ? 1.0 : 219.0 / 255, yo = model_.fullRange ? 0.0 : 16.0;
    const double cs = model_.fullRange ? 1.0 : 224.0 / 255;
    const double ub = cs / (2 * (1 - kb)), vr = cs / (2 * (1 - kr));
    auto at = [&](int x, int y) {
        return pixels + static_cast<std::size_t>(y - layer.area.y0) * stride +
               4 * static_cast<std::size_t>(x - layer.area.x0);
    };

    // Luma: out = Y (1 - a A) + a (offset A + scale (kr R + kg G + kb B)), with R, G, B premultiplied.
    const PlaneView lp = frame_.plane(0);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* row = lp.data + static_cast<std::size_t>(y) * lp.stride;
        for (int x = x0; x < x1; ++x) {
            const std::uint8_t* p = at(x, y);
            if (p[3] == 0) continue;
            const double A = p[3] / 255.0;
            const double ey = kr * p[2] + kg * p[1] + kb * p[0];
            row[x] = toByte(row[x] * (1 - a * A) + a * (yo * A + ys * ey));
        }
    }

    // Chroma: the premultiplied colours and alphas of the luma samples under each chroma sample,
    // averaged (samples outside the layer are clear).
    const int sx = frame_.chromaShiftX, sy = frame_.chromaShiftY;
    const double samples = static_cast<double>(1 << (sx + sy));
    const PlaneView up = frame_.plane(1), vp = frame_.plane(2);
    const int cx0 = x0 >> sx, cy0 = y0 >> sy, cx1 = (x1 + (1 << sx) - 1) >> sx, cy1 = (y1 + (1 << sy) - 1) >> sy;
    for (int cy = cy0; cy < std::min(cy1, up.height); ++cy) {
        std::uint8_t* urow = up.data + static_cast<std::size_t>(cy) * up.stride;
        std::uint8_t* vrow = vp.data + static_cast<std::size_t>(cy) * vp.stride;
        for (int cx = cx0; cx < std::min(cx1, up.width); ++cx) {
            double R = 0, G = 0, B = 0, A = 0;
            for (int y = std::max(cy << sy, y0); y < std::min((cy + 1) << sy, y1); ++y)
                for (int x = std::max(cx << sx, x0); x < std::min((cx + 1) << sx, x1); ++x) {
                    const std::uint8_t* p = at(x, y);
                    B += p[0], G += p[1], R += p[2], A += p[3];
                }
            if (A == 0) continue;
            R /= samples, G /= samples, B /= samples, A /= 255 * samples;
            const double ey = kr * R + kg * G + kb * B;
            urow[cx] = toByte(urow[cx] * (1 - a * A) + a * (128 * A + ub * (B - ey)));
            vrow[cx] = toByte(vrow[cx] * (1 - a * A) + a * (128 * A + vr * (R - ey)));
        }
    }
}

}  // namespace tamo
