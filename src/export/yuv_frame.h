#pragma once
// The export's working picture: 8-bit planar YUV as the decoder gives it, drawn into in place.
#include <cstdint>

#include "export/gaussian_blur.h"
#include "export/geometry.h"
#include "media/ffmpeg_ptr.h"

namespace tamo {

// Three 8-bit planes; chroma planes are subsampled by 2^chromaShiftX across and 2^chromaShiftY
// down (1, 1 for 4:2:0; 0, 0 for 4:4:4). Not owning.
struct YuvView {
    std::uint8_t* data[3] = {nullptr, nullptr, nullptr};
    int linesize[3] = {0, 0, 0};
    int width = 0;  // luma size
    int height = 0;
    int chromaShiftX = 1;
    int chromaShiftY = 1;

    int chromaWidth() const { return (width + (1 << chromaShiftX) - 1) >> chromaShiftX; }
    int chromaHeight() const { return (height + (1 << chromaShiftY) - 1) >> chromaShiftY; }
    PlaneView plane(int i) const {
        return i == 0 ? PlaneView{data[0], width, height, linesize[0], 1}
                      : PlaneView{data[i], chromaWidth(), chromaHeight(), linesize[i], 1};
    }
};

// How RGB maps to the planes: the luma weights of red and blue and the value range.
struct YuvColorModel {
    double kr = 0.2126;
    double kb = 0.0722;
    bool fullRange = false;
};

// The model of an SWS_CS_* matrix.
YuvColorModel colorModelOf(int swsMatrix, bool fullRange);

// Y, U, V of an RGB colour (components 0…255, not premultiplied), unrounded.
struct YuvValue {
    double y = 0, u = 0, v = 0;
};
YuvValue rgbToYuv(const YuvColorModel& model, double r, double g, double b);

// The view of a planar 8-bit YUV frame (yuv420p, yuvj420p, yuv444p, yuvj444p); empty for others.
YuvView yuvViewOf(const AVFrame& frame);

// A new 4:2:0 frame of exactly width × height (odd sizes get the rounded-up chroma), with padded,
// aligned rows for FFmpeg's vector code. Null when memory runs out.
av::FramePtr allocateYuv420(int width, int height);

// Copies the crop window of src into dst (both with the same chroma subsampling): luma pixel
// (c, r) = src (c + cropX, r + cropY), chroma from (cropX, cropY) halved; an odd crop origin lies
// half-way between chroma samples, so there the window's chroma is the mean of the two. Rows and
// columns the window cannot find in src are left as they are.
void copyCropWindow(const YuvView& src, const YuvView& dst, const OutputGeometry& geometry);

// Fills a frame with black of the given range.
void fillBlack(const YuvView& frame, bool fullRange);

}  // namespace tamo
