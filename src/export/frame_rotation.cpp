#include "export/frame_rotation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tamo {
namespace {

template <typename Pixel>
inline Pixel pixel(const std::uint8_t* data, int stride, int x, int y) {
    Pixel p;
    std::memcpy(&p, data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * sizeof(Pixel),
                sizeof(Pixel));
    return p;
}
template <typename Pixel>
inline void put(std::uint8_t* data, int stride, int x, int y, Pixel p) {
    std::memcpy(data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * sizeof(Pixel), &p,
                sizeof(Pixel));
}

// sw × sh pixels of src turned into dst (dw × dh, already the turned size).
template <typename Pixel>
void rotate(const std::uint8_t* src, int sw, int sh, int ss, std::uint8_t* dst, int dw, int dh, int ds, int degrees) {
    if (!src || !dst) return;
    if (degrees == 90 || degrees == 270) {
        if (dw != sh || dh != sw) return;
    } else if (dw != sw || dh != sh) {
        return;
    }
    if (degrees != 90 && degrees != 180 && degrees != 270) {
        for (int y = 0; y < sh; ++y)
            std::memcpy(dst + static_cast<std::size_t>(y) * ds, src + static_cast<std::size_t>(y) * ss,
                        static_cast<std::size_t>(sw) * sizeof(Pixel));
        return;
    }
    // Square tiles keep both the reads and the writes in cache for the quarter turns.
    constexpr int tile = 64;
    for (int ty = 0; ty < dh; ty += tile) {
        for (int tx = 0; tx < dw; tx += tile) {
            const int yEnd = std::min(ty + tile, dh), xEnd = std::min(tx + tile, dw);
            for (int y = ty; y < yEnd; ++y) {
                for (int x = tx; x < xEnd; ++x) {
                    Pixel p;
                    if (degrees == 90)
                        p = pixel<Pixel>(src, ss, y, sh - 1 - x);
                    else if (degrees == 270)
                        p = pixel<Pixel>(src, ss, sw - 1 - y, x);
                    else
                        p = pixel<Pixel>(src, ss, sw - 1 - x, sh - 1 - y);
                    put<Pixel>(dst, ds, x, y, p);
                }
            }
        }
    }
}

}  // namespace

void rotateBgra(const BgraView& src, const BgraView& dst, int degrees) {
    rotate<std::uint32_t>(src.data, src.width, src.height, src.stride, dst.data, dst.width, dst.height, dst.stride,
                          degrees);
}

void rotatePlane(const PlaneView& src, const PlaneView& dst, int degrees) {
    if (src.channels != 1 || dst.channels != 1) return;
    rotate<std::uint8_t>(src.data, src.width, src.height, src.stride, dst.data, dst.width, dst.height, dst.stride,
                         degrees);
}

}  // namespace tamo
