#include "export/video_writer.h"

#include <algorithm>

extern "C" {
#include <libavutil/opt.h>
}

namespace tamo {

std::unique_ptr<VideoWriter> VideoWriter::open(const std::filesystem::path& file, const VideoWriterSettings& s) {
    av::VideoEncoderSetup setup;
    setup.width = evenDown(s.width);
    setup.height = evenDown(s.height);
    setup.timeBase = s.timeBase;
    setup.frameRate = s.frameRate;
    // x264 takes its rate in whole kbit/s: below 1000 bit/s (W × H × 4 for fewer than 250 pixels)
    // it would be told 0 and refuse to open, so a tiny output gets the smallest rate it can take.
    setup.bitRate = s.lossless ? 0 : std::max<std::int64_t>(s.bitRate, kMinBitRate);
    setup.colorSpace = s.colorSpace;
    setup.colorPrimaries = s.colorPrimaries;
    setup.colorTransfer = s.colorTransfer;
    setup.colorRange = s.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    const bool lossless = s.lossless;
    setup.tune = [lossless](AVCodecContext& enc) {
        av_opt_set(enc.priv_data, "preset", kX264Preset, 0);
        if (lossless) av_opt_set(enc.priv_data, "qp", "0", 0);
    };
    std::unique_ptr<VideoWriter> writer(new VideoWriter());
    writer->output_ = av::Mp4VideoOutput::open(file, setup);
    if (!writer->output_) return {};
    return writer;
}

VideoWriter::~VideoWriter() = default;

bool VideoWriter::write(AVFrame& frame, std::int64_t pts) {
    const AVCodecContext& enc = output_->encoder();
    if (frame.format != AV_PIX_FMT_YUV420P || frame.width < enc.width || frame.height < enc.height) return false;
    // Timestamps must rise; a frame that repeats or goes back in time cannot be shown and is left out.
    if (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_) return true;
    lastPts_ = pts;
    // Only the top-left even-sized part is encoded: an odd last column or row is dropped.
    frame.width = enc.width;
    frame.height = enc.height;
    frame.pts = pts;
    // The source's picture types are no orders: the encoder places its own key frames.
    frame.pict_type = AV_PICTURE_TYPE_NONE;
    frame.key_frame = 0;
    frame.color_range = enc.color_range;
    frame.colorspace = enc.colorspace;
    frame.color_primaries = enc.color_primaries;
    frame.color_trc = enc.color_trc;
    return output_->encode(frame);
}

bool VideoWriter::finish() { return output_->finish(); }

}  // namespace tamo
