#pragma once
#include <cairo.h>
#include <pango/pango.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "export/cairo_handles.h"
#include "export/draw_info.h"
#include "export/overlay_layer.h"

namespace tamo {

class OverlayTarget;

// Longest text laid out, in user-perceived characters; the rest of a longer text is dropped so
// that one frame's work stays bounded (breaking one long unspaced run costs the text system time
// that grows with the square of its length: 2000 characters take tens of milliseconds).
inline constexpr std::size_t kMaxTextCharacters = 2000;

// One text or emoji overlay of an export. The layout of the visible text and the finished
// picture of the overlay (box, outline, glow, text) are kept while they stay the same, so a
// still text costs one composite per frame; any change of text, place or scale redraws it.
class TextOverlay {
public:
    TextOverlay(const TextDrawInfo& info, PangoContext* context, int frameWidth, int frameHeight);

    void draw(OverlayTarget& frame, int width, int height, double t);
    // Frees the drawn layer and layout (outside the overlay's window they are not needed).
    void release();

    // User-perceived characters of the text as drawn (after clean-up and the length cap).
    long characterCount() const { return static_cast<long>(ends_.size()); }

private:
    struct Measured {
        LayoutPtr layout;
        double bw = 0, bh = 0;            // size of the laid-out block
        PangoRectangle ink{}, logical{};  // pixels, relative to the layout origin
    };
    struct Key {
        std::size_t bytes;
        double tx, ty, scale;
        bool operator==(const Key&) const = default;
    };

    const Measured* layoutFor(std::size_t bytes);
    void renderLayer(const Measured& m, const Key& key, int width, int height);

    const TextDrawInfo& info_;
    PangoContext* context_;
    std::string text_;               // valid UTF-8, capped
    std::vector<std::size_t> ends_;  // byte ends of its characters
    FontDescriptionPtr font_;        // null: the overlay cannot be drawn
    double boxWidth_ = 0;            // textWidth, kept within Pango's range
    double shadowSigma_ = 0;
    std::size_t measuredBytes_ = 0;
    std::optional<Measured> measured_;
    std::optional<Key> key_;
    Layer layer_;
};

// A Pango context for one export's text: its own font map (the renderer lives on the export
// thread), grey antialiasing and unhinted metrics so that text scales smoothly.
PangoContextPtr makeTextContext(FontMapPtr& fontMap);

}  // namespace tamo
