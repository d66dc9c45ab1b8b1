#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ffmpeg_ptr.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace tamo {

// Decodes the first audio stream of a file into planar float stereo at a fixed rate, and hands
// it out in blocks. A file that stops decoding part-way simply ends there.
class AudioTrackReader {
public:
    static constexpr int kSampleRate = 48000;

    // Empty when the file has no audio stream that can be decoded.
    static std::unique_ptr<AudioTrackReader> open(const std::string& path);
    ~AudioTrackReader();

    // Adds gain × up to n samples into left/right; returns how many samples it had (< n at the end).
    int mixInto(float* left, float* right, int n, float gain);
    bool ended() const { return ended_ && av_audio_fifo_size(fifo_.get()) == 0; }

private:
    AudioTrackReader() = default;
    bool fill(int wanted);  // decodes until the FIFO holds `wanted` samples or the stream ends

    av::InputPtr input_;
    av::CodecPtr decoder_;
    av::SwrPtr swr_;
    av::PacketPtr packet_ = av::makePacket();
    av::FramePtr frame_ = av::makeFrame();
    av::AudioFifoPtr fifo_;
    int stream_ = -1;
    bool draining_ = false;
    bool ended_ = false;
    bool mono_ = false;
    std::vector<float> scratchL_, scratchR_;
};

}  // namespace tamo
