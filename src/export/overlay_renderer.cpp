#include "export/overlay_renderer.h"

namespace tamo {

// Placeholder until overlay drawing lands: frames pass through with their crop copy only.
struct OverlayRenderer::State {
    std::shared_ptr<const OverlaySet> overlays;
};

OverlayRenderer::OverlayRenderer(std::shared_ptr<const OverlaySet> overlays, int, int, double)
    : state_(std::make_unique<State>(State{std::move(overlays)})) {}

OverlayRenderer::~OverlayRenderer() = default;

void OverlayRenderer::processFrame(const BgraView&, double) {}

}  // namespace tamo
