#include "export/blur_regions.h"

#include <algorithm>
#include <cmath>

#include "export/overlay_target.h"

namespace tamo {

PixelRect blurRegionPixels(const BlurDrawInfo& r, int width, int height) {
    const double W = width, H = height;
    double x0 = ((r.xPercent - r.widthPercent / 2) / 100) * W;
    double x1 = x0 + (r.widthPercent / 100) * W;
    double y0 = ((r.yPercent - r.heightPercent / 2) / 100) * H;
    double y1 = y0 + (r.heightPercent / 100) * H;
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) return {};
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    auto px = [](double v, double limit) { return static_cast<int>(std::lround(std::clamp(v, 0.0, limit))); };
    return {px(x0, W), px(y0, H), px(x1, W), px(y1, H)};
}

void blurActiveRegions(const std::vector<BlurDrawInfo>& regions, OverlayTarget& target, int width, int height,
                       double t) {
    for (const BlurDrawInfo& r : regions) {
        if (!(r.timeStart <= t && t <= r.timeEnd)) continue;
        target.blur(blurRegionPixels(r, width, height), r.blurAmount);
    }
}

}  // namespace tamo
