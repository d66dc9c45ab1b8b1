#pragma once
// 4:2:0 frames of one size whose memory is used again once every holder lets go. A fresh picture
// for every frame would have the kernel fault in and clear each of its pages on every frame.
#include <memory>

extern "C" {
#include <libavutil/buffer.h>
}

#include "media/ffmpeg_ptr.h"

namespace tamo {

class Yuv420FramePool {
public:
    Yuv420FramePool(int width, int height);

    // A frame of exactly width × height laid out as allocateYuv420's (padded, aligned rows), with
    // whatever the memory held before. Null when memory runs out or the size is not sensible.
    // Frames may outlive the pool: the memory goes when the last of them does.
    av::FramePtr get();

private:
    struct PoolDeleter {
        void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
    };
    int width_ = 0, height_ = 0;
    int linesize_[3] = {0, 0, 0};
    std::size_t offset_[3] = {0, 0, 0};
    std::unique_ptr<AVBufferPool, PoolDeleter> pool_;
};

}  // namespace tamo
