#pragma once
#include "export/draw_info.h"

namespace tamo {

class OverlayTarget;

// The track across the whole width at its own opacity, then the fill of t / duration of the
// width (track only when the duration is 0; a fill beyond the frame is cut by the frame).
void drawProgressBar(OverlayTarget& target, int width, int height, const ProgressBarDrawInfo& bar, double t,
                     double duration);

}  // namespace tamo
