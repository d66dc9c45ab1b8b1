#pragma once
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "media/audio_decoder.h"
#include "media/audio_placement.h"
#include "media/audio_resampler.h"
#include "media/ffmpeg_ptr.h"

namespace tamo {

// The sound of the first audio stream of a file as planar float stereo at a fixed rate, laid on
// a timeline by its own timestamps and handed out in blocks. A file that stops decoding part-way
// simply ends there.
class AudioTrackReader {
public:
    static constexpr int kSampleRate = 48000;

    // clock: the time on the file's clock that becomes 0 (sound before it is dropped, a later start
    // leaves silence; NaN starts at the file's first sound) and the picture's shifts at resets of
    // the clock. Empty when the file has no audio stream that can be decoded.
    static std::unique_ptr<AudioTrackReader> open(const std::string& path, PictureClock clock = {});
    ~AudioTrackReader();

    // Adds gain × up to n samples into left/right (silence adds nothing); returns how many
    // samples of the timeline it covered (< n at the end).
    int mixInto(float* left, float* right, int n, float gain);
    bool ended() const { return ended_ && silence_ == 0 && av_audio_fifo_size(fifo_.get()) == 0; }

private:
    AudioTrackReader(std::unique_ptr<AudioStreamDecoder> decoder, PictureClock clock);
    bool decodeMore();  // one more piece of sound (with the silence before it); false at the end
    void append(int count, std::int64_t skip);

    std::unique_ptr<AudioStreamDecoder> decoder_;
    AudioResampler resampler_;
    AudioPlacement placement_;
    av::AudioFifoPtr fifo_;
    std::int64_t silence_ = 0;  // silence due before what the FIFO holds
    bool ended_ = false;
};

}  // namespace tamo
