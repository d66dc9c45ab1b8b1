#include "background/background_frame.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>

namespace tamo {
namespace {

guint32 channel(double component) { return static_cast<guint32>(std::lround(std::clamp(component, 0.0, 1.0) * 255.0)); }

}  // namespace

PixbufPtr drawBackgroundFrame(int width, int height, const RgbaColor& color, const DecodedPicture* decoded) {
    PixbufPtr frame(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
    if (!frame) return frame;
    gdk_pixbuf_fill(frame.get(),
                    channel(color.red) << 24 | channel(color.green) << 16 | channel(color.blue) << 8 | 0xFF);
    if (!decoded || !*decoded) return frame;
    PixbufPtr straight = pictureToPixbuf(*decoded);
    if (!straight) return frame;
    GdkPixbuf* picture = straight.get();

    const int iw = gdk_pixbuf_get_width(picture), ih = gdk_pixbuf_get_height(picture);
    if (iw <= 0 || ih <= 0) return frame;
    const double scale = std::max(static_cast<double>(width) / iw, static_cast<double>(height) / ih);
    const double dw = iw * scale, dh = ih * scale;
    // Composited over the colour, so transparent parts of the picture let it show through.
    gdk_pixbuf_composite(picture, frame.get(), 0, 0, width, height, (width - dw) / 2, (height - dh) / 2, scale, scale,
                         GDK_INTERP_BILINEAR, 255);
    return frame;
}

}  // namespace tamo
