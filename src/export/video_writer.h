#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "media/ffmpeg_ptr.h"
#include "media/mp4_video_output.h"

namespace tamo {

// The x264 preset of every export: the best quality that keeps the drawing pipeline close to the
// speed of a plain transcode (measured by bench/export_bench).
inline constexpr const char* kX264Preset = "veryfast";

// The lowest average bit rate the encoder is given (x264 counts in kbit/s).
inline constexpr std::int64_t kMinBitRate = 1000;

struct VideoWriterSettings {
    int width = 0;  // exact output size W × H; the stream is encoded at the even size below it
    int height = 0;
    std::int64_t bitRate = 0;       // average, bits per second
    AVRational frameRate{30, 1};    // expected rate (a hint: every frame keeps its own timestamp)
    AVRational timeBase{1, 90000};  // of the timestamps handed to write()
    // Tags written into the stream: the planes are handed over as they are, so these say how
    // they were made.
    AVColorSpace colorSpace = AVCOL_SPC_BT709;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_BT709;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_BT709;
    bool fullRange = false;
    // x264 at quantiser 0: every pixel as it was handed over (intermediate files, tests).
    bool lossless = false;
};

// Encodes 8-bit 4:2:0 frames with libx264 into an MPEG-4 file without sound.
// 4:2:0 needs even sizes, so an odd W or H loses its last column or row here; all geometry and
// drawing before this point work on the exact W × H.
class VideoWriter {
public:
    static std::unique_ptr<VideoWriter> open(const std::filesystem::path& file, const VideoWriterSettings& settings);
    ~VideoWriter();

    // frame: yuv420p of at least the encoded size (its top-left part is encoded). False when the
    // encoder or the file rejects it.
    bool write(AVFrame& frame, std::int64_t pts);
    // Flushes the encoder and completes the file. False on any failure.
    bool finish();

    static int evenDown(int v) { return v & ~1; }

private:
    VideoWriter() = default;

    std::unique_ptr<av::Mp4VideoOutput> output_;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
};

}  // namespace tamo
