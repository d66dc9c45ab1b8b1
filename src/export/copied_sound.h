#pragma once
// The source's sound taken over packet by packet, without decoding or a second encode: when it is
// AAC laid down without holes from the picture's first frame, the mix would only have reproduced it
// (at the cost of an encode and of a generation of quality).
#include <memory>
#include <string>

#include "export/sound_packets.h"
#include "media/audio_placement.h"

namespace tamo {

class CopiedSound : public SoundPackets {
public:
    // Empty when the first audio stream of the file cannot be taken over as it is: not AAC, not in a
    // container with an index of its packets, starting away from the picture's first frame, with a
    // hole or a reset of the clock. Packets are handed out until `seconds` of the output timeline.
    static std::unique_ptr<CopiedSound> open(const std::string& path, const PictureClock& clock, double seconds);

    AVStream* addStreamTo(AVFormatContext& output) const override;
    AVRational timeBase() const override { return stream().time_base; }
    int next(AVPacket& packet) override;

private:
    CopiedSound() = default;
    const AVStream& stream() const { return *input_->streams[stream_]; }

    av::InputPtr input_;
    int stream_ = -1;
    std::int64_t origin_ = 0;  // the picture's first frame, in the stream's time base
    double endSeconds_ = 0;
};

}  // namespace tamo
