#pragma once
// Helpers shared by the overlay kinds: frame-space boxes, guarded rectangle fills and layers.
#include <cairo.h>

#include <cstddef>
#include <memory>

#include "export/cairo_handles.h"
#include "export/gaussian_blur.h"
#include "export/hex_color.h"

namespace tamo {

class OverlayTarget;
struct YuvLayer;

// Coordinates beyond this are far outside any frame; Cairo's fixed-point range ends near 2^23.
inline constexpr double kMaxCoordinate = 4.0e6;

// A box in frame coordinates (pixels, y down), x0 <= x1 and y0 <= y1 once normalised.
struct FrameBox {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    static FrameBox fromRect(double x, double y, double w, double h);  // normalises negative sizes
    bool finite() const;
    FrameBox expanded(double margin) const;
    FrameBox united(const FrameBox& other) const;
    // The box after scaling by `scale` about (cx, cy).
    FrameBox scaledAbout(double cx, double cy, double scale) const;
};

// Whole pixels of the frame the box touches; empty when it misses the frame or is not finite.
PixelRect pixelsTouched(const FrameBox& box, int width, int height);

// v limited to [0, 1]; NaN counts as 0. Colours and alphas pass through it before Cairo sees them.
double unitInterval(double v);

// Sets a solid source of the colour with the given alpha (both limited to [0, 1]).
void setSourceColor(cairo_t* cr, const RgbaColor& color, double alpha);

// Fills a rectangle given in frame coordinates with a colour whose alpha is `alpha`, after
// trimming it to the frame; NaN or empty rectangles draw nothing.
void fillFrameRect(OverlayTarget& target, int width, int height, double x, double y, double w, double h,
                   const RgbaColor& color, double alpha);

// A transparent picture of part of the frame, on the frame's pixel grid, composited as a whole.
struct Layer {
    SurfacePtr surface;  // null: nothing to draw
    PixelRect area;      // where it lies in the frame
    // The pixels converted for YUV frames, made on the first blend: a layer is drawn once and
    // shown on many frames. A redrawn layer is a new Layer (makeLayer), so this never goes stale.
    mutable std::shared_ptr<YuvLayer> yuv;
    // The conversion of the layer this one was redrawn from: its memory is reused, so that an
    // animated layer does not take fresh pages on every frame.
    mutable std::shared_ptr<YuvLayer> yuvSpare;
};

// A cleared layer over `area` and a context on it whose user space is frame coordinates.
// The previous layer's memory is reused when it has the same size (an animated overlay redraws
// every frame, and fresh pages cost more than clearing).
Layer makeLayer(PixelRect area, Layer previous = {});
CairoPtr layerContext(const Layer& layer);

// Draws the layer over the frame with an overall alpha in [0, 1].
void compositeLayer(cairo_t* frame, const Layer& layer, double alpha);

}  // namespace tamo
