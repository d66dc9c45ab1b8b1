#include "media/picture_png.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>

namespace tamo {
namespace {

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

// Encoded from the straight pixels, so the page gets the picture's own colour values.
std::optional<PngPicture> encodePng(const UprightPixbuf& picture) {
    GdkPixbuf* pixbuf = picture.pixbuf.get();
    if (!pixbuf) return std::nullopt;
    gchar* buffer = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &length, "png", &error, nullptr);
    GCharPtr owned(buffer);
    g_clear_error(&error);
    if (!saved || !buffer || length == 0) return std::nullopt;
    return PngPicture{std::string(buffer, length), gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
}

}  // namespace

std::optional<PngPicture> pictureFileToPng(const std::filesystem::path& path) {
    return encodePng(decodeUprightFile(path));
}

std::optional<PngPicture> pictureBytesToPng(std::string_view bytes) { return encodePng(decodeUprightBytes(bytes)); }

std::string base64Text(std::string_view bytes) {
    if (bytes.empty()) return {};
    GCharPtr text(g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size()));
    return text ? std::string(text.get()) : std::string();
}

}  // namespace tamo
