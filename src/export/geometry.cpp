#include "export/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tamo {
namespace {

int truncToInt(double v) {
    if (!std::isfinite(v) || v <= 0) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

}  // namespace

double presetRatio(std::string_view preset) {
    if (preset == "9:16") return 0.5625;
    if (preset == "1:1") return 1.0;
    if (preset == "4:5") return 0.8;
    if (preset == "16:9") return 16.0 / 9.0;
    if (preset == "4:3") return 4.0 / 3.0;
    return 0;
}

FrameSize standardSize(std::string_view preset) {
    if (preset == "9:16") return {1080, 1920};
    if (preset == "1:1") return {1080, 1080};
    if (preset == "4:5") return {1080, 1350};
    if (preset == "16:9") return {1920, 1080};
    if (preset == "4:3") return {1440, 1080};
    return {};
}

OutputGeometry computeGeometry(double w0, double h0, std::string_view preset, double positionX, double positionY) {
    auto share = [](double percent) { return std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) / 100 : 0.5; };
    // The window's origin in a room of `room` source pixels: 0 at 0 %, today's centred origin at
    // 50 %, and at 100 % the whole pixels of room, so that the truncated window touches the far
    // edge; linear in between.
    auto origin = [&](double room, double windowSize, double percent) {
        const double s = share(percent);
        const double centre = room / 2;
        if (s <= 0.5) return room * s;
        const double wholeRoom = std::floor(room + windowSize) - std::floor(windowSize);
        return centre + (wholeRoom - centre) * (s - 0.5) * 2;
    };
    w0 = std::abs(w0);
    h0 = std::abs(h0);
    double x = 0, y = 0, cw = w0, ch = h0;
    double t = presetRatio(preset);
    if (t > 0 && h0 > 0) {
        double r = w0 / h0;
        if (r > t) {
            cw = h0 * t;
            x = origin(w0 - cw, cw, positionX);
        } else {
            ch = w0 / t;
            y = origin(h0 - ch, ch, positionY);
        }
    }
    return OutputGeometry{truncToInt(cw), truncToInt(ch), truncToInt(x), truncToInt(y)};
}

void copyCropWindow(const BgraView& src, const BgraView& dst, const OutputGeometry& g) {
    if (!src.data || !dst.data) return;
    int rows = std::min({g.height, dst.height, src.height - g.cropY});
    int cols = std::min({g.width, dst.width, src.width - g.cropX});
    if (rows <= 0 || cols <= 0 || g.cropX < 0 || g.cropY < 0) return;
    std::size_t rowBytes = std::min(static_cast<std::size_t>(cols) * 4, static_cast<std::size_t>(dst.stride));
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* from =
            src.data + static_cast<std::size_t>(r + g.cropY) * src.stride + static_cast<std::size_t>(g.cropX) * 4;
        std::uint8_t* to = dst.data + static_cast<std::size_t>(r) * dst.stride;
        std::memcpy(to, from, rowBytes);
    }
}

}  // namespace tamo
