#pragma once
#include <string_view>

namespace tamo {

// Drawing state of one overlay at one frame time.
struct AnimState {
    double opacity = 1;  // factor on the overlay's alpha
    double tx = 0;       // pixels, positive moves right
    double ty = 0;       // pixels, positive moves down the frame
    double scale = 1;    // uniform, about the overlay's centre
    int textLen = -1;    // leading characters to show; -1 = the whole text
};

// Quadratic ease-in-out.
double ease(double p);

// The entry phase shapes the state while (time - windowStart) < phaseLength, the exit phase
// while (windowEnd - time) < phaseLength; both may be active at once. width/height are the
// output frame's size (slides travel five per cent of it). textLength counts user-perceived
// characters (extended grapheme clusters); pictures leave it at 0.
AnimState animState(int width, int height, std::string_view entryName, std::string_view exitName, double phaseLength,
                    double currentTime, double windowStart, double windowEnd, long textLength = 0);

}  // namespace tamo
