#pragma once
// Turns decoded pictures into output frames that are not a plain cut-out: the crop window scaled
// to the output size, or the whole picture fitted over a blurred, enlarged copy of the window.
// Everything stays in 4:2:0 YUV; libswscale scales once per frame (plus the small background).
#include "export/reframe_plan.h"
#include "export/yuv_frame.h"
#include "media/ffmpeg_ptr.h"

namespace tamo {

class FrameReframer {
public:
    explicit FrameReframer(const FramePlan& plan) : plan_(plan) {}

    // A new plan.width × plan.height frame made from a 4:2:0 picture of the source's display size
    // (a smaller picture is taken as padded with black). Null when memory runs out or swscale
    // refuses the sizes.
    av::FramePtr reframe(const YuvView& source, bool fullRange);

private:
    YuvView wholeSource(const YuvView& source, bool fullRange);
    bool blurredBackground(const YuvView& source, const YuvView& out);

    FramePlan plan_;
    av::SwsPtr scale_;     // crop window (Crop) or whole picture (Fit) → output
    av::SwsPtr shrink_;    // crop window → small background
    av::SwsPtr enlarge_;   // small background → whole output frame
    av::FramePtr padded_;  // a picture smaller than announced, padded with black
    av::FramePtr small_;
};

// The part of a 4:2:0 view at (x, y), w × h; the chroma planes start at (x / 2, y / 2).
YuvView yuvWindow(const YuvView& view, int x, int y, int w, int h);

}  // namespace tamo
