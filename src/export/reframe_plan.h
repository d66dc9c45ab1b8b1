#pragma once
// How one export turns the source picture into its output frame: which window of the source it
// shows, at what size, and whether the whole picture is fitted over a blurred copy of itself.
#include <string_view>

#include "export/geometry.h"

namespace tamo {

enum class OutputSize {
    Crop,      // the crop window's own size ("crop")
    Standard,  // the preset's standard size ("standard"); "original" keeps the source's size
};
enum class FillMode {
    Crop,  // the crop window fills the frame ("crop")
    Fit,   // the whole picture fitted inside, the rest a blurred, enlarged copy of it ("fit")
};

// The reframing export parameters, each with its default (today's centred cut-out at its own size).
struct ReframeSettings {
    double positionX = 50;  // the crop window in its room to move, 0…100 (see computeGeometry)
    double positionY = 50;
    OutputSize size = OutputSize::Crop;
    FillMode fill = FillMode::Crop;
};

// Names as the export parameters write them; unknown names are the defaults.
OutputSize outputSizeNamed(std::string_view name);
FillMode fillModeNamed(std::string_view name);

struct FramePlan {
    int sourceWidth = 0;  // display size of the source
    int sourceHeight = 0;
    OutputGeometry crop;  // the window of the source (crop.width × crop.height at cropX, cropY)
    int width = 0;        // output frame
    int height = 0;
    FillMode fill = FillMode::Crop;
    // Fit: where the whole source lies in the output frame (even origin, so that 4:2:0 chroma
    // starts on a sample). The rest of the frame shows the crop window blurred and enlarged.
    int fitX = 0, fitY = 0, fitWidth = 0, fitHeight = 0;

    // True when the output is the crop window's pixels as they are: no scaling, no fill.
    bool plainCrop() const { return fill == FillMode::Crop && width == crop.width && height == crop.height; }
    // Output pixels per pixel of the crop window at its own size: what sizes given in the crop
    // window's pixels (blur strength) are multiplied by.
    double pixelScale() const { return crop.height > 0 ? static_cast<double>(height) / crop.height : 1.0; }
};

// The plan for a source of display size w0 × h0. Fit needs something to fit: when the crop window
// is the whole source (or the source has no size) it is the same as Crop.
FramePlan planFrame(double sourceWidth, double sourceHeight, std::string_view preset, const ReframeSettings& settings);

}  // namespace tamo
