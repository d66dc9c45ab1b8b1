#pragma once
// Turns decoded audio frames of any format into planar float at one rate and channel count.
#include <cstdint>
#include <vector>

#include "media/ffmpeg_ptr.h"

namespace tamo {

class AudioResampler {
public:
    // monoOnEveryChannel: a one-channel source is put on every output channel at its own level
    // (a standard upmix would lower it by 3 dB); otherwise channels are mixed the library's way.
    AudioResampler(int sampleRate, int channels, bool monoOnEveryChannel = false);

    // Converts one frame; the samples are then in channel(c)[0 … count). Returns the count, or -1
    // when the frame cannot be converted. A frame whose format differs from the previous one's
    // (a stream that changes mid-way) first flushes the old conversion into the same result.
    int convert(const AVFrame& frame);
    // What the conversion still holds at the end of the stream, the same way.
    int flush();

    const float* channel(int c) const { return out_[c].data(); }
    int channels() const { return static_cast<int>(out_.size()); }
    int sampleRate() const { return rate_; }

private:
    struct InputFormat {
        int rate = 0;
        int format = -1;
        int channels = 0;
        std::uint64_t mask = 0;
        bool operator==(const InputFormat&) const = default;
    };
    bool setUp(const AVFrame& frame, const InputFormat& format);
    int run(const std::uint8_t** data, int samples, int at);  // appends at sample `at`; new total or -1

    int rate_;
    bool monoOnEveryChannel_;
    bool mono_ = false;  // the current input is one channel put on every output channel
    InputFormat in_;
    av::SwrPtr swr_;
    std::vector<std::vector<float>> out_;
};

}  // namespace tamo
