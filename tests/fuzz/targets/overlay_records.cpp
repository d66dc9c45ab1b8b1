// Export parameters as the page sends them, turned into drawing records and drawn onto a small
// frame at a few moments, and their reframing keys applied to a small picture. Nothing is drawn
// outside the frame's own bytes.
#include <filesystem>
#include <map>
#include <vector>

#include "export/export_params.h"
#include "export/frame_reframer.h"
#include "export/overlay_records.h"
#include "export/overlay_renderer.h"
#include "fuzz_check.h"
#include "platform/json_depth.h"

namespace {

// One small picture the records may name as "img".
const std::map<std::string, std::filesystem::path> kPictures = {{"img", TAMO_FUZZ_CORPUS "/picture_bytes/alpha.png"}};

// The output frame the reframing keys plan for a small odd-sized picture, made from it: the
// source planes are never written, and the frame has the planned size.
void reframeSmallPicture(const tamo::ExportParams& request) {
    constexpr int kSourceWidth = 41, kSourceHeight = 23;
    tamo::ReframeSettings settings = request.reframe;
    settings.size = tamo::OutputSize::Crop;  // the standard sizes are large; their scaling is the same code
    const tamo::FramePlan plan = tamo::planFrame(kSourceWidth, kSourceHeight, request.cropPreset, settings);
    FUZZ_CHECK(plan.crop.cropX >= 0 && plan.crop.cropX + plan.crop.width <= kSourceWidth);
    FUZZ_CHECK(plan.crop.cropY >= 0 && plan.crop.cropY + plan.crop.height <= kSourceHeight);
    if (plan.fill == tamo::FillMode::Fit) {
        FUZZ_CHECK(plan.fitX >= 0 && plan.fitX + plan.fitWidth <= plan.width);
        FUZZ_CHECK(plan.fitY >= 0 && plan.fitY + plan.fitHeight <= plan.height);
    }
    if (plan.plainCrop() || plan.width <= 0 || plan.height <= 0) return;
    tamo::av::FramePtr source = tamo::allocateYuv420(kSourceWidth, kSourceHeight);
    FUZZ_CHECK(source != nullptr);
    const tamo::YuvView view = tamo::yuvViewOf(*source);
    tamo::fillBlack(view, false);
    tamo::FrameReframer reframer(plan);
    tamo::av::FramePtr out = reframer.reframe(view, false);
    FUZZ_CHECK(out != nullptr && out->width == plan.width && out->height == plan.height);
    for (int y = 0; y < kSourceHeight; ++y)
        FUZZ_CHECK(view.data[0][static_cast<std::size_t>(y) * view.linesize[0]] == 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nlohmann::json params = tamo::json_depth::parseWithinLimit(asText(data, size));
    if (params.is_discarded()) return 0;
    tamo::ExportParams request = tamo::readExportParams(params);
    reframeSmallPicture(request);

    constexpr int kWidth = 48, kHeight = 32, kGuard = 64;
    constexpr double kDuration = 2.0;
    tamo::RecordContext context{kWidth, kHeight, kDuration, request.previewHeight, &kPictures};
    auto overlays = std::make_shared<const tamo::OverlaySet>(tamo::buildOverlaySet(request.textObjects, context));

    const int stride = kWidth * 4;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * kHeight + 2 * kGuard, 0xA5);
    std::uint8_t* pixels = bytes.data() + kGuard;
    for (int i = 0; i < stride * kHeight; i += 4) {  // opaque dark grey video
        pixels[i] = pixels[i + 1] = pixels[i + 2] = 40;
        pixels[i + 3] = 255;
    }
    tamo::OverlayRenderer renderer(overlays, kWidth, kHeight, kDuration);
    for (double t : {0.0, 0.7, 2.0}) renderer.processFrame(tamo::BgraView{pixels, kWidth, kHeight, stride}, t);
    for (int i = 0; i < kGuard; ++i) {
        FUZZ_CHECK(bytes[static_cast<std::size_t>(i)] == 0xA5);
        FUZZ_CHECK(bytes[bytes.size() - 1 - static_cast<std::size_t>(i)] == 0xA5);
    }
    // The video is opaque, and stays so under every overlay.
    for (int i = 3; i < stride * kHeight; i += 4) FUZZ_CHECK(pixels[i] == 255);
    return 0;
}
