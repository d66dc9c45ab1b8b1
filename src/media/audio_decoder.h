#pragma once
// Reading the sound of a media file: the first audio stream decoded and its packets turned into
// timed frames, for the export, the narration and the sound extraction alike.
#include <memory>
#include <string>

#include "media/ffmpeg_ptr.h"
#include "media/stream_decoder.h"

namespace tamo {

// Decodes the first audio stream of a file frame by frame. Damaged packets are skipped; reading
// that breaks off ends the stream (readFailed() tells it from a proper end).
class AudioStreamDecoder {
public:
    // Empty when the file cannot be opened, has no audio stream or its sound cannot be decoded.
    static std::unique_ptr<AudioStreamDecoder> open(const std::string& path, const char* formatWhitelist = nullptr);

    // The next decoded frame, valid until the next call; nullptr when the stream has ended.
    const AVFrame* next();
    // Where a frame starts on the stream's clock, in seconds; NaN when it carries no timestamp.
    double secondsOf(const AVFrame& frame) const;

    bool readFailed() const { return readFailed_; }
    // The container's timestamps may reset or jump (transport streams).
    bool timestampsMayJump() const;
    const AVStream& stream() const { return *input_->streams[stream_]; }
    int streamIndex() const { return stream_; }

private:
    AudioStreamDecoder() = default;

    av::InputPtr input_;
    av::CodecPtr decoder_;
    av::PacketPtr packet_ = av::makePacket();
    av::FramePtr frame_ = av::makeFrame();
    int stream_ = -1;
    bool draining_ = false;
    bool ended_ = false;
    bool readFailed_ = false;
};

}  // namespace tamo
