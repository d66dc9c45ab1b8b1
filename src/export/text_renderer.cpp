#include "export/text_renderer.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "export/animation.h"
#include "export/gaussian_blur.h"
#include "export/overlay_target.h"
#include "export/text_segments.h"

namespace tamo {

namespace {

double fromPango(int units) { return static_cast<double>(units) / PANGO_SCALE; }

bool usable(double v) { return std::isfinite(v) && std::abs(v) < kMaxCoordinate; }

PangoAlignment pangoAlignment(TextAlignment a) {
    switch (a) {
    case TextAlignment::Center: return PANGO_ALIGN_CENTER;
    case TextAlignment::Right: return PANGO_ALIGN_RIGHT;
    case TextAlignment::Left: break;
    }
    return PANGO_ALIGN_LEFT;
}

// Draws the lines of the layout with its top-left corner at (x, y) in the current user space,
// leaving out lines that cannot reach the target surface (a long text far outside the frame
// then costs nothing).
void drawLines(cairo_t* cr, PangoLayout* layout, double x, double y, double lineMargin) {
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(it, nullptr, &logical);
        const double top = y + fromPango(logical.y);
        const double bottom = top + fromPango(logical.height);
        if (bottom + lineMargin < cy0 || top - lineMargin > cy1) continue;
        const double lx = x + fromPango(logical.x);
        const double baseline = y + fromPango(pango_layout_iter_get_baseline(it));
        if (!usable(lx) || !usable(baseline)) continue;
        cairo_move_to(cr, lx, baseline);
        pango_cairo_show_layout_line(cr, pango_layout_iter_get_line_readonly(it));
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
}

}  // namespace

PangoContextPtr makeTextContext(FontMapPtr& fontMap) {
    fontMap.reset(pango_cairo_font_map_new());
    PangoContextPtr context(pango_font_map_create_context(fontMap.get()));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context.get(), options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context.get(), FALSE);
    return context;
}

