#include "export/progress_bar.h"

#include "export/overlay_layer.h"

namespace tamo {

void drawProgressBar(OverlayTarget& cr, int width, int height, const ProgressBarDrawInfo& bar, double t,
                     double duration) {
    const double W = width, H = height;
    const double barHeight = (bar.heightPercent / 100) * H;
    // Frame rows grow downwards: "top" starts at row 0, anything else ends at the bottom edge.
    const double top = bar.position == "top" ? 0 : H - barHeight;
    fillFrameRect(cr, width, height, 0, top, W, barHeight, bar.bgColor, bar.bgOpacity);
    const double fraction = duration > 0 ? t / duration : 0;
    fillFrameRect(cr, width, height, 0, top, fraction * W, barHeight, bar.color, bar.color.alpha);
}

}  // namespace tamo
