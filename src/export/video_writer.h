#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "media/ffmpeg_ptr.h"
#include "export/geometry.h"

namespace tamo {

// The x264 preset of every export: the best quality that keeps the drawing pipeline close to the
// speed of a bare decode + encode (measured by bench/export_bench).
inline constexpr const char* kX264Preset = "veryfast";

struct VideoWriterSettings {
    int width = 0;   // exact output size W × H; the stream is encoded at the even size below it
    int height = 0;
    std::int64_t bitRate = 0;    // average, bits per second
    AVRational frameRate{30, 1};  // expected rate (a hint: every frame keeps its own timestamp)
    AVRational timeBase{1, 90000};  // of the timestamps handed to write()
    int colorMatrix = SWS_CS_ITU709;  // SWS_CS_* of the RGB → YUV conversion
    AVColorSpace colorSpace = AVCOL_SPC_BT709;  // tags written into the stream
    AVColorPrimaries colorPrimaries = AVCOL_PRI_BT709;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_BT709;
};

// Encodes BGRA frames with libx264 (YUV 4:2:0) into an MPEG-4 file without sound.
// 4:2:0 needs even sizes, so an odd W or H loses its last column or row here; all geometry and
// drawing before this point work on the exact W × H.
class VideoWriter {
public:
    static std::unique_ptr<VideoWriter> open(const std::filesystem::path& file, const VideoWriterSettings& settings);
    ~VideoWriter();

    // False when the encoder or the file rejects the frame.
    bool write(const BgraView& frame, std::int64_t pts);
    // Flushes the encoder and completes the file. False on any failure.
    bool finish();

    static int evenDown(int v) { return v & ~1; }

private:
    VideoWriter() = default;
    bool drain();

    VideoWriterSettings settings_;
    av::OutputPtr output_;
    av::CodecPtr encoder_;
    AVStream* stream_ = nullptr;
    av::SwsPtr sws_;
    av::FramePtr frame_;
    av::PacketPtr packet_ = av::makePacket();
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
    bool headerWritten_ = false;
};

}  // namespace tamo