TextOverlay::TextOverlay(const TextDrawInfo& info, PangoContext* context, int frameWidth, int frameHeight)
    : info_(info), context_(context) {
    text_ = sanitizeUtf8(info.text);
    ends_ = graphemeEnds(text_, kMaxTextCharacters);
    text_.resize(ends_.empty() ? 0 : ends_.back());

    const double frameMax = std::max(frameWidth, frameHeight);
    const double size = std::min(info.font.pixelSize, frameMax);  // a glyph beyond the frame shows nothing more
    if (std::isfinite(info.textWidth) && size >= 0.5 && std::isfinite(size)) {
        boxWidth_ = std::clamp(info.textWidth, 1.0, 1.0e6);
        font_.reset(pango_font_description_new());
        pango_font_description_set_family(font_.get(), info.font.family.empty() ? "Sans" : info.font.family.c_str());
        pango_font_description_set_weight(font_.get(), info.font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_style(font_.get(), info.font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        pango_font_description_set_absolute_size(font_.get(), size * PANGO_SCALE);
    }
    // The shadow's blur value spans about two standard deviations of the glow.
    shadowSigma_ = std::isfinite(info.shadowBlur) ? std::clamp(info.shadowBlur / 2, 0.0, frameMax / 8) : 0;
}

void TextOverlay::release() {
    measured_.reset();
    measuredBytes_ = 0;
    key_.reset();
    layer_ = Layer{};
}

void TextOverlay::draw(OverlayTarget& frame, int width, int height, double t) {
    if (!font_ || text_.empty()) return;
    if (!(info_.timeStart <= t && t <= info_.timeEnd)) {
        if (measured_ || layer_.surface) release();
        return;
    }
    const AnimState s = animState(width, height, info_.animationIn, info_.animationOut, info_.animationDuration, t,
                                  info_.timeStart, info_.timeEnd, characterCount());
    if (!(s.opacity > 0.01)) return;

    std::size_t bytes = text_.size();
    if (s.textLen >= 0 && static_cast<std::size_t>(s.textLen) < ends_.size())
        bytes = s.textLen == 0 ? 0 : ends_[static_cast<std::size_t>(s.textLen) - 1];
    if (bytes == 0) return;  // nothing typed yet: no box, no outline either

    const Measured* m = layoutFor(bytes);
    const Key key{bytes, s.tx, s.ty, s.scale};
    if (!key_ || !(*key_ == key)) {
        renderLayer(*m, key, width, height);
        key_ = key;
    }
    frame.composite(layer_, std::min(s.opacity, 1.0));
}

const TextOverlay::Measured* TextOverlay::layoutFor(std::size_t bytes) {
    if (measured_ && measuredBytes_ == bytes) return &*measured_;
    Measured m;
    m.layout.reset(pango_layout_new(context_));
    pango_layout_set_font_description(m.layout.get(), font_.get());
    pango_layout_set_width(m.layout.get(), static_cast<int>(boxWidth_ * PANGO_SCALE));
    pango_layout_set_wrap(m.layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(m.layout.get(), pangoAlignment(info_.alignment));
    pango_layout_set_text(m.layout.get(), text_.data(), static_cast<int>(bytes));
    pango_layout_get_extents(m.layout.get(), &m.ink, &m.logical);
    m.bw = fromPango(m.logical.width);
    m.bh = fromPango(m.logical.height);
    measured_ = std::move(m);
    measuredBytes_ = bytes;
    return &*measured_;
}

void TextOverlay::renderLayer(const Measured& m, const Key& key, int width, int height) {
    Layer previous = std::move(layer_);
    layer_ = Layer{};
    const double scale = key.scale;
    // The anchor is the horizontal centre of the layout box and the vertical centre of the block.
    const double left = info_.x - boxWidth_ / 2 + key.tx;
    const double top = info_.y + key.ty - m.bh / 2;
    if (!usable(left) || !usable(top) || !usable(m.bh) || !usable(m.bw)) return;
    if (!std::isfinite(scale) || std::abs(scale) < 1e-6 || std::abs(scale) > 1e3) return;
    const double cx = left + boxWidth_ / 2, cy = top + m.bh / 2;

    const FrameBox logical =
        FrameBox::fromRect(left + fromPango(m.logical.x), top + fromPango(m.logical.y), m.bw, m.bh);
    const FrameBox ink = FrameBox::fromRect(left + fromPango(m.ink.x), top + fromPango(m.ink.y), fromPango(m.ink.width),
                                            fromPango(m.ink.height));
    FrameBox glyphs = logical.united(ink);

    const bool outline = info_.strokeEnabled && usable(info_.strokeWidth);
    const double sw = outline ? info_.strokeWidth : 0;
    const bool shadow = info_.shadowEnabled && !info_.strokeEnabled;
    const double shadowMargin = std::ceil(3 * shadowSigma_) + 2;

    FrameBox content = glyphs.expanded(std::abs(sw) + (shadow ? shadowMargin : 0));
    // The box sits behind the laid-out lines: its left edge follows the paragraph alignment.
    const double mx = 8 * info_.boxMarginScale, my = 4 * info_.boxMarginScale;
    double boxX = left - mx;
    if (info_.alignment == TextAlignment::Center) boxX = left + (boxWidth_ - m.bw) / 2 - mx;
    if (info_.alignment == TextAlignment::Right) boxX = left + boxWidth_ - m.bw - mx;
    const FrameBox box = FrameBox::fromRect(boxX, top - my, m.bw + 2 * mx, m.bh + 2 * my);
    if (info_.bgEnabled) content = content.united(box);

    layer_ = makeLayer(pixelsTouched(content.scaledAbout(cx, cy, scale), width, height), std::move(previous));
    if (!layer_.surface) return;
    CairoPtr owned = layerContext(layer_);
    cairo_t* cr = owned.get();
    auto applyScale = [&](cairo_t* c) {
        if (scale == 1) return;
        cairo_translate(c, cx, cy);
        cairo_scale(c, scale, scale);
        cairo_translate(c, -cx, -cy);
    };
    applyScale(cr);
    PangoLayout* layout = m.layout.get();
    // Glyphs may overhang their line (accents, emoji); a font size of slack covers that. Each
    // shifted copy is culled at its own place, so the outline width needs no slack here.
    const double lineMargin = fromPango(pango_font_description_get_size(font_.get()));

    if (info_.bgEnabled) {
        setSourceColor(cr, info_.bgColor, info_.bgOpacity);
        cairo_rectangle(cr, box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
        cairo_fill(cr);
    }

    if (outline) {
        // Eight copies around the glyphs make the outline; offsets are in the upward-y sense.
        const std::array<std::array<double, 2>, 8> offsets{
            {{sw, 0}, {-sw, 0}, {0, sw}, {0, -sw}, {sw, sw}, {-sw, -sw}, {sw, -sw}, {-sw, sw}}};
        setSourceColor(cr, info_.strokeColor, info_.strokeColor.alpha);
        for (const auto& o : offsets) drawLines(cr, layout, left + o[0], top - o[1], lineMargin);
    }

    if (shadow) {
        // A glow: the glyphs' coverage blurred, in the shadow colour, under the text.
        // The mask may reach past the frame by the glow's own margin so that glyphs cut by the
        // frame edge still glow as if they went on.
        const int m = static_cast<int>(shadowMargin);
        const FrameBox g = glyphs.expanded(shadowMargin).scaledAbout(cx, cy, scale);
        PixelRect maskArea =
            pixelsTouched(FrameBox{g.x0 + m, g.y0 + m, g.x1 + m, g.y1 + m}, width + 2 * m, height + 2 * m);
        maskArea = {maskArea.x0 - m, maskArea.y0 - m, maskArea.x1 - m, maskArea.y1 - m};
        if (!maskArea.empty()) {
            SurfacePtr mask(
                cairo_image_surface_create(CAIRO_FORMAT_A8, maskArea.x1 - maskArea.x0, maskArea.y1 - maskArea.y0));
            if (cairo_surface_status(mask.get()) == CAIRO_STATUS_SUCCESS) {
                {
                    CairoPtr mc(cairo_create(mask.get()));
                    cairo_translate(mc.get(), -maskArea.x0, -maskArea.y0);
                    applyScale(mc.get());
                    cairo_set_source_rgba(mc.get(), 0, 0, 0, 1);
                    drawLines(mc.get(), layout, left, top, lineMargin);
                }
                cairo_surface_flush(mask.get());
                gaussianBlur(PlaneView{cairo_image_surface_get_data(mask.get()), maskArea.x1 - maskArea.x0,
                                       maskArea.y1 - maskArea.y0, cairo_image_surface_get_stride(mask.get()), 1},
                             PixelRect{0, 0, maskArea.x1 - maskArea.x0, maskArea.y1 - maskArea.y0}, shadowSigma_);
                cairo_surface_mark_dirty(mask.get());
                cairo_save(cr);
                cairo_identity_matrix(cr);
                cairo_translate(cr, -layer_.area.x0, -layer_.area.y0);
                setSourceColor(cr, info_.shadowColor, info_.shadowColor.alpha);
                cairo_mask_surface(cr, mask.get(), maskArea.x0, maskArea.y0);
                cairo_restore(cr);
            }
        }
    }

    setSourceColor(cr, info_.color, info_.color.alpha);
    drawLines(cr, layout, left, top, lineMargin);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) layer_ = Layer{};
}

}  // namespace tamo
