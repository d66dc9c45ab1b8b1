#include "media/picture_png.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

namespace tamo {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, GObjectUnref>;

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

void dropError(GError* error) {
    if (error) g_error_free(error);
}

// The whole-file loaders are used rather than the incremental one: they notice a PNG, GIF or TIFF
// that ends early, where the incremental loader hands back a picture with rows never written.
PixbufPtr decodeFile(const std::filesystem::path& path) {
    // Only the header is read here, so a picture that would need gigabytes is refused before any
    // pixel memory is taken.
    if (!pictureFileSizeAllowed(path)) return nullptr;

    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);  // first frame of an animation
    dropError(error);
    return PixbufPtr(pixbuf);
}

std::optional<PngPicture> encodePng(GdkPixbuf* pixbuf) {
    gchar* buffer = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &length, "png", &error, nullptr);
    GCharPtr owned(buffer);
    dropError(error);
    if (!saved || !buffer || length == 0) return std::nullopt;
    return PngPicture{std::string(buffer, length), gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::optional<PngPicture> pictureFileToPng(const std::filesystem::path& path) {
    PixbufPtr pixbuf = decodeFile(path);
    if (!pixbuf) return std::nullopt;
    return encodePng(pixbuf.get());
}

std::optional<PngPicture> pictureBytesToPng(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    // Bytes take the same strict road as files, through a private temporary file.
    gchar* name = nullptr;
    GError* error = nullptr;
    int fd = g_file_open_tmp("tamo-picture-XXXXXX", &name, &error);
    dropError(error);
    if (fd < 0) return std::nullopt;
    GCharPtr owned(name);
    bool written = writeAll(fd, bytes);
    written = (::close(fd) == 0) && written;
    std::optional<PngPicture> picture;
    if (written) picture = pictureFileToPng(name);
    g_unlink(name);
    return picture;
}

std::string base64Text(std::string_view bytes) {
    if (bytes.empty()) return {};
    GCharPtr text(g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size()));
    return text ? std::string(text.get()) : std::string();
}

}  // namespace tamo
