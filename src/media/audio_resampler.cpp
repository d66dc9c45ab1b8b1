#include "media/audio_resampler.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace tamo {
namespace {

// The frame's channel layout, or the usual one for its channel count when it names none.
AVChannelLayout layoutOf(const AVFrame& frame) {
    AVChannelLayout layout{};
    if (frame.ch_layout.nb_channels > 0 && frame.ch_layout.order != AV_CHANNEL_ORDER_UNSPEC &&
        av_channel_layout_copy(&layout, &frame.ch_layout) == 0)
        return layout;
    av_channel_layout_default(&layout, std::max(frame.ch_layout.nb_channels, 1));
    return layout;
}

}  // namespace

AudioResampler::AudioResampler(int sampleRate, int channels, bool monoOnEveryChannel)
    : rate_(sampleRate), monoOnEveryChannel_(monoOnEveryChannel), out_(std::max(channels, 1)) {}

bool AudioResampler::setUp(const AVFrame& frame, const InputFormat& format) {
    swr_.reset();
    in_ = format;
    AVChannelLayout inLayout = layoutOf(frame);
    mono_ = monoOnEveryChannel_ && inLayout.nb_channels == 1 && channels() > 1;
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, mono_ ? 1 : channels());
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLTP, rate_, &inLayout,
                                 static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    swr_.reset(raw);
    return rc >= 0 && swr_ && swr_init(swr_.get()) >= 0;
}

int AudioResampler::run(const std::uint8_t** data, int samples, int at) {
    int room = swr_get_out_samples(swr_.get(), samples);
    if (room < 0) return -1;
    for (auto& c : out_) c.resize(static_cast<std::size_t>(at) + room + 1);
    std::uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
    const int converted = mono_ ? 1 : channels();
    for (int c = 0; c < converted && c < AV_NUM_DATA_POINTERS; ++c)
        planes[c] = reinterpret_cast<std::uint8_t*>(out_[c].data() + at);
    int got = swr_convert(swr_.get(), planes, room, data, samples);
    if (got < 0) return -1;
    if (mono_)
        for (int c = 1; c < channels(); ++c) std::copy_n(out_[0].data() + at, got, out_[c].data() + at);
    return at + got;
}

int AudioResampler::convert(const AVFrame& frame) {
    if (frame.sample_rate <= 0 || frame.nb_samples <= 0 || channels() > AV_NUM_DATA_POINTERS) return -1;
    InputFormat format{frame.sample_rate, frame.format, frame.ch_layout.nb_channels,
                       frame.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame.ch_layout.u.mask : 0};
    int total = 0;
    if (!swr_ || !(format == in_)) {
        if (swr_) total = flush();
        if (total < 0 || !setUp(frame, format)) {
            swr_.reset();
            return -1;
        }
    }
    total = run(const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples, total);
    if (total < 0) swr_.reset();  // the next frame starts over
    return total;
}

int AudioResampler::flush() {
    if (!swr_) return 0;
    return run(nullptr, 0, 0);
}

}  // namespace tamo
