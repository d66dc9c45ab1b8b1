#include "media/mp4_video_output.h"

#include "media/mp4_output.h"

namespace tamo::av {

std::unique_ptr<Mp4VideoOutput> Mp4VideoOutput::open(const std::filesystem::path& file, const VideoEncoderSetup& s) {
    if (s.width <= 0 || s.height <= 0 || (s.width | s.height) & 1 || s.timeBase.num <= 0 || s.timeBase.den <= 0)
        return {};
    std::unique_ptr<Mp4VideoOutput> out(new Mp4VideoOutput());
    if (!out->packet_) return {};
    out->output_ = allocateMp4Output(file);
    if (!out->output_) return {};

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec) return {};
    out->encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = out->encoder_.get();
    if (!enc) return {};
    enc->width = s.width;
    enc->height = s.height;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = s.timeBase;
    enc->framerate = s.frameRate;
    enc->sample_aspect_ratio = AVRational{1, 1};
    enc->bit_rate = s.bitRate;
    enc->colorspace = s.colorSpace;
    enc->color_primaries = s.colorPrimaries;
    enc->color_trc = s.colorTransfer;
    enc->color_range = s.colorRange;
    fitEncoderToOutput(*out->output_, *enc);
    if (s.tune) s.tune(*enc);
    if (avcodec_open2(enc, codec, nullptr) < 0) return {};

    out->stream_ = addEncoderStream(*out->output_, *enc);
    if (!out->stream_) return {};
    out->stream_->avg_frame_rate = s.frameRate;
    if (!startWriting(*out->output_, file)) return {};
    return out;
}

bool Mp4VideoOutput::encode(const AVFrame& frame) {
    encoded_ = true;
    if (avcodec_send_frame(encoder_.get(), &frame) < 0) return false;
    return drain();
}

bool Mp4VideoOutput::writePacket(AVPacket& packet) {
    av_packet_rescale_ts(&packet, encoder_->time_base, stream_->time_base);
    packet.stream_index = stream_->index;
    return av_interleaved_write_frame(output_.get(), &packet) >= 0;
}

bool Mp4VideoOutput::drain() {
    for (;;) {
        int r = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        if (!writePacket(*packet_)) return false;
    }
}

bool Mp4VideoOutput::finish() {
    if (encoded_) {
        if (avcodec_send_frame(encoder_.get(), nullptr) < 0) return false;
        if (!drain()) return false;
    }
    if (av_write_trailer(output_.get()) < 0) return false;
    return avio_closep(&output_->pb) >= 0;
}

}  // namespace tamo::av
