#pragma once
// Where the overlays of one frame go: a BGRA picture drawn with Cairo, or the video's own YUV
// planes, changed only inside the rectangles the overlays touch.
#include <cairo.h>

#include "export/cairo_handles.h"
#include "export/geometry.h"
#include "export/overlay_layer.h"
#include "export/yuv_frame.h"

namespace tamo {

class OverlayTarget {
public:
    virtual ~OverlayTarget() = default;
    // Gaussian blur of the pixels inside rect (edge pixels repeated outward).
    virtual void blur(PixelRect rect, double sigma) = 0;
    // A solid colour of the given alpha over a box in frame coordinates, edges by area covered.
    virtual void fillBox(const FrameBox& box, const RgbaColor& color, double alpha) = 0;
    // A premultiplied layer over the frame with an overall alpha in [0, 1].
    virtual void composite(const Layer& layer, double alpha) = 0;
};

// Draws onto a premultiplied BGRA frame with Cairo.
class BgraTarget final : public OverlayTarget {
public:
    explicit BgraTarget(const BgraView& frame) : frame_(frame) {}
    ~BgraTarget() override;
    void blur(PixelRect rect, double sigma) override;
    void fillBox(const FrameBox& box, const RgbaColor& color, double alpha) override;
    void composite(const Layer& layer, double alpha) override;

private:
    cairo_t* context();  // made on first use; null when Cairo refuses the frame
    BgraView frame_;
    SurfacePtr surface_;
    CairoPtr cr_;
};

// Blends into 8-bit planar YUV with the frame's own matrix and range. A pixel no overlay covers
// keeps its exact value; colours are converted once per layer pixel, so drawing costs only
// where something is drawn.
class YuvTarget final : public OverlayTarget {
public:
    YuvTarget(const YuvView& frame, const YuvColorModel& model) : frame_(frame), model_(model) {}
    void blur(PixelRect rect, double sigma) override;
    void fillBox(const FrameBox& box, const RgbaColor& color, double alpha) override;
    void composite(const Layer& layer, double alpha) override;

private:
    YuvView frame_;
    YuvColorModel model_;
};

}  // namespace tamo
