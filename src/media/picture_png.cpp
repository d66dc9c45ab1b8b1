#include "media/picture_png.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <fstream>
#include <memory>

namespace tamo {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using LoaderPtr = std::unique_ptr<GdkPixbufLoader, GObjectUnref>;
using PixbufPtr = std::unique_ptr<GdkPixbuf, GObjectUnref>;

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};

// A picture file this large is not worth reading; 100 megapixels of uncompressed 32-bit pixels fit.
constexpr std::uintmax_t kMaxFileBytes = 512ull * 1024 * 1024;

void feed(GdkPixbufLoader* loader, std::string_view bytes, std::size_t chunk, const bool* stopWhen) {
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        std::size_t n = std::min(chunk, bytes.size() - at);
        if (!gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data() + at), n, nullptr)) return;
        if (stopWhen && *stopWhen) return;
    }
}

void closeQuietly(GdkPixbufLoader* loader) {
    GError* error = nullptr;
    gdk_pixbuf_loader_close(loader, &error);
    if (error) g_error_free(error);
}

struct AnnouncedSize {
    int width = 0;
    int height = 0;
    bool known = false;
};

// Reads only as far as the header: the loader announces the size before it allocates any pixels.
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
    *static_cast<AnnouncedSize*>(data) = {width, height, true};
    // A zero size makes the loader stop before it allocates the pixels.
    gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// Reads only as far as the header: the loader announces the size before it allocates any pixels.
AnnouncedSize announcedSize(std::string_view bytes) {
    AnnouncedSize size;
    LoaderPtr loader(gdk_pixbuf_loader_new());
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &size);
    // Small steps, so that the header is seen before much of the body has been handed over.
    feed(loader.get(), bytes, 4096, &size.known);
    closeQuietly(loader.get());
    return size;
}

bool acceptableSize(long long width, long long height) {
    return width > 0 && height > 0 && width * height <= kMaxPicturePixels;
}

PixbufPtr decode(std::string_view bytes) {
    AnnouncedSize size = announcedSize(bytes);
    if (!size.known || !acceptableSize(size.width, size.height)) return nullptr;

    LoaderPtr loader(gdk_pixbuf_loader_new());
    bool never = false;
    feed(loader.get(), bytes, 64 * 1024, &never);
    GError* error = nullptr;
    gboolean closed = gdk_pixbuf_loader_close(loader.get(), &error);
    if (error) g_error_free(error);
    if (!closed) return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());  // first frame of an animation
    if (!pixbuf) return nullptr;
    return PixbufPtr(GDK_PIXBUF(g_object_ref(pixbuf)));
}

std::optional<PngPicture> encodePng(GdkPixbuf* pixbuf) {
    gchar* buffer = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    if (!gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &length, "png", &error, nullptr)) {
        if (error) g_error_free(error);
        g_free(buffer);
        return std::nullopt;
    }
    std::unique_ptr<gchar, GFreeDeleter> owned(buffer);
    if (length == 0) return std::nullopt;
    return PngPicture{std::string(buffer, length), gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
}

}  // namespace

std::optional<PngPicture> pictureBytesToPng(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    PixbufPtr pixbuf = decode(bytes);
    if (!pixbuf) return std::nullopt;
    return encodePng(pixbuf.get());
}

std::optional<PngPicture> pictureFileToPng(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    auto fileSize = std::filesystem::file_size(path, ec);
    if (ec || fileSize == 0 || fileSize > kMaxFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(fileSize), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return pictureBytesToPng(bytes);
}

std::string base64Text(std::string_view bytes) {
    if (bytes.empty()) return {};
    std::unique_ptr<gchar, GFreeDeleter> text(g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size()));
    return text ? std::string(text.get()) : std::string();
}

}  // namespace tamo
