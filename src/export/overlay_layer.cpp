#include "export/overlay_layer.h"

#include <algorithm>
#include <cmath>

#include "export/overlay_target.h"
#include "export/yuv_layer.h"

namespace tamo {

FrameBox FrameBox::fromRect(double x, double y, double w, double h) {
    FrameBox b{x, y, x + w, y + h};
    if (b.x1 < b.x0) std::swap(b.x0, b.x1);
    if (b.y1 < b.y0) std::swap(b.y0, b.y1);
    return b;
}

bool FrameBox::finite() const {
    return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1);
}

FrameBox FrameBox::expanded(double m) const { return {x0 - m, y0 - m, x1 + m, y1 + m}; }

FrameBox FrameBox::united(const FrameBox& o) const {
    return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
}

FrameBox FrameBox::scaledAbout(double cx, double cy, double s) const {
    return fromRect(cx + s * (x0 - cx), cy + s * (y0 - cy), s * (x1 - x0), s * (y1 - y0));
}

PixelRect pixelsTouched(const FrameBox& box, int width, int height) {
    if (!box.finite()) return {};
    const double x0 = std::clamp(std::floor(box.x0), 0.0, static_cast<double>(width));
    const double y0 = std::clamp(std::floor(box.y0), 0.0, static_cast<double>(height));
    const double x1 = std::clamp(std::ceil(box.x1), 0.0, static_cast<double>(width));
    const double y1 = std::clamp(std::ceil(box.y1), 0.0, static_cast<double>(height));
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1)};
}

double unitInterval(double v) {
    if (!(v > 0)) return 0;  // also NaN
    return v < 1 ? v : 1;
}

void setSourceColor(cairo_t* cr, const RgbaColor& color, double alpha) {
    cairo_set_source_rgba(cr, unitInterval(color.red), unitInterval(color.green), unitInterval(color.blue),
                          unitInterval(alpha));
}

void fillFrameRect(OverlayTarget& target, int width, int height, double x, double y, double w, double h,
                   const RgbaColor& color, double alpha) {
    FrameBox b = FrameBox::fromRect(x, y, w, h);
    if (!b.finite() || !std::isfinite(alpha) || alpha <= 0) return;
    // Trimming to a pixel beyond the frame keeps the edges' look and Cairo's numbers small.
    b.x0 = std::clamp(b.x0, -1.0, width + 1.0);
    b.x1 = std::clamp(b.x1, -1.0, width + 1.0);
    b.y0 = std::clamp(b.y0, -1.0, height + 1.0);
    b.y1 = std::clamp(b.y1, -1.0, height + 1.0);
    if (b.x1 <= b.x0 || b.y1 <= b.y0) return;
    target.fillBox(b, color, alpha);
}

Layer makeLayer(PixelRect area, Layer previous) {
    Layer layer;
    if (area.empty()) return layer;
    layer.yuvSpare = previous.yuv ? std::move(previous.yuv) : std::move(previous.yuvSpare);
    const int w = area.x1 - area.x0, h = area.y1 - area.y0;
    if (previous.surface && cairo_image_surface_get_width(previous.surface.get()) == w &&
        cairo_image_surface_get_height(previous.surface.get()) == h) {
        CairoPtr cr(cairo_create(previous.surface.get()));
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr.get());
        layer.surface = std::move(previous.surface);
        layer.area = area;
        return layer;
    }
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return layer;
    }
    layer.surface.reset(s);
    layer.area = area;
    return layer;
}

CairoPtr layerContext(const Layer& layer) {
    CairoPtr cr(cairo_create(layer.surface.get()));
    cairo_translate(cr.get(), -layer.area.x0, -layer.area.y0);
    return cr;
}

void compositeLayer(cairo_t* frame, const Layer& layer, double alpha) {
    if (!layer.surface || !(alpha > 0)) return;
    cairo_save(frame);
    cairo_set_source_surface(frame, layer.surface.get(), layer.area.x0, layer.area.y0);
    cairo_rectangle(frame, layer.area.x0, layer.area.y0, layer.area.x1 - layer.area.x0, layer.area.y1 - layer.area.y0);
    cairo_clip(frame);
    if (alpha >= 1)
        cairo_paint(frame);
    else
        cairo_paint_with_alpha(frame, alpha);
    cairo_restore(frame);
}

}  // namespace tamo
