#include "media/picture_decoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tamo {

void PixbufUnref::operator()(GdkPixbuf* pixbuf) const {
    if (pixbuf) g_object_unref(pixbuf);
}

namespace {

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// 8-bit RGB or RGBA: what every GdkPixbuf loader hands back, checked rather than assumed.
bool plainLayout(GdkPixbuf* pixbuf) {
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    return gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 && gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB &&
           channels == (gdk_pixbuf_get_has_alpha(pixbuf) ? 4 : 3) && gdk_pixbuf_get_width(pixbuf) > 0 &&
           gdk_pixbuf_get_height(pixbuf) > 0;
}

DecodedPicture premultiplied(const UprightPixbuf& upright) {
    DecodedPicture picture;
    picture.tooLarge = upright.tooLarge;
    GdkPixbuf* pixbuf = upright.pixbuf.get();
    if (!pixbuf) return picture;
    const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    picture.pixels.resize(static_cast<std::size_t>(w) * h);
    // Rounded, so that opaque pixels keep their exact values.
    for (int y = 0; y < h; ++y) {
        const guchar* s = src + static_cast<std::size_t>(y) * stride;
        std::uint32_t* d = picture.pixels.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x, s += channels) {
            const std::uint32_t a = alpha ? s[3] : 255;
            auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
            d[x] = (a << 24) | (pre(s[0]) << 16) | (pre(s[1]) << 8) | pre(s[2]);
        }
    }
    picture.width = w;
    picture.height = h;
    picture.hasAlpha = alpha;
    return picture;
}

}  // namespace

UprightPixbuf decodeUprightFile(const std::filesystem::path& file, std::uint64_t maxPixels) {
    UprightPixbuf result;
    // Only the header is read here, so a picture that would need gigabytes is refused before any
    // pixel memory is taken.
    auto size = pictureFileHeaderSize(file);
    if (!size) return result;
    if (!pictureSizeAllowed(size->first, size->second, maxPixels)) {
        result.tooLarge = true;
        return result;
    }
    // The whole-file loaders are used rather than the incremental one: they notice a PNG, GIF or TIFF
    // that ends early, where the incremental loader hands back a picture with rows never written.
    GError* error = nullptr;
    PixbufPtr raw(gdk_pixbuf_new_from_file(file.c_str(), &error));  // first frame of an animation
    g_clear_error(&error);
    if (!raw) return result;
    // A phone keeps its photos as the sensor saw them and says in the EXIF tag how to turn them.
    PixbufPtr upright(gdk_pixbuf_apply_embedded_orientation(raw.get()));
    raw.reset();
    if (!upright || !plainLayout(upright.get())) return result;
    if (!pictureSizeAllowed(gdk_pixbuf_get_width(upright.get()), gdk_pixbuf_get_height(upright.get()), maxPixels)) {
        result.tooLarge = true;
        return result;
    }
    result.pixbuf = std::move(upright);
    return result;
}

UprightPixbuf decodeUprightBytes(std::string_view bytes, std::uint64_t maxPixels) {
    if (bytes.empty()) return {};
    // Bytes take the same strict road as files, through a private temporary file.
    gchar* name = nullptr;
    GError* error = nullptr;
    int fd = g_file_open_tmp("tamo-picture-XXXXXX", &name, &error);
    g_clear_error(&error);
    if (fd < 0) return {};
    GCharPtr owned(name);
    bool written = writeAll(fd, bytes);
    written = (::close(fd) == 0) && written;
    UprightPixbuf result;
    if (written) result = decodeUprightFile(name, maxPixels);
    g_unlink(name);
    return result;
}

DecodedPicture decodePictureFile(const std::filesystem::path& file, std::uint64_t maxPixels) {
    return premultiplied(decodeUprightFile(file, maxPixels));
}

DecodedPicture decodePictureBytes(std::string_view bytes, std::uint64_t maxPixels) {
    return premultiplied(decodeUprightBytes(bytes, maxPixels));
}

PixbufPtr pictureToPixbuf(const DecodedPicture& picture) {
    if (!picture) return {};
    const bool alpha = picture.hasAlpha;
    PixbufPtr pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, picture.width, picture.height));
    if (!pixbuf) return {};
    const int channels = gdk_pixbuf_get_n_channels(pixbuf.get());
    const int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
    guchar* dst = gdk_pixbuf_get_pixels(pixbuf.get());
    for (int y = 0; y < picture.height; ++y) {
        guchar* d = dst + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < picture.width; ++x, d += channels) {
            const std::uint32_t p = picture.at(x, y), a = p >> 24;
            // Undoes the premultiplication (exact for opaque pixels).
            auto straight = [a](std::uint32_t c) {
                return a ? static_cast<guchar>(std::min<std::uint32_t>(255, (c * 255 + a / 2) / a)) : guchar{0};
            };
            d[0] = straight((p >> 16) & 0xFF);
            d[1] = straight((p >> 8) & 0xFF);
            d[2] = straight(p & 0xFF);
            if (alpha) d[3] = static_cast<guchar>(a);
        }
    }
    return pixbuf;
}

}  // namespace tamo
