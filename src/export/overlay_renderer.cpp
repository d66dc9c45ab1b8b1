#include "export/overlay_renderer.h"

#include <cairo.h>

#include <vector>

#include "export/blur_regions.h"
#include "export/cairo_handles.h"
#include "export/overlay_target.h"
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
        for (const TextDrawInfo& info : s.overlays->texts)
            s.texts.emplace_back(info, s.textContext.get(), width, height);
    }
}

OverlayRenderer::~OverlayRenderer() = default;

void OverlayRenderer::processFrame(const BgraView& frame, double timeSeconds) {
    const State& s = *state_;
    // Only a frame of the size the records were made for is touched, and only inside its rows.
    if (!frame.data || frame.width != s.width || frame.height != s.height || s.width <= 0 || s.height <= 0) return;
    if (frame.stride < 4 * frame.width) return;
    BgraTarget target(frame);
    drawAll(target, timeSeconds);
}

void OverlayRenderer::processFrame(const YuvView& frame, const YuvColorModel& model, double timeSeconds) {
    const State& s = *state_;
    auto fits = [](int size, int records) { return size == records || size == (records & ~1); };
    if (!frame.data[0] || !frame.data[1] || !frame.data[2] || s.width <= 0 || s.height <= 0) return;
    if (frame.width <= 0 || frame.height <= 0 || !fits(frame.width, s.width) || !fits(frame.height, s.height)) return;
    if (frame.linesize[0] < frame.width || frame.linesize[1] < frame.chromaWidth() ||
        frame.linesize[2] < frame.chromaWidth())
        return;
    YuvTarget target(frame, model);
    drawAll(target, timeSeconds);
}

bool OverlayRenderer::drawsAt(double t) const {
    const OverlaySet& o = *state_->overlays;
    if (o.progressBar) return true;
    auto open = [t](double start, double end) { return start <= t && t <= end; };
    for (const BlurDrawInfo& b : o.blurs)
        if (open(b.timeStart, b.timeEnd)) return true;
    for (const ImageDrawInfo& i : o.images)
        if (open(i.timeStart, i.timeEnd)) return true;
    for (const TextDrawInfo& x : o.texts)
        if (open(x.timeStart, x.timeEnd)) return true;
    return false;
}

void OverlayRenderer::drawAll(OverlayTarget& target, double currentTime) {
    State& s = *state_;
    // Positions stay those of the W × H the records were made for; what lies beyond a smaller
    // frame is cut by the target.
    blurActiveRegions(s.overlays->blurs, target, s.width, s.height, currentTime);
    if (s.overlays->progressBar)
        drawProgressBar(target, s.width, s.height, *s.overlays->progressBar, currentTime, s.duration);
    for (PictureOverlay& p : s.pictures) p.draw(target, s.width, s.height, currentTime);
    for (TextOverlay& t : s.texts) t.draw(target, s.width, s.height, currentTime);
}

}  // namespace tamo
