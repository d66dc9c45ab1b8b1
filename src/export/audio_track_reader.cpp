#include "export/audio_track_reader.h"

#include <algorithm>

namespace tamo {

AudioTrackReader::AudioTrackReader(std::unique_ptr<AudioStreamDecoder> decoder, PictureClock clock)
    : decoder_(std::move(decoder)),
      resampler_(kSampleRate, 2, true),
      placement_(kSampleRate, std::move(clock), decoder_->timestampsMayJump()),
      fifo_(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, 4096)) {}

AudioTrackReader::~AudioTrackReader() = default;

std::unique_ptr<AudioTrackReader> AudioTrackReader::open(const std::string& path, PictureClock clock) {
    auto decoder = AudioStreamDecoder::open(path);
    if (!decoder) return {};
    std::unique_ptr<AudioTrackReader> r(new AudioTrackReader(std::move(decoder), std::move(clock)));
    if (!r->fifo_) return {};
    return r;
}

void AudioTrackReader::append(int count, std::int64_t skip) {
    if (count <= skip) return;
    void* planes[2] = {const_cast<float*>(resampler_.channel(0) + skip),
                       const_cast<float*>(resampler_.channel(1) + skip)};
    const int n = static_cast<int>(count - skip);
    if (av_audio_fifo_write(fifo_.get(), planes, n) < n) ended_ = true;  // out of memory: the sound ends here
}

bool AudioTrackReader::decodeMore() {
    while (!ended_) {
        const AVFrame* frame = decoder_->next();
        if (!frame) {
            // What the resampler still holds follows the last piece.
            int count = resampler_.flush();
            if (count > 0) append(count, placement_.place(NAN, count).skip);
            ended_ = true;
            return count > 0;
        }
        int count = resampler_.convert(*frame);
        if (count < 0) {  // a frame that cannot be converted is left out, the next one starts over
            continue;
        }
        if (count == 0) continue;
        AudioPlacement::Step step = placement_.place(decoder_->secondsOf(*frame), count);
        silence_ += step.silence;
        append(count, step.skip);
        if (step.silence > 0 || step.skip < count) return true;
    }
    return false;
}

int AudioTrackReader::mixInto(float* left, float* right, int n, float gain) {
    int done = 0;
    float buffer[2][1024];
    while (done < n) {
        if (silence_ > 0) {  // only ever due while the FIFO is empty: it comes before the FIFO's sound
            int k = static_cast<int>(std::min<std::int64_t>(silence_, n - done));
            silence_ -= k;
            done += k;
            continue;
        }
        if (av_audio_fifo_size(fifo_.get()) > 0) {
            int k = std::min({n - done, av_audio_fifo_size(fifo_.get()), 1024});
            void* planes[2] = {buffer[0], buffer[1]};
            k = av_audio_fifo_read(fifo_.get(), planes, k);
            if (k <= 0) break;
            for (int i = 0; i < k; ++i) {
                left[done + i] += gain * buffer[0][i];
                right[done + i] += gain * buffer[1][i];
            }
            done += k;
            continue;
        }
        if (!decodeMore()) break;
    }
    return done;
}

}  // namespace tamo
