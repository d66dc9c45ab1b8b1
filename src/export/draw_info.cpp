#include "export/draw_info.h"

#include <cstring>

namespace tamo {

PictureSurface makePictureSurface(cairo_surface_t* owned) {
    return PictureSurface(owned, [](cairo_surface_t* s) {
        if (s) cairo_surface_destroy(s);
    });
}

PictureSurface makePictureSurface(const DecodedPicture& picture) {
    if (!picture) return {};
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return {};
    }
    cairo_surface_flush(surface);
    // The decoder's words are Cairo's ARGB32 already; only the row stride may differ.
    unsigned char* dst = cairo_image_surface_get_data(surface);
    const int dstStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < picture.height; ++y) {
        const std::uint32_t* row = &picture.pixels[static_cast<std::size_t>(y) * picture.width];
        std::memcpy(dst + static_cast<std::size_t>(y) * dstStride, row, static_cast<std::size_t>(picture.stride()));
    }
    cairo_surface_mark_dirty(surface);
    return makePictureSurface(surface);
}

}  // namespace tamo
