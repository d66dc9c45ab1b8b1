#include "export/picture_renderer.h"

#include <algorithm>
#include <cmath>

#include "export/overlay_target.h"

namespace tamo {

void PictureOverlay::release() {
    placement_.reset();
    layer_ = Layer{};
}

void PictureOverlay::draw(OverlayTarget& frame, int width, int height, double t) {
    if (!(info_.timeStart <= t && t <= info_.timeEnd)) {
        release();
        return;
    }
    const AnimState s = animState(width, height, info_.animationIn, info_.animationOut, info_.animationDuration, t,
                                  info_.timeStart, info_.timeEnd);
    if (!(s.opacity > 0.01)) return;

    const double W = width, H = height;
    const double h = (info_.scalePercent / 100) * H;
    const double w = h * info_.aspectRatio;
    // Frame rows grow downwards, so the upward shift of the drawing space becomes + ty here.
    const double x = (info_.xPercent / 100) * W - w / 2 + s.tx;
    const double y = (info_.yPercent / 100) * H - h / 2 + s.ty;
    const Placement p{x, y, w, h, s.scale};
    if (!placement_ || !(*placement_ == p)) {
        renderLayer(p, width, height);
        placement_ = p;
    }
    const double alpha = std::clamp((info_.opacity / 100) * s.opacity, 0.0, 1.0);
    if (std::isnan(alpha)) return;
    frame.composite(layer_, alpha);
}

void PictureOverlay::renderLayer(const Placement& p, int width, int height) {
    Layer previous = std::move(layer_);
    layer_ = Layer{};
    cairo_surface_t* pic = info_.cgImage.get();
    if (!pic || cairo_surface_status(pic) != CAIRO_STATUS_SUCCESS) return;
    const int iw = cairo_image_surface_get_width(pic);
    const int ih = cairo_image_surface_get_height(pic);
    if (iw <= 0 || ih <= 0) return;
    // A degenerate or absurd placement shows nothing; it must not reach Cairo's matrices.
    const double dw = p.w * p.scale, dh = p.h * p.scale;
    if (!std::isfinite(dw) || !std::isfinite(dh) || std::abs(dw) < 1e-3 || std::abs(dh) < 1e-3) return;
    if (std::abs(dw) > kMaxCoordinate || std::abs(dh) > kMaxCoordinate) return;

    const double cx = p.x + p.w / 2, cy = p.y + p.h / 2;
    const FrameBox box = FrameBox::fromRect(p.x, p.y, p.w, p.h).scaledAbout(cx, cy, p.scale);
    if (!box.finite() || std::abs(box.x0) > kMaxCoordinate || std::abs(box.y0) > kMaxCoordinate) return;
    layer_ = makeLayer(pixelsTouched(box, width, height), std::move(previous));
    if (!layer_.surface) return;

    CairoPtr cr = layerContext(layer_);
    if (p.scale != 1) {
        cairo_translate(cr.get(), cx, cy);
        cairo_scale(cr.get(), p.scale, p.scale);
        cairo_translate(cr.get(), -cx, -cy);
    }
    // Stretched into the rectangle, not tiled; padding keeps its edges from fading to clear.
    cairo_translate(cr.get(), p.x, p.y);
    cairo_scale(cr.get(), p.w / iw, p.h / ih);
    cairo_set_source_surface(cr.get(), pic, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr.get()), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_GOOD);
    cairo_rectangle(cr.get(), 0, 0, iw, ih);
    cairo_fill(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) layer_ = Layer{};
}

}  // namespace tamo
