#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "export/hex_color.h"

namespace tamo {

inline constexpr int kBackgroundFps = 30;
inline constexpr std::int64_t kMaxBackgroundSide = 8192;
inline constexpr double kMaxBackgroundSeconds = 3600;

// What one background clip will be: checked and derived once from the page's request.
struct BackgroundPlan {
    int width = 0, height = 0;              // as asked; reported back to the page
    int encodeWidth = 0, encodeHeight = 0;  // even sizes for 4:2:0 H.264
    double duration = 0;
    std::int64_t frames = 0;   // 30 × duration, truncated
    std::int64_t bitRate = 0;  // width × height × 2 bits per second
    RgbaColor color;
};

// Nothing when the size or length cannot make a clip: a side of 0 or less or above 8192, a
// duration that is not finite, negative, above one hour, or too short for a single frame.
std::optional<BackgroundPlan> planBackground(std::int64_t width, std::int64_t height, double duration,
                                             const std::string& colorHex);

// Shortest decimal form with at least one fractional digit: 15 → "15.0", 2.5 → "2.5".
std::string secondsText(double seconds);

}  // namespace tamo
