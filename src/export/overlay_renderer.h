#pragma once
#include "export/draw_info.h"
#include "export/geometry.h"
#include "export/yuv_frame.h"

namespace tamo {

class OverlayTarget;

// Burns one export's overlays into its output frames (blur regions, progress bar, pictures,
// texts), frame by frame. Lives on the export thread; caches per-export state between frames.
class OverlayRenderer {
public:
    // width/height: the exact output size W × H the records were built for; duration: D in seconds.
    OverlayRenderer(std::shared_ptr<const OverlaySet> overlays, int width, int height, double durationSeconds);
    ~OverlayRenderer();
    OverlayRenderer(const OverlayRenderer&) = delete;
    OverlayRenderer& operator=(const OverlayRenderer&) = delete;

    // The rest of processFrame after the crop copy: blurs the regions active at t, then
    // drawOverlaysOnBuffer. frame must be W × H BGRA (premultiplied, opaque video).
    void processFrame(const BgraView& frame, double timeSeconds);
    // The same drawing blended into the video's own planes (model: their matrix and range). The
    // frame may be the W × H of the records or that size rounded down to even (what 4:2:0
    // encodes); pixels outside every overlay keep their values exactly.
    void processFrame(const YuvView& frame, const YuvColorModel& model, double timeSeconds);

    // Whether anything is drawn into a frame at this time (a frame nothing touches may be
    // handed to the encoder as the decoder gave it).
    bool drawsAt(double timeSeconds) const;

private:
    // Blur regions, then progress bar, then pictures, then texts, each kind in list order.
    void drawAll(OverlayTarget& target, double currentTime);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tamo
