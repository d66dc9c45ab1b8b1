#include "export/mixed_sound.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>

#include "media/mp4_output.h"

namespace tamo {
namespace {
constexpr std::int64_t kAacBitRate = 192000;
constexpr int kRate = AudioTrackReader::kSampleRate;
}  // namespace

std::unique_ptr<MixedSound> MixedSound::open(std::unique_ptr<AudioTrackReader> source,
                                             std::unique_ptr<AudioTrackReader> narration, float sourceGain,
                                             double seconds, const AVFormatContext& output) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec || (!source && !narration)) return {};
    std::unique_ptr<MixedSound> m(new MixedSound());
    m->aac_.reset(avcodec_alloc_context3(codec));
    if (!m->aac_ || !m->frame_) return {};
    AVCodecContext& aac = *m->aac_;
    aac.sample_rate = kRate;
    aac.sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&aac.ch_layout, 2);
    aac.bit_rate = kAacBitRate;
    aac.time_base = {1, kRate};
    av::fitEncoderToOutput(output, aac);
    if (avcodec_open2(&aac, codec, nullptr) < 0) return {};
    m->source_ = std::move(source);
    m->narration_ = std::move(narration);
    m->sourceGain_ = sourceGain;
    m->limit_ = std::max<std::int64_t>(0, std::llround(seconds * kRate));
    return m;
}

AVStream* MixedSound::addStreamTo(AVFormatContext& output) const { return av::addEncoderStream(output, *aac_); }

int MixedSound::next(AVPacket& packet) {
    for (;;) {
        int rc = avcodec_receive_packet(aac_.get(), &packet);
        if (rc != AVERROR(EAGAIN)) return rc;  // a packet, the end, or an error
        if (flushed_) return AVERROR_EOF;
        if ((rc = sendMoreSound()) < 0) return rc;
    }
}

int MixedSound::sendMoreSound() {
    AVCodecContext* aac = aac_.get();
    const int frameSize = aac->frame_size > 0 ? aac->frame_size : 1024;
    const int want = static_cast<int>(std::min<std::int64_t>(frameSize, limit_ - pts_));
    int got = 0;
    if (want > 0) {
        left_.assign(want, 0.0f);
        right_.assign(want, 0.0f);
        if (source_) got = std::max(got, source_->mixInto(left_.data(), right_.data(), want, sourceGain_));
        if (narration_) got = std::max(got, narration_->mixInto(left_.data(), right_.data(), want, 1.0f));
    }
    if (got <= 0) {
        flushed_ = true;
        return avcodec_send_frame(aac, nullptr);
    }
    AVFrame* frame = frame_.get();
    frame->nb_samples = got;
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = kRate;
    av_channel_layout_copy(&frame->ch_layout, &aac->ch_layout);
    int rc = av_frame_get_buffer(frame, 0);
    if (rc < 0) return rc;
    auto* l = reinterpret_cast<float*>(frame->data[0]);
    auto* r = reinterpret_cast<float*>(frame->data[1]);
    for (int i = 0; i < got; ++i) {
        l[i] = std::clamp(left_[i], -1.0f, 1.0f);
        r[i] = std::clamp(right_[i], -1.0f, 1.0f);
    }
    frame->pts = pts_;
    pts_ += got;
    rc = avcodec_send_frame(aac, frame);
    av_frame_unref(frame);
    if (rc < 0) return rc;
    // A short frame is the last one the encoder may take.
    if (got < frameSize) {
        flushed_ = true;
        return avcodec_send_frame(aac, nullptr);
    }
    return 0;
}

}  // namespace tamo
