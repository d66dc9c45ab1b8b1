#include "export/overlay_renderer.h"

#include <cairo.h>

#include <vector>

#include "export/blur_regions.h"
#include "export/cairo_handles.h"
#include "export/picture_renderer.h"
#include "export/progress_bar.h"
#include "export/text_renderer.h"

namespace tamo {

struct OverlayRenderer::State {
    std::shared_ptr<const OverlaySet> overlays;
    int width = 0;
    int height = 0;
    double duration = 0;
    FontMapPtr fontMap;
    PangoContextPtr textContext;
    std::vector<PictureOverlay> pictures;
    std::vector<TextOverlay> texts;
};

OverlayRenderer::OverlayRenderer(std::shared_ptr<const OverlaySet> overlays, int width, int height,
                                 double durationSeconds)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.overlays = overlays ? std::move(overlays) : std::make_shared<const OverlaySet>();
    s.width = width;
    s.height = height;
    s.duration = durationSeconds;
    for (const ImageDrawInfo& info : s.overlays->images) s.pictures.emplace_back(info);
    if (!s.overlays->texts.empty()) {
        s.textContext = makeTextContext(s.fontMap);
        for (const TextDrawInfo& info : s.overlays->texts) s.texts.emplace_back(info, s.textContext.get(), width, height);
    }
}

OverlayRenderer::~OverlayRenderer() = default;

void OverlayRenderer::processFrame(const BgraView& frame, double timeSeconds) {
    const State& s = *state_;
    // Only a frame of the size the records were made for is touched, and only inside its rows.
    if (!frame.data || frame.width != s.width || frame.height != s.height || s.width <= 0 || s.height <= 0) return;
    if (frame.stride < 4 * frame.width) return;
    blurActiveRegions(s.overlays->blurs, frame, timeSeconds);
    drawOverlaysOnBuffer(frame, timeSeconds);
}

void OverlayRenderer::drawOverlaysOnBuffer(const BgraView& frame, double currentTime) {
    State& s = *state_;
    if (!s.overlays->progressBar && s.pictures.empty() && s.texts.empty()) return;
    SurfacePtr surface(cairo_image_surface_create_for_data(frame.data, CAIRO_FORMAT_ARGB32, frame.width,
                                                           frame.height, frame.stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return;  // frame keeps its picture
    CairoPtr cr(cairo_create(surface.get()));
    // One bad overlay must not silence the rest: a context in an error state is replaced.
    auto healthy = [&] {
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) cr.reset(cairo_create(surface.get()));
    };

    if (s.overlays->progressBar) {
        drawProgressBar(cr.get(), s.width, s.height, *s.overlays->progressBar, currentTime, s.duration);
        healthy();
    }
    for (PictureOverlay& p : s.pictures) {
        p.draw(cr.get(), s.width, s.height, currentTime);
        healthy();
    }
    for (TextOverlay& t : s.texts) {
        t.draw(cr.get(), s.width, s.height, currentTime);
        healthy();
    }
    cr.reset();
    cairo_surface_flush(surface.get());
}

}  // namespace tamo
