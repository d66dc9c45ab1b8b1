// The BGRA pictures FFmpeg converts into: its SIMD stores may run past the last pixel of a row for
// many common widths, and the sanitizers cannot see it (the store happens inside the library).
// A canary after the buffer's own size catches it in the normal build.
#include <gtest/gtest.h>

#include <algorithm>

#include "export/bgra_buffer.h"
#include "export/video_reader.h"
#include "media/ffmpeg_ptr.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tamo {
namespace {

TEST(BgraBuffer, ConversionStaysInsideTheBufferAtCommonWidths) {
    constexpr std::uint8_t kCanary = 0xA5;
    constexpr std::size_t kCanaryBytes = 512;
    for (int width : {104, 106, 108, 110, 90, 200, 360, 600, 1000, 1080, 1920}) {
        const int height = 34;
        av::FramePtr source = av::makeFrame();
        source->format = AV_PIX_FMT_YUV420P;
        source->width = width;
        source->height = height;
        ASSERT_EQ(av_frame_get_buffer(source.get(), 0), 0);
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane == 0 ? height : height / 2;
            for (int y = 0; y < rows; ++y)
                std::fill_n(source->data[plane] + y * source->linesize[plane], source->linesize[plane],
                            static_cast<std::uint8_t>(40 + 30 * plane + y));
        }

        const int stride = BgraBuffer::strideFor(width);
        std::vector<std::uint8_t> memory(BgraBuffer::bytesFor(width, height) + kCanaryBytes, kCanary);
        av::SwsPtr sws(sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                      nullptr, nullptr, nullptr));
        ASSERT_TRUE(sws);
        std::uint8_t* dst[4] = {memory.data(), nullptr, nullptr, nullptr};
        int dstStride[4] = {stride, 0, 0, 0};
        ASSERT_EQ(sws_scale(sws.get(), source->data, source->linesize, 0, height, dst, dstStride), height);

        const auto tail = memory.begin() + static_cast<std::ptrdiff_t>(BgraBuffer::bytesFor(width, height));
        EXPECT_TRUE(std::all_of(tail, memory.end(), [](std::uint8_t b) { return b == kCanary; }))
            << "conversion wrote past the buffer at width " << width;
        // And the picture itself was written: the last pixel of the last row is opaque.
        EXPECT_EQ(memory[static_cast<std::size_t>(height - 1) * stride + (width - 1) * 4 + 3], 255) << width;
    }
}

TEST(BgraBuffer, RowsAreAlignedAndHoldTheWholeRow) {
    for (int width : {1, 16, 17, 104, 1080}) {
        EXPECT_EQ(BgraBuffer::strideFor(width) % BgraBuffer::kRowAlignment, 0) << width;
        EXPECT_GE(BgraBuffer::strideFor(width), width * 4) << width;
    }
    BgraBuffer buffer;
    BgraView view = buffer.reshape(1080, 4);
    EXPECT_EQ(view.width, 1080);
    EXPECT_EQ(view.height, 4);
    EXPECT_EQ(view.stride, BgraBuffer::strideFor(1080));
}

}  // namespace
}  // namespace tamo
