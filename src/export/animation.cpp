#include "export/animation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace tamo {

double ease(double p) {
    if (p < 0.5) return 2 * p * p;
    return -1 + (4 - 2 * p) * p;
}

namespace {

// Truncation toward zero that stays defined for NaN and out-of-range products.
int truncateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

void applyEntry(AnimState& s, std::string_view name, double p, double dx, double dy, long textLength) {
    const double e = ease(p);
    if (name == "fadeIn") {
        s.opacity = e;
    } else if (name == "slideUp") {
        s.ty = (1 - e) * dy;
    } else if (name == "slideDown") {
        s.ty = -(1 - e) * dy;
    } else if (name == "slideLeft") {
        s.tx = (1 - e) * dx;
    } else if (name == "slideRight") {
        s.tx = -(1 - e) * dx;
    } else if (name == "zoomIn") {
        s.opacity = e;
        s.scale = e;
    } else if (name == "bounce") {
        // Two arcs that die away: peaks at p = 0.2 and 0.6, rest at 0, 0.4 and 0.8.
        s.ty = -std::abs(std::sin(p * std::numbers::pi * 2.5)) * (1 - p) * dy * 0.75;
    } else if (name == "typewriter") {
        s.textLen = truncateToInt(p * static_cast<double>(textLength));
    }
}

void applyExit(AnimState& s, std::string_view name, double q, double dx, double dy) {
    const double f = ease(q);
    if (name == "fadeOut") {
        s.opacity = std::min(s.opacity, f);
    } else if (name == "slideUp") {
        s.ty = -(1 - f) * dy;
    } else if (name == "slideDown") {
        s.ty = (1 - f) * dy;
    } else if (name == "slideLeft") {
        s.tx = -(1 - f) * dx;
    } else if (name == "slideRight") {
        s.tx = (1 - f) * dx;
    } else if (name == "zoomOut") {
        s.scale = f;
        s.opacity = std::min(s.opacity, f);
    }
}

}  // namespace

AnimState animState(int width, int height, std::string_view entryName, std::string_view exitName, double phaseLength,
                    double currentTime, double windowStart, double windowEnd, long textLength) {
    AnimState s;
    const double dy = 0.05 * static_cast<double>(height);
    const double dx = 0.05 * static_cast<double>(width);

    if (entryName != "none") {
        const double elapsed = currentTime - windowStart;
        if (phaseLength > elapsed) {  // strict: at elapsed == phaseLength the entry is over
            const double p = std::min(1.0, elapsed / phaseLength);
            applyEntry(s, entryName, p, dx, dy, textLength);
        }
    }
    if (exitName != "none") {
        const double remaining = windowEnd - currentTime;
        if (phaseLength > remaining) {
            const double q = std::min(1.0, remaining / phaseLength);
            applyExit(s, exitName, q, dx, dy);
        }
    }
    return s;
}

}  // namespace tamo
