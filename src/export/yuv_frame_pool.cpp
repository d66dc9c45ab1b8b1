#include "export/yuv_frame_pool.h"

#include <cstdint>
#include <limits>

extern "C" {
#include <libavutil/frame.h>
}

namespace tamo {
namespace {

constexpr std::size_t kAlign = 64;  // rows and planes, as FFmpeg's vector code likes them
std::size_t alignUp(std::size_t v) { return (v + kAlign - 1) / kAlign * kAlign; }

}  // namespace

Yuv420FramePool::Yuv420FramePool(int width, int height) {
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536) return;
    width_ = width;
    height_ = height;
    const std::size_t luma = alignUp(static_cast<std::size_t>(width));
    const std::size_t chroma = alignUp((static_cast<std::size_t>(width) + 1) / 2);
    const std::size_t chromaRows = (static_cast<std::size_t>(height) + 1) / 2;
    linesize_[0] = static_cast<int>(luma);
    linesize_[1] = linesize_[2] = static_cast<int>(chroma);
    offset_[0] = 0;
    offset_[1] = alignUp(luma * static_cast<std::size_t>(height));
    offset_[2] = offset_[1] + alignUp(chroma * chromaRows);
    // Room past the last row for vector loads that read a little beyond it.
    const std::size_t size = offset_[2] + alignUp(chroma * chromaRows) + kAlign;
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) return;
    pool_.reset(av_buffer_pool_init(size, av_buffer_alloc));
}

av::FramePtr Yuv420FramePool::get() {
    if (!pool_) return {};
    av::FramePtr f = av::makeFrame();
    if (!f) return {};
    f->buf[0] = av_buffer_pool_get(pool_.get());
    if (!f->buf[0]) return {};
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width_;
    f->height = height_;
    for (int i = 0; i < 3; ++i) {
        f->data[i] = f->buf[0]->data + offset_[i];
        f->linesize[i] = linesize_[i];
    }
    return f;
}

}  // namespace tamo
