// Export parameters as the page sends them, turned into drawing records and drawn onto a small
// frame at a few moments. Nothing is drawn outside the frame's own bytes.
#include <cairo.h>
#include <glib.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/json_depth.h"
#include "export/export_params.h"
#include "export/overlay_records.h"
#include "export/overlay_renderer.h"
#include "fuzz_check.h"

namespace {

// One small picture the records may name as "img".
const std::map<std::string, std::filesystem::path>& pictures() {
    static const std::map<std::string, std::filesystem::path> images = [] {
        std::filesystem::path file = std::filesystem::path(g_get_tmp_dir()) /
                                     ("tamo-fuzz-picture-" + std::to_string(::getpid()) + ".png");
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 6, 4);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgba(cr, 0.2, 0.8, 0.4, 0.7);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_write_to_png(surface, file.c_str());
        cairo_surface_destroy(surface);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::path(g_get_tmp_dir()) /
                                        ("tamo-fuzz-picture-" + std::to_string(::getpid()) + ".png"),
                                    ec);
        });
        return std::map<std::string, std::filesystem::path>{{"img", file}};
    }();
    return images;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nlohmann::json params = tamo::json_depth::parseWithinLimit(asText(data, size));
    if (params.is_discarded()) return 0;
    tamo::ExportParams request = tamo::readExportParams(params);

    constexpr int kWidth = 48, kHeight = 32, kGuard = 64;
    constexpr double kDuration = 2.0;
    tamo::RecordContext context{kWidth, kHeight, kDuration, request.previewHeight, &pictures()};
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
