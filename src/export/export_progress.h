#pragma once
#include <cmath>

namespace tamo {

// Percentage reported for a frame at `seconds` of a source lasting `duration` seconds: the
// re-encoding covers 0…90 (the merge reports 95). A duration of 0, or any value that makes the
// share not a number, reports 90 rather than dividing by zero.
inline int transcodeProgress(double seconds, double duration) {
    double p = seconds / duration * 90;
    if (!std::isfinite(p)) return 90;
    if (p >= 90) return 90;
    if (p <= 0) return 0;
    return static_cast<int>(p);  // truncated toward zero
}

}  // namespace tamo
