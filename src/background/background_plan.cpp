#include "background/background_plan.h"

#include <charconv>
#include <cmath>

namespace tamo {

std::optional<BackgroundPlan> planBackground(std::int64_t width, std::int64_t height, double duration,
                                             const std::string& colorHex) {
    if (width <= 0 || height <= 0 || width > kMaxBackgroundSide || height > kMaxBackgroundSide) return std::nullopt;
    if (!std::isfinite(duration) || duration < 0 || duration > kMaxBackgroundSeconds) return std::nullopt;
    auto frames = static_cast<std::int64_t>(kBackgroundFps * duration);  // truncated toward zero
    if (frames <= 0) return std::nullopt;

    BackgroundPlan plan;
    plan.width = static_cast<int>(width);
    plan.height = static_cast<int>(height);
    // Odd sides are encoded at the even size below; a side of 1 becomes 2, the smallest H.264 takes.
    plan.encodeWidth = std::max(2, plan.width & ~1);
    plan.encodeHeight = std::max(2, plan.height & ~1);
    plan.duration = duration;
    plan.frames = frames;
    plan.bitRate = width * height * 2;
    plan.color = colorFromHex(colorHex);
    return plan;
}

std::string secondsText(double seconds) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, seconds);
    if (ec != std::errc()) return "0.0";
    std::string text(buf, end);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

}  // namespace tamo
