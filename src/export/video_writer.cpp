#include "export/video_writer.h"

#include "export/video_reader.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace tamo {

std::unique_ptr<VideoWriter> VideoWriter::open(const std::filesystem::path& file, const VideoWriterSettings& s) {
    const int w = evenDown(s.width), h = evenDown(s.height);
    if (w <= 0 || h <= 0 || s.timeBase.num <= 0 || s.timeBase.den <= 0) return {};
    std::unique_ptr<VideoWriter> writer(new VideoWriter());
    writer->settings_ = s;

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()) < 0 || !raw) return {};
    writer->output_.reset(raw);

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return {};
    writer->encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = writer->encoder_.get();
    if (!enc) return {};
    enc->width = w;
    enc->height = h;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = s.timeBase;
    enc->framerate = s.frameRate;
    enc->bit_rate = s.bitRate;
    enc->colorspace = s.colorSpace;
    enc->color_primaries = s.colorPrimaries;
    enc->color_trc = s.colorTransfer;
    enc->color_range = AVCOL_RANGE_MPEG;
    if (writer->output_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(enc->priv_data, "preset", kX264Preset, 0);
    if (avcodec_open2(enc, codec, nullptr) < 0) return {};

    writer->stream_ = avformat_new_stream(writer->output_.get(), nullptr);
    if (!writer->stream_ || avcodec_parameters_from_context(writer->stream_->codecpar, enc) < 0) return {};
    writer->stream_->time_base = enc->time_base;
    writer->stream_->avg_frame_rate = s.frameRate;

    if (avio_open(&writer->output_->pb, file.c_str(), AVIO_FLAG_WRITE) < 0) return {};
    if (avformat_write_header(writer->output_.get(), nullptr) < 0) return {};
    writer->headerWritten_ = true;

    writer->frame_ = av::makeFrame();
    if (!writer->frame_ || !writer->packet_) return {};
    writer->frame_->format = AV_PIX_FMT_YUV420P;
    writer->frame_->width = w;
    writer->frame_->height = h;
    if (av_frame_get_buffer(writer->frame_.get(), 0) < 0) return {};
    writer->sws_.reset(sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, kSwsFlags, nullptr, nullptr, nullptr));
    if (!writer->sws_) return {};
    const int* matrix = sws_getCoefficients(s.colorMatrix);
    sws_setColorspaceDetails(writer->sws_.get(), matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
    return writer;
}

VideoWriter::~VideoWriter() = default;

bool VideoWriter::write(const BgraView& frame, std::int64_t pts) {
    const int w = encoder_->width, h = encoder_->height;
    if (!frame.data || frame.width < w || frame.height < h) return false;
    // Timestamps must rise; a frame that repeats or goes back in time cannot be shown and is left out.
    if (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_) return true;
    // The encoder may still hold the previous picture: then this gives the frame a new buffer.
    if (av_frame_make_writable(frame_.get()) < 0) return false;
    const std::uint8_t* src[4] = {frame.data, nullptr, nullptr, nullptr};
    int srcStride[4] = {frame.stride, 0, 0, 0};
    // Only the top-left even-sized part is converted: an odd last column or row is dropped.
    if (sws_scale(sws_.get(), src, srcStride, 0, h, frame_->data, frame_->linesize) != h) return false;
    frame_->pts = pts;
    lastPts_ = pts;
    if (avcodec_send_frame(encoder_.get(), frame_.get()) < 0) return false;
    return drain();
}

bool VideoWriter::drain() {
    for (;;) {
        int r = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        if (av_interleaved_write_frame(output_.get(), packet_.get()) < 0) return false;
    }
}

bool VideoWriter::finish() {
    if (avcodec_send_frame(encoder_.get(), nullptr) < 0) return false;
    if (!drain()) return false;
    if (av_write_trailer(output_.get()) < 0) return false;
    return avio_closep(&output_->pb) >= 0;
}

}  // namespace tamo
