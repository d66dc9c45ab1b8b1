#include "export/frame_reframer.h"

#include <algorithm>

namespace tamo {
namespace {

// The background is blurred at an eighth of the output's size: a Gaussian there costs a
// sixty-fourth of one at full size, and the bilinear enlargement smooths the rest.
constexpr int kBackgroundShrink = 8;
// Standard deviation of the background's blur, as a share of the small background's height.
constexpr double kBackgroundBlurShare = 1.0 / 40;

bool scale(av::SwsPtr& ctx, const YuvView& from, const YuvView& to, int flags) {
    if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0) return false;
    ctx.reset(sws_getCachedContext(ctx.release(), from.width, from.height, AV_PIX_FMT_YUV420P, to.width, to.height,
                                   AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr));
    if (!ctx) return false;
    // swscale reads four plane pointers and strides.
    const std::uint8_t* src[4] = {from.data[0], from.data[1], from.data[2], nullptr};
    std::uint8_t* dst[4] = {to.data[0], to.data[1], to.data[2], nullptr};
    const int srcStride[4] = {from.linesize[0], from.linesize[1], from.linesize[2], 0};
    const int dstStride[4] = {to.linesize[0], to.linesize[1], to.linesize[2], 0};
    return sws_scale(ctx.get(), src, srcStride, 0, from.height, dst, dstStride) > 0;
}

}  // namespace

YuvView yuvWindow(const YuvView& v, int x, int y, int w, int h) {
    YuvView out = v;
    out.data[0] = v.data[0] + static_cast<std::ptrdiff_t>(y) * v.linesize[0] + x;
    for (int i = 1; i < 3; ++i)
        out.data[i] =
            v.data[i] + static_cast<std::ptrdiff_t>(y >> v.chromaShiftY) * v.linesize[i] + (x >> v.chromaShiftX);
    out.width = w;
    out.height = h;
    return out;
}

YuvView FrameReframer::wholeSource(const YuvView& source, bool fullRange) {
    if (source.width >= plan_.sourceWidth && source.height >= plan_.sourceHeight) return source;
    // A picture smaller than announced (a size change mid-stream): what it lacks is black.
    if (!padded_ && !(padded_ = allocateYuv420(plan_.sourceWidth, plan_.sourceHeight))) return {};
    const YuvView padded = yuvViewOf(*padded_);
    fillBlack(padded, fullRange);
    copyCropWindow(source, padded, OutputGeometry{plan_.sourceWidth, plan_.sourceHeight, 0, 0});
    return padded;
}

bool FrameReframer::blurredBackground(const YuvView& window, const YuvView& out) {
    const int w = std::max(2, plan_.width / kBackgroundShrink), h = std::max(2, plan_.height / kBackgroundShrink);
    if (!small_ && !(small_ = allocateYuv420(w, h))) return false;
    const YuvView small = yuvViewOf(*small_);
    if (!scale(shrink_, window, small, SWS_AREA)) return false;
    const double sigma = std::max(1.0, h * kBackgroundBlurShare);
    gaussianBlur(small.plane(0), PixelRect{0, 0, small.width, small.height}, sigma);
    for (int i = 1; i < 3; ++i) {
        const PlaneView p = small.plane(i);
        gaussianBlur(p, PixelRect{0, 0, p.width, p.height}, sigma / 2);
    }
    return scale(enlarge_, small, out, SWS_BILINEAR);
}

av::FramePtr FrameReframer::reframe(const YuvView& picture, bool fullRange) {
    if (picture.chromaShiftX != 1 || picture.chromaShiftY != 1) return {};
    const YuvView source = wholeSource(picture, fullRange);
    if (!source.data[0]) return {};
    av::FramePtr frame = allocateYuv420(plan_.width, plan_.height);
    if (!frame) return {};
    const YuvView out = yuvViewOf(*frame);
    const OutputGeometry& c = plan_.crop;
    const YuvView window = yuvWindow(source, c.cropX, c.cropY, c.width, c.height);
    if (plan_.fill == FillMode::Crop) {
        if (!scale(scale_, window, out, SWS_BICUBIC)) return {};
        return frame;
    }
    if (!blurredBackground(window, out)) return {};
    const YuvView fitted = yuvWindow(out, plan_.fitX, plan_.fitY, plan_.fitWidth, plan_.fitHeight);
    const YuvView whole = yuvWindow(source, 0, 0, plan_.sourceWidth, plan_.sourceHeight);
    if (!scale(scale_, whole, fitted, SWS_BICUBIC)) return {};
    return frame;
}

}  // namespace tamo
