#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "export/geometry.h"

namespace tamo {

// A BGRA picture that FFmpeg may write into and read from. libswscale's SIMD code stores whole
// vectors per row and runs past the last pixel for widths such as 1080 or 104 (up to 32 bytes
// beyond width × 4 on the last row); rows aligned to 64 bytes plus slack after the last row
// keep those stores inside memory we own.
class BgraBuffer {
public:
    static constexpr int kRowAlignment = 64;
    static constexpr std::size_t kTailSlack = 64;

    static int strideFor(int width) { return (width * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment; }
    static std::size_t bytesFor(int width, int height) {
        return static_cast<std::size_t>(strideFor(width)) * static_cast<std::size_t>(height) + kTailSlack;
    }

    // Sized for width × height; the contents are kept when the size does not change.
    BgraView reshape(int width, int height) {
        bytes_.resize(bytesFor(width, height));
        return BgraView{bytes_.data(), width, height, strideFor(width)};
    }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tamo
