#include "export/picture_loader.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <memory>

#include "media/picture_size.h"

namespace tamo {
namespace {

struct ObjectUnref {
    void operator()(void* p) const { if (p) g_object_unref(p); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, ObjectUnref>;

}  // namespace

PictureSurface loadPicture(const std::filesystem::path& file) {
    // Pictures kept in a project come in here without having passed the picker: the same size
    // rule applies, read from the header before any pixel memory is taken.
    if (!pictureFileSizeAllowed(file)) return {};
    GError* error = nullptr;
    PixbufPtr raw(gdk_pixbuf_new_from_file(file.c_str(), &error));
    if (error) g_error_free(error);
    if (!raw) return {};
    PixbufPtr pixbuf(gdk_pixbuf_apply_embedded_orientation(raw.get()));
    if (!pixbuf) return {};

    const int w = gdk_pixbuf_get_width(pixbuf.get()), h = gdk_pixbuf_get_height(pixbuf.get());
    const int channels = gdk_pixbuf_get_n_channels(pixbuf.get());
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf.get());
    if (w <= 0 || h <= 0 || gdk_pixbuf_get_bits_per_sample(pixbuf.get()) != 8 || channels < 3) return {};

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return {};
    }
    cairo_surface_flush(surface);
    const guchar* src = gdk_pixbuf_read_pixels(pixbuf.get());
    const int srcStride = gdk_pixbuf_get_rowstride(pixbuf.get());
    unsigned char* dst = cairo_image_surface_get_data(surface);
    const int dstStride = cairo_image_surface_get_stride(surface);
    // GdkPixbuf keeps straight RGBA bytes; Cairo wants native-endian ARGB words with the colour
    // premultiplied by alpha (rounded, so that opaque pixels keep their exact values).
    for (int y = 0; y < h; ++y) {
        const guchar* s = src + static_cast<std::size_t>(y) * srcStride;
        auto* d = reinterpret_cast<std::uint32_t*>(dst + static_cast<std::size_t>(y) * dstStride);
        for (int x = 0; x < w; ++x, s += channels) {
            std::uint32_t a = alpha ? s[3] : 255;
            auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
            d[x] = (a << 24) | (pre(s[0]) << 16) | (pre(s[1]) << 8) | pre(s[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return makePictureSurface(surface);
}

}  // namespace tamo
