#pragma once
#include <cstdint>

namespace tamo {

// Half-open pixel rectangle, rows counted from the top.
struct PixelRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    bool operator==(const PixelRect&) const = default;
};

// An 8-bit image with `channels` interleaved channels per pixel (4 for BGRA, 1 for alpha masks).
struct PlaneView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
    int channels = 4;
};

// Gaussian blur with standard deviation sigma, written into `rect` only. The input is the whole
// image with its edge pixels repeated outward without end, so pixels near the border never pull
// in black; pixels outside `rect` are read but never changed. The cost per pixel does not grow
// with sigma: three extended-box passes per direction whose combined variance is exactly sigma².
// sigma <= 0 or not finite leaves the image as it is.
void gaussianBlur(const PlaneView& image, PixelRect rect, double sigma);

}  // namespace tamo
