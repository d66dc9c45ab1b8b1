#pragma once
// A layer converted once into what it adds to each plane of a YUV frame, so that showing it on
// every frame of its window is integer arithmetic over its own rectangle only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "export/overlay_layer.h"
#include "export/yuv_frame.h"

namespace tamo {

// One plane's share of a layer, per plane sample inside the frame: how much the layer covers it
// (the alphas of the layer pixels under the sample, summed) and the premultiplied value it brings
// (in 1/256 of a level). A sample the layer leaves clear has both 0.
struct YuvLayerPlane {
    PixelRect area;   // plane samples covered, inside the plane
    int samples = 1;  // layer pixels summed per sample: 1 for luma, 4 for 4:2:0 chroma
    std::vector<std::uint16_t> coverage;
    std::vector<std::uint16_t> value[2];  // luma uses value[0]; chroma U in [0], V in [1]

    std::size_t bytes() const { return 2 * (coverage.capacity() + value[0].capacity() + value[1].capacity()); }
};

struct YuvLayer {
    // What it was made for: the same layer on a frame of another size or model is made again.
    YuvColorModel model;
    int frameWidth = 0, frameHeight = 0, chromaShiftX = 1, chromaShiftY = 1;
    YuvLayerPlane luma, chroma;

    bool madeFor(const YuvView& frame, const YuvColorModel& m) const;
    std::size_t bytes() const { return luma.bytes() + chroma.bytes(); }
};

// The layer's premultiplied BGRA pixels inside the frame, with the frame's matrix and range,
// in the memory of the layer's spare conversion when it has one. Null when the layer has no
// pixels or misses the frame.
std::shared_ptr<YuvLayer> convertLayer(const Layer& layer, const YuvView& frame, const YuvColorModel& model);

// out = P (1 - alpha A) + alpha V on every sample the layer covers, for an overall alpha in (0, 1].
void blendLayer(const YuvLayer& layer, const YuvView& frame, double alpha);

}  // namespace tamo
