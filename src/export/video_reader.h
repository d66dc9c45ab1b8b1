#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ffmpeg_ptr.h"
#include "export/bgra_buffer.h"
#include "export/geometry.h"

namespace tamo {

// Conversions between the video's YUV and the drawing's BGRA. Bilinear chroma: measured as fast as
// the fastest path and better than bicubic here once both directions are counted (bench/).
inline constexpr int kSwsFlags = SWS_BILINEAR;

// What the export needs to know about its source before reading a frame.
struct SourceInfo {
    int streamIndex = -1;    // first video stream; -1 when there is none
    double displayWidth = 0;  // after the stream's rotation
    double displayHeight = 0;
    int rotation = 0;         // clockwise degrees that show the picture upright
    double durationSeconds = 0;
    AVRational frameRate{0, 1};  // nominal rate; 0/1 when unknown
    AVRational timeBase{1, 1};
    // Colour description of the source, kept for the output so that its picture reads the same.
    int colorMatrix = 0;  // SWS_CS_* used for both conversions
    AVColorSpace colorSpace = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_UNSPECIFIED;
};

// Demuxes and decodes the source's first video stream, one frame at a time, into BGRA pictures
// turned into display orientation. Frames are not dropped or duplicated.
class VideoReader {
public:
    // The source opened and described; info.streamIndex is -1 when it has no video stream.
    // Empty when the file cannot be opened at all.
    static std::unique_ptr<VideoReader> openSource(const std::string& path, SourceInfo& info);

    // Opens the decoder. False when the stream cannot be decoded.
    bool start();

    enum class Status { Frame, End, Error };
    struct Frame {
        BgraView picture;      // valid until the next call
        std::int64_t pts = 0;  // in info.timeBase
        double seconds = 0;
    };
    Status next(Frame& out);

    const SourceInfo& info() const { return info_; }
    int corruptPackets() const { return corruptPackets_; }

private:
    VideoReader() = default;
    bool convert(const AVFrame& frame, Frame& out);

    SourceInfo info_;
    av::InputPtr input_;
    av::CodecPtr decoder_;
    av::PacketPtr packet_ = av::makePacket();
    av::FramePtr frame_ = av::makeFrame();
    av::SwsPtr sws_;
    BgraBuffer decoded_, turned_;
    bool draining_ = false;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
    int corruptPackets_ = 0;
    bool lastPacketCorrupt_ = false;
};

// Colour matrix for RGB conversion: the stream's tag, otherwise BT.601 below 720 lines and BT.709
// from there on (what players assume for untagged video).
int colorMatrixOf(AVColorSpace space, int height);

}  // namespace tamo
