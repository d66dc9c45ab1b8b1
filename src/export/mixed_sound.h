#pragma once
// The export's sound mixed from the source's and the narration's and encoded to AAC, frame by frame.
#include <memory>
#include <vector>

#include "export/audio_track_reader.h"
#include "export/sound_packets.h"

namespace tamo {

class MixedSound : public SoundPackets {
public:
    // Either reader may be missing (not both). The mix lasts `seconds` at most and ends earlier
    // with the longer of the two sounds. The source plays at `sourceGain`, the narration at 1.0.
    // Empty when the AAC encoder cannot be set up for `output`.
    static std::unique_ptr<MixedSound> open(std::unique_ptr<AudioTrackReader> source,
                                            std::unique_ptr<AudioTrackReader> narration, float sourceGain,
                                            double seconds, const AVFormatContext& output);

    AVStream* addStreamTo(AVFormatContext& output) const override;
    AVRational timeBase() const override { return aac_->time_base; }
    int next(AVPacket& packet) override;

private:
    MixedSound() = default;
    int sendMoreSound();  // one encoder frame of the mix, or the end of it

    std::unique_ptr<AudioTrackReader> source_, narration_;
    float sourceGain_ = 1.0f;
    av::CodecPtr aac_;
    av::FramePtr frame_ = av::makeFrame();
    std::int64_t limit_ = 0;  // samples
    std::int64_t pts_ = 0;    // samples sent to the encoder
    bool flushed_ = false;
    std::vector<float> left_, right_;
};

}  // namespace tamo
