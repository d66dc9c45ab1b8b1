#include "media/audio_decoder.h"

#include <cmath>

namespace tamo::av {

int firstAudioStream(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
    return -1;
}

CodecPtr openStreamDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) return {};
    CodecPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0) return {};
    decoder->pkt_timebase = stream.time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return {};
    return decoder;
}

}  // namespace tamo::av

namespace tamo {
namespace {
// A decoder that fails this many times without taking a packet in between has nothing more to give.
constexpr int kErrorsInARowToGiveUp = 64;
}  // namespace

std::unique_ptr<AudioStreamDecoder> AudioStreamDecoder::open(const std::string& path, const char* formatWhitelist) {
    auto input = av::openInput(path, formatWhitelist);
    if (!input) return {};
    int index = av::firstAudioStream(*input);
    if (index < 0) return {};
    std::unique_ptr<AudioStreamDecoder> d(new AudioStreamDecoder());
    d->decoder_ = av::openStreamDecoder(*input->streams[index]);
    if (!d->decoder_ || !d->packet_ || !d->frame_) return {};
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != index) input->streams[i]->discard = AVDISCARD_ALL;
    d->stream_ = index;
    d->input_ = std::move(input);
    return d;
}

const AVFrame* AudioStreamDecoder::next() {
    av_frame_unref(frame_.get());
    int errorsInARow = 0;
    while (!ended_) {
        int rc = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (rc == 0) {
            if (frame_->nb_samples > 0) return frame_.get();
            av_frame_unref(frame_.get());
            continue;
        }
        if (rc == AVERROR(EAGAIN) && !draining_) {
            rc = av_read_frame(input_.get(), packet_.get());
            if (rc < 0) {  // the end of the file, or the rest cannot be read: the sound ends here
                readFailed_ = rc != AVERROR_EOF;
                draining_ = true;
                avcodec_send_packet(decoder_.get(), nullptr);
                continue;
            }
            // A packet the decoder refuses costs a few milliseconds of sound, not the rest of it.
            if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
            errorsInARow = 0;
            av_packet_unref(packet_.get());
            continue;
        }
        if (rc == AVERROR_EOF || rc == AVERROR(EAGAIN) || ++errorsInARow >= kErrorsInARowToGiveUp) ended_ = true;
    }
    return nullptr;
}

double AudioStreamDecoder::secondsOf(const AVFrame& frame) const {
    std::int64_t ts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
    if (ts == AV_NOPTS_VALUE) return NAN;
    return static_cast<double>(ts) * av_q2d(stream().time_base);
}

bool AudioStreamDecoder::timestampsMayJump() const {
    return input_->iformat && (input_->iformat->flags & AVFMT_TS_DISCONT);
}

}  // namespace tamo
