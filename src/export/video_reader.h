#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/geometry.h"
#include "export/yuv_frame.h"
#include "media/ffmpeg_ptr.h"

namespace tamo {

// What the export needs to know about its source before reading a frame.
struct SourceInfo {
    int streamIndex = -1;     // first video stream; -1 when there is none
    double displayWidth = 0;  // after the stream's rotation
    double displayHeight = 0;
    int rotation = 0;  // clockwise degrees that show the picture upright
    double durationSeconds = 0;
    AVRational frameRate{0, 1};  // nominal rate; 0/1 when unknown
    AVRational timeBase{1, 1};
    // Colour description of the planes the reader hands out. An untagged source gets what
    // players assume for it (BT.601 below 720 lines, BT.709 from there on), written explicitly.
    int colorMatrix = 0;  // SWS_CS_*
    bool fullRange = false;
    AVColorSpace colorSpace = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_UNSPECIFIED;
    // Timestamps may reset or jump (transport streams): the timeline is then continued.
    bool timestampsMayBreak = false;
};

// Demuxes and decodes the source's first video stream, one frame at a time, into 8-bit 4:2:0
// planes turned into display orientation. Decoders that give 4:2:0 8-bit planes in the source's
// range are read without any conversion; other formats (10-bit, 4:2:2, 4:4:4, RGB) are converted
// once with the source's matrix and range. Frames are not dropped or duplicated.
class VideoReader {
public:
    // The source opened and described; info.streamIndex is -1 when it has no video stream.
    // Empty when the file cannot be opened at all.
    static std::unique_ptr<VideoReader> openSource(const std::string& path, SourceInfo& info);

    // Opens the decoder. False when the stream cannot be decoded.
    bool start();

    enum class Status { Frame, End, Error };
    struct Frame {
        YuvView picture;  // valid until the next call
        // The decoder's frame when picture is its planes as they are (a reference may be kept).
        const AVFrame* decoded = nullptr;
        std::int64_t pts = 0;  // in info.timeBase, from the first frame's time (0)
        double seconds = 0;    // the same in seconds
    };
    Status next(Frame& out);

    const SourceInfo& info() const { return info_; }
    int corruptPackets() const { return corruptPackets_; }
    // The first frame's presentation time in the source's own timeline (seconds): frame times
    // are counted from it. 0 before the first frame.
    double originSeconds() const;
    // The shift in seconds frame times took at each reset or leap of the source's clock, in order.
    const std::vector<double>& resetShiftSeconds() const { return resetShifts_; }

private:
    VideoReader() = default;
    bool convert(const AVFrame& frame, Frame& out);
    std::int64_t timelinePts(const AVFrame& frame);

    SourceInfo info_;
    av::InputPtr input_;
    av::CodecPtr decoder_;
    av::PacketPtr packet_ = av::makePacket();
    av::FramePtr frame_ = av::makeFrame();
    av::SwsPtr sws_;
    av::FramePtr converted_, turned_;
    bool draining_ = false;
    std::int64_t lastRawPts_ = AV_NOPTS_VALUE;
    std::int64_t origin_ = AV_NOPTS_VALUE;
    std::int64_t shift_ = 0;  // added after a discontinuity so that the timeline goes on
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
    std::vector<double> resetShifts_;
    int corruptPackets_ = 0;
    bool lastPacketCorrupt_ = false;
};

// Colour matrix for RGB conversion: the stream's tag, otherwise BT.601 below 720 lines and BT.709
// from there on (what players assume for untagged video).
int colorMatrixOf(AVColorSpace space, int height);

}  // namespace tamo
