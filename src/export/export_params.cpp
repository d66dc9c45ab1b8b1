#include "export/export_params.h"

#include <cmath>

#include "platform/json_params.h"

namespace tamo {

ExportParams readExportParams(const nlohmann::json& params) {
    ExportParams out;
    if (!params.is_object()) return out;
    if (const auto* list = params::array(params, "textObjects")) {
        bool allObjects = true;
        for (const auto& entry : *list) allObjects = allObjects && entry.is_object();
        if (allObjects) out.textObjects = *list;
    }
    out.cropPreset = params::text(params, "cropPreset", "original");
    double preview = params::realNumber(params, "previewHeight", 400.0);
    if (std::isfinite(preview) && preview > 0) out.previewHeight = preview;
    out.reframe.positionX = params::realNumber(params, "cropPositionX", 50.0);
    out.reframe.positionY = params::realNumber(params, "cropPositionY", 50.0);
    out.reframe.size = outputSizeNamed(params::text(params, "outputSize", "crop"));
    out.reframe.fill = fillModeNamed(params::text(params, "fillMode", "crop"));
    return out;
}

}  // namespace tamo
