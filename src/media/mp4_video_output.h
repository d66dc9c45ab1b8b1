#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "media/ffmpeg_ptr.h"

namespace tamo::av {

// What an H.264 stream in an MPEG-4 file is set up with.
struct VideoEncoderSetup {
    int width = 0;  // must be even (4:2:0)
    int height = 0;
    AVRational timeBase{1, 90000};
    AVRational frameRate{30, 1};
    std::int64_t bitRate = 0;  // average, bits per second; 0 with a quality setting in tune
    AVColorSpace colorSpace = AVCOL_SPC_BT709;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_BT709;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_BT709;
    AVColorRange colorRange = AVCOL_RANGE_MPEG;
    // Encoder options set before it opens (preset, rate control, threads).
    std::function<void(AVCodecContext&)> tune;
};

// A silent MPEG-4 file with one H.264 video stream (libx264, yuv420p): file, encoder and header
// set up in one place for every feature that writes video.
class Mp4VideoOutput {
public:
    // Empty when the file, the container or the encoder cannot be set up; a file it created
    // stays for the caller to remove.
    static std::unique_ptr<Mp4VideoOutput> open(const std::filesystem::path& file, const VideoEncoderSetup& setup);

    AVCodecContext& encoder() { return *encoder_; }
    AVStream& stream() { return *stream_; }

    // Encodes a frame (pts in the setup's time base) and writes what the encoder gives back.
    bool encode(const AVFrame& frame);
    // Writes an already encoded packet with timestamps in the encoder's time base (takes it over).
    bool writePacket(AVPacket& packet);
    // Flushes the encoder (if encode was used), writes the index and closes the file.
    bool finish();

private:
    Mp4VideoOutput() = default;
    bool drain();

    OutputPtr output_;
    CodecPtr encoder_;
    AVStream* stream_ = nullptr;
    PacketPtr packet_ = makePacket();
    bool encoded_ = false;
};

}  // namespace tamo::av
