#include "export/frame_rotation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tamo {
namespace {

inline std::uint32_t pixel(const BgraView& v, int x, int y) {
    std::uint32_t p;
    std::memcpy(&p, v.data + static_cast<std::size_t>(y) * v.stride + static_cast<std::size_t>(x) * 4, 4);
    return p;
}
inline void put(const BgraView& v, int x, int y, std::uint32_t p) {
    std::memcpy(v.data + static_cast<std::size_t>(y) * v.stride + static_cast<std::size_t>(x) * 4, &p, 4);
}

}  // namespace

void rotateBgra(const BgraView& src, const BgraView& dst, int degrees) {
    if (!src.data || !dst.data) return;
    const int sw = src.width, sh = src.height;
    if (degrees == 90 || degrees == 270) {
        if (dst.width != sh || dst.height != sw) return;
    } else if (dst.width != sw || dst.height != sh) {
        return;
    }
    if (degrees != 90 && degrees != 180 && degrees != 270) {
        for (int y = 0; y < sh; ++y)
            std::memcpy(dst.data + static_cast<std::size_t>(y) * dst.stride, src.data + static_cast<std::size_t>(y) * src.stride,
                        static_cast<std::size_t>(sw) * 4);
        return;
    }
    // Square tiles keep both the reads and the writes in cache for the quarter turns.
    constexpr int tile = 64;
    for (int ty = 0; ty < dst.height; ty += tile) {
        for (int tx = 0; tx < dst.width; tx += tile) {
            const int yEnd = std::min(ty + tile, dst.height), xEnd = std::min(tx + tile, dst.width);
            for (int y = ty; y < yEnd; ++y) {
                for (int x = tx; x < xEnd; ++x) {
                    std::uint32_t p;
                    if (degrees == 90) p = pixel(src, y, sh - 1 - x);
                    else if (degrees == 270) p = pixel(src, sw - 1 - y, x);
                    else p = pixel(src, sw - 1 - x, sh - 1 - y);
                    put(dst, x, y, p);
                }
            }
        }
    }
}

}  // namespace tamo
