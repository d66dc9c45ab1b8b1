#pragma once
// The sound of an export as the packets that go into the final file, whether encoded from a mix
// or taken over from the source as they are.
#include "media/ffmpeg_ptr.h"

namespace tamo {

class SoundPackets {
public:
    virtual ~SoundPackets() = default;

    // Adds the stream the packets go into; nullptr when it cannot be added.
    virtual AVStream* addStreamTo(AVFormatContext& output) const = 0;
    // The time base of the packets' timestamps.
    virtual AVRational timeBase() const = 0;
    // The next packet, in presentation order of the output timeline: 0, AVERROR_EOF after the last
    // one, or the error that ended the sound.
    virtual int next(AVPacket& packet) = 0;
};

}  // namespace tamo
