#include "media/audio_decoder.h"

#include <cmath>

namespace tamo {
namespace {
// A decoder that fails this many times without taking a packet in between has nothing more to give.
constexpr int kErrorsInARowToGiveUp = 64;
}  // namespace

std::unique_ptr<AudioStreamDecoder> AudioStreamDecoder::open(const std::string& path, const char* formatWhitelist) {
    av::StreamDecoding opened = av::openStreamDecoding(path, AVMEDIA_TYPE_AUDIO, 1, formatWhitelist);
    if (!opened) return {};
    std::unique_ptr<AudioStreamDecoder> d(new AudioStreamDecoder());
    if (!d->packet_ || !d->frame_) return {};
    d->input_ = std::move(opened.input);
    d->decoder_ = std::move(opened.decoder);
    d->stream_ = opened.stream;
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
