#include "export/yuv_frame.h"

#include <algorithm>
#include <cstring>

namespace tamo {

YuvColorModel colorModelOf(int swsMatrix, bool fullRange) {
    YuvColorModel m;
    m.fullRange = fullRange;
    switch (swsMatrix) {
    case SWS_CS_ITU709: m.kr = 0.2126, m.kb = 0.0722; break;
    case SWS_CS_FCC: m.kr = 0.30, m.kb = 0.11; break;
    case SWS_CS_SMPTE240M: m.kr = 0.212, m.kb = 0.087; break;
    case SWS_CS_BT2020: m.kr = 0.2627, m.kb = 0.0593; break;
    default: m.kr = 0.299, m.kb = 0.114; break;  // BT.601
    }
    return m;
}

YuvValue rgbToYuv(const YuvColorModel& m, double r, double g, double b) {
    const double kg = 1 - m.kr - m.kb;
    const double ey = m.kr * r + kg * g + m.kb * b;  // 0…255
    const double pb = (b - ey) / (2 * (1 - m.kb));   // -127.5…127.5
    const double pr = (r - ey) / (2 * (1 - m.kr));
    if (m.fullRange) return {ey, 128 + pb, 128 + pr};
    return {16 + ey * 219 / 255, 128 + pb * 224 / 255, 128 + pr * 224 / 255};
}

YuvView yuvViewOf(const AVFrame& f) {
    YuvView v;
    switch (f.format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: v.chromaShiftX = v.chromaShiftY = 1; break;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: v.chromaShiftX = v.chromaShiftY = 0; break;
    default: return {};
    }
    for (int i = 0; i < 3; ++i) {
        v.data[i] = f.data[i];
        v.linesize[i] = f.linesize[i];
    }
    v.width = f.width;
    v.height = f.height;
    return v;
}

av::FramePtr allocateYuv420(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    av::FramePtr f = av::makeFrame();
    if (!f) return {};
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f.get(), 64) < 0) return {};
    return f;
}

void copyCropWindow(const YuvView& src, const YuvView& dst, const OutputGeometry& g) {
    if (g.cropX < 0 || g.cropY < 0 || src.chromaShiftX != dst.chromaShiftX || src.chromaShiftY != dst.chromaShiftY)
        return;
    for (int i = 0; i < 3; ++i) {
        const PlaneView from = src.plane(i), to = dst.plane(i);
        if (!from.data || !to.data) return;
        const int sx = i == 0 ? 0 : src.chromaShiftX, sy = i == 0 ? 0 : src.chromaShiftY;
        const int ox = g.cropX >> sx, oy = g.cropY >> sy;
        // An odd crop origin falls between two chroma samples: the window's chroma is their mean.
        const bool halfX = (g.cropX & ((1 << sx) - 1)) != 0, halfY = (g.cropY & ((1 << sy) - 1)) != 0;
        const int rows = std::min(to.height, from.height - oy);
        const int cols = std::min(to.width, from.width - ox);
        if (rows <= 0 || cols <= 0) continue;
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* a = from.data + static_cast<std::size_t>(r + oy) * from.stride + ox;
            const std::uint8_t* b = halfY && r + oy + 1 < from.height ? a + from.stride : a;
            std::uint8_t* out = to.data + static_cast<std::size_t>(r) * to.stride;
            if (!halfX && !halfY) {
                std::memcpy(out, a, static_cast<std::size_t>(cols));
                continue;
            }
            for (int c = 0; c < cols; ++c) {
                const int c1 = halfX && c + ox + 1 < from.width ? c + 1 : c;
                out[c] = static_cast<std::uint8_t>((a[c] + a[c1] + b[c] + b[c1] + 2) >> 2);
            }
        }
    }
}

void fillBlack(const YuvView& f, bool fullRange) {
    const std::uint8_t black[3] = {static_cast<std::uint8_t>(fullRange ? 0 : 16), 128, 128};
    for (int i = 0; i < 3; ++i) {
        const PlaneView p = f.plane(i);
        for (int y = 0; y < p.height; ++y)
            std::memset(p.data + static_cast<std::size_t>(y) * p.stride, black[i], p.width);
    }
}

}  // namespace tamo
