#pragma once
#include <string_view>

namespace tamo {

struct RgbaColor {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const RgbaColor&) const = default;
};

// "#6c5ce7" → opaque colour. Never fails: the last six hex digits read decide RRGGBB,
// anything unreadable is black, and too many digits saturate to white.
RgbaColor colorFromHex(std::string_view hex);

}  // namespace tamo
