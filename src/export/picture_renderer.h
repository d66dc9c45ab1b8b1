#pragma once
#include <cairo.h>

#include <optional>

#include "export/animation.h"
#include "export/draw_info.h"
#include "export/overlay_layer.h"

namespace tamo {

class OverlayTarget;

// One picture overlay of an export. The picture is resampled into a layer once per distinct
// placement and reused while it stays put, so a still picture costs one composite per frame.
class PictureOverlay {
public:
    explicit PictureOverlay(const ImageDrawInfo& info) : info_(info) {}

    // Draws the picture if t lies inside its window and its animation leaves it visible.
    void draw(OverlayTarget& frame, int width, int height, double t);
    // Frees the drawn layer and layout (outside the overlay's window they are not needed).
    void release();

private:
    struct Placement {
        double x, y, w, h, scale;
        bool operator==(const Placement&) const = default;
    };
    void renderLayer(const Placement& p, int width, int height);

    const ImageDrawInfo& info_;
    std::optional<Placement> placement_;
    Layer layer_;
};

}  // namespace tamo
