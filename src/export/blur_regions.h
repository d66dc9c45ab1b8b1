#pragma once
#include <vector>

#include "export/draw_info.h"
#include "export/gaussian_blur.h"
#include "export/geometry.h"

namespace tamo {

// The frame pixels a blur region covers (rows from the top), trimmed to the frame: the centre
// and size come in per cent of the frame, edges are rounded to whole pixels.
PixelRect blurRegionPixels(const BlurDrawInfo& region, int width, int height);

// Blurs, in list order, every region whose window holds t (both ends included), each with its
// blurAmount as the Gaussian's standard deviation. A later region reads the result of the earlier
// ones, so an overlap is blurred twice. The target's frame is width × height.
class OverlayTarget;
void blurActiveRegions(const std::vector<BlurDrawInfo>& regions, OverlayTarget& target, int width, int height,
                       double t);

}  // namespace tamo
