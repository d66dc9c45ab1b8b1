#pragma once
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>

#include "export/draw_info.h"

namespace tamo {

// What the drawing records are built for: the exact output size W × H, the video duration D in
// seconds, and the page's preview height (already known to be finite and > 0).
struct RecordContext {
    int width = 0;
    int height = 0;
    double durationSeconds = 0;
    double previewHeight = 400;
    const std::map<std::string, std::filesystem::path>* images = nullptr;  // storedImages
    // Output pixels per pixel of the crop window at its own size (> 1 when the output is scaled
    // up to a standard size): blur strengths and text box margins are given in the crop window's pixels.
    double pixelScale = 1;
};

// Turns the page's overlay list into drawing records, entry by entry and key by key with the
// defaults of each key; unusable entries are skipped silently.
OverlaySet buildOverlaySet(const nlohmann::json& textObjects, const RecordContext& context);

}  // namespace tamo
