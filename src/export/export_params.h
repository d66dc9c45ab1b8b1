#pragma once
#include <nlohmann/json.hpp>

#include <string>

#include "export/reframe_plan.h"

namespace tamo {

// The parameters of an export request, each with its default already applied.
struct ExportParams {
    nlohmann::json textObjects = nlohmann::json::array();  // always an array of objects
    std::string cropPreset = "original";
    double previewHeight = 400;  // always finite and > 0
    ReframeSettings reframe;     // optional; the defaults are the centred cut-out at its own size
};

// Reads "textObjects", "cropPreset" and "previewHeight" key by key. A list that is not an array of
// objects counts as empty; a preview height of 0 or less (or not finite) is the default 400, so
// that outline and shadow sizes stay finite.
// The optional reframing keys:
//   "cropPositionX", "cropPositionY": where the crop window sits in the room it has to move, in
//       percent (0 left/top, 50 centred, 100 right/bottom); default 50, clamped to 0…100.
//   "outputSize": "crop" (default: the crop window's own size, e.g. 607×1080 for 9:16 of 1920×1080)
//       or "standard" (scaled to the preset's size: 1080×1920, 1080×1080, 1080×1350, 1920×1080,
//       1440×1080; "original" keeps the source's size).
//   "fillMode": "crop" (default: the crop window fills the frame) or "fit" (the whole picture
//       fitted inside the frame over a blurred, enlarged copy of the crop window).
// Overlay positions and sizes given relative to the frame follow the output size; the blur
// strength of blur regions and the margin of text boxes are in pixels of the crop window and are
// scaled with it.
ExportParams readExportParams(const nlohmann::json& params);

}  // namespace tamo
