#pragma once
#include <nlohmann/json.hpp>

#include <string>

namespace tamo {

// The three parameters of an export request, each with its default already applied.
struct ExportParams {
    nlohmann::json textObjects = nlohmann::json::array();  // always an array of objects
    std::string cropPreset = "original";
    double previewHeight = 400;  // always finite and > 0
};

// Reads "textObjects", "cropPreset" and "previewHeight" key by key. A list that is not an array of
// objects counts as empty; a preview height of 0 or less (or not finite) is the default 400, so
// that outline and shadow sizes stay finite.
ExportParams readExportParams(const nlohmann::json& params);

}  // namespace tamo
