#include "web/picture_decode.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tamo {

void PixbufUnref::operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }

namespace {

struct LoaderUnref {
    void operator()(GdkPixbufLoader* loader) const { g_object_unref(loader); }
};

struct SizeCheck {
    std::uint64_t maxPixels;
    bool tooLarge = false;
    int width = 0, height = 0;
    std::vector<bool> rowsWritten;  // which rows the decoder has filled
};

void onSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
    auto* check = static_cast<SizeCheck*>(data);
    check->width = width;
    check->height = height;
    if (!pictureSizeAllowed(width, height, check->maxPixels)) {
        check->tooLarge = true;
        // A size of zero makes the format loaders stop before they allocate the pixel memory.
        gdk_pixbuf_loader_set_size(loader, 0, 0);
    } else {
        check->rowsWritten.assign(static_cast<std::size_t>(height), false);
    }
}

void onAreaUpdated(GdkPixbufLoader*, gint, gint y, gint, gint height, gpointer data) {
    auto& rows = static_cast<SizeCheck*>(data)->rowsWritten;
    const auto from = static_cast<std::size_t>(std::max(0, y));
    const auto to = std::min(rows.size(), static_cast<std::size_t>(std::max(0, y + height)));
    for (std::size_t row = from; row < to; ++row) rows[row] = true;
}

// A cut-off file still closes without an error in some loaders, leaving rows that were never
// written (and hold whatever the memory held). Such a picture counts as not decodable. Animation
// frames may cover only part of their canvas, so GIF is trusted to its own loader.
bool allRowsWritten(GdkPixbufLoader* loader, const SizeCheck& check) {
    GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader);
    gchar* name = format ? gdk_pixbuf_format_get_name(format) : nullptr;
    const bool animated = name && std::strcmp(name, "gif") == 0;
    g_free(name);
    if (animated) return true;
    return std::find(check.rowsWritten.begin(), check.rowsWritten.end(), false) == check.rowsWritten.end();
}

}  // namespace

DecodedPicture decodePicture(std::string_view bytes, std::uint64_t maxPixels) {
    DecodedPicture result;
    if (bytes.empty() || !pictureHeaderPlausible(bytes, bytes.size())) return result;
    std::unique_ptr<GdkPixbufLoader, LoaderUnref> loader(gdk_pixbuf_loader_new());
    SizeCheck check{maxPixels};
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &check);
    g_signal_connect(loader.get(), "area-updated", G_CALLBACK(onAreaUpdated), &check);

    // Small chunks: the header arrives in the first one, and feeding stops as soon as the size is
    // known to be too large, before rows are written into the (lazily mapped) pixel memory.
    constexpr std::size_t kChunk = 16 * 1024;
    bool failed = false;
    for (std::size_t offset = 0; offset < bytes.size() && !check.tooLarge; offset += kChunk) {
        std::size_t n = std::min(kChunk, bytes.size() - offset);
        GError* error = nullptr;
        if (!gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(bytes.data() + offset), n, &error)) {
            g_clear_error(&error);
            failed = true;
            break;
        }
    }
    GError* error = nullptr;
    gboolean closed = gdk_pixbuf_loader_close(loader.get(), &error);
    g_clear_error(&error);
    if (check.tooLarge) {
        result.tooLarge = true;
        return result;
    }
    if (failed || !closed) return result;
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    if (!pixbuf || !allRowsWritten(loader.get(), check)) return result;
    result.pixbuf.reset(GDK_PIXBUF(g_object_ref(pixbuf)));
    result.width = gdk_pixbuf_get_width(pixbuf);
    result.height = gdk_pixbuf_get_height(pixbuf);
    return result;
}

}  // namespace tamo
