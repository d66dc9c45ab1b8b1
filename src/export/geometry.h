#pragma once
#include <cstdint>
#include <string_view>

namespace tamo {

// Output size and crop origin of one export, in source display pixels. Fixed for the whole export.
struct OutputGeometry {
    int width = 0;   // W
    int height = 0;  // H
    int cropX = 0;
    int cropY = 0;
    bool operator==(const OutputGeometry&) const = default;
};

// Target width/height ratio of a crop preset; 0 for "original" and every unknown name (no crop).
double presetRatio(std::string_view preset);

// A window of the preset's ratio; W, H and the origin truncated toward zero. positionX/Y place it
// in the room it has to move along each axis: 0 at the left/top, 50 centred (the default), 100 at
// the right/bottom; values outside 0…100 are clamped and a position that is not finite is 50.
OutputGeometry computeGeometry(double sourceWidth, double sourceHeight, std::string_view preset, double positionX = 50,
                               double positionY = 50);

// The size the platforms expect for a preset (1080×1920 for 9:16, 1080×1080, 1080×1350, 1920×1080,
// 1440×1080); 0 × 0 for "original" and unknown names, which have none.
struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};
FrameSize standardSize(std::string_view preset);

// A BGRA frame in memory (rows top to bottom). Not owning.
struct BgraView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
};

// Copies the crop window of src into dst (geometry.width × geometry.height):
// dst pixel (c, r) = src pixel (c + cropX, r + cropY). Parts of the window outside src
// (which only a source that does not match its display size can cause) are left untouched.
void copyCropWindow(const BgraView& src, const BgraView& dst, const OutputGeometry& geometry);

}  // namespace tamo
