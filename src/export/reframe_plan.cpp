#include "export/reframe_plan.h"

#include <algorithm>
#include <cmath>

namespace tamo {

OutputSize outputSizeNamed(std::string_view name) {
    return name == "standard" ? OutputSize::Standard : OutputSize::Crop;
}

FillMode fillModeNamed(std::string_view name) { return name == "fit" ? FillMode::Fit : FillMode::Crop; }

FramePlan planFrame(double w0, double h0, std::string_view preset, const ReframeSettings& s) {
    FramePlan plan;
    plan.crop = computeGeometry(w0, h0, preset, s.positionX, s.positionY);
    const OutputGeometry whole = computeGeometry(w0, h0, "original");
    plan.sourceWidth = whole.width;
    plan.sourceHeight = whole.height;
    plan.width = plan.crop.width;
    plan.height = plan.crop.height;
    const FrameSize standard = standardSize(preset);
    if (s.size == OutputSize::Standard && standard.width > 0 && plan.crop.width > 0 && plan.crop.height > 0) {
        plan.width = standard.width;
        plan.height = standard.height;
    }
    const bool cropsSomething = plan.crop.width < whole.width || plan.crop.height < whole.height;
    if (s.fill != FillMode::Fit || !cropsSomething || whole.width <= 0 || whole.height <= 0) return plan;

    plan.fill = FillMode::Fit;
    const double scale =
        std::min(static_cast<double>(plan.width) / whole.width, static_cast<double>(plan.height) / whole.height);
    // Even sizes where the frame allows, so that the picture covers whole chroma samples.
    auto evenWithin = [](double v, int limit) {
        int n = std::max(2, static_cast<int>(std::lround(v / 2)) * 2);
        return std::min(n, limit);
    };
    plan.fitWidth = evenWithin(whole.width * scale, plan.width);
    plan.fitHeight = evenWithin(whole.height * scale, plan.height);
    plan.fitX = (plan.width - plan.fitWidth) / 2 / 2 * 2;
    plan.fitY = (plan.height - plan.fitHeight) / 2 / 2 * 2;
    return plan;
}

}  // namespace tamo
