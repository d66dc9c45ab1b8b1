#pragma once
// Drawing records of one export: built once from the page's overlay list before the first frame,
// read-only afterwards. Positions and lengths are output pixels, times are seconds.
#include <cairo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "export/hex_color.h"
#include "media/picture_decoder.h"

namespace tamo {

enum class TextAlignment { Left, Center, Right };

// A font resolved once per export: the family Pango should use, the size in output pixels, traits.
struct ResolvedFont {
    std::string family;  // a family fontconfig really has (or the system fallback family)
    double pixelSize = 0;
    bool bold = false;
    bool italic = false;
};

// A decoded picture: an ARGB32 (premultiplied BGRA) Cairo image surface at its natural size.
using PictureSurface = std::shared_ptr<cairo_surface_t>;
PictureSurface makePictureSurface(cairo_surface_t* owned);  // takes ownership
// A surface holding a copy of the decoded picture's pixels; empty for no picture.
PictureSurface makePictureSurface(const DecodedPicture& picture);

struct TextDrawInfo {
    std::string text;
    ResolvedFont font;
    RgbaColor color;
    bool strokeEnabled = false;
    RgbaColor strokeColor;
    double strokeWidth = 0;
    bool bgEnabled = false;
    RgbaColor bgColor;
    double bgOpacity = 0.6;
    bool shadowEnabled = true;
    RgbaColor shadowColor;
    double shadowBlur = 0;
    double x = 0;  // anchor, from the left
    double y = 0;  // anchor, from the top
    TextAlignment alignment = TextAlignment::Center;
    double textWidth = 0;
    // The box's margin is 8 × 4 pixels of the crop window at its own size: this many output
    // pixels each (> 1 when the output is scaled up to a standard size).
    double boxMarginScale = 1;
    double timeStart = 0;
    double timeEnd = 0;
    std::string animationIn = "none";
    std::string animationOut = "none";
    double animationDuration = 0.5;
};

struct ImageDrawInfo {
    PictureSurface cgImage;
    double aspectRatio = 1;
    double xPercent = 50;
    double yPercent = 50;
    double scalePercent = 20;
    double opacity = 100;
    double timeStart = 0;
    double timeEnd = 0;
    std::string animationIn = "none";
    std::string animationOut = "none";
    double animationDuration = 0.5;
};

struct BlurDrawInfo {
    double xPercent = 50;
    double yPercent = 50;
    double widthPercent = 20;
    double heightPercent = 15;
    double blurAmount = 15;
    double timeStart = 0;
    double timeEnd = 0;
};

struct ProgressBarDrawInfo {
    RgbaColor color;
    RgbaColor bgColor;
    double bgOpacity = 0.3;
    double heightPercent = 0.8;
    std::string position = "bottom";
};

// Everything drawn into the frames of one export, in the page's list order.
struct OverlaySet {
    std::vector<TextDrawInfo> texts;
    std::vector<ImageDrawInfo> images;
    std::vector<BlurDrawInfo> blurs;
    std::optional<ProgressBarDrawInfo> progressBar;
};

}  // namespace tamo
