#pragma once
// Pictures made at test time, shared by the web, media and background tests.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <httplib.h>

#include <cstdint>
#include <functional>
#include <string>

#include "support/fakes.h"
#include "support/loopback_server.h"

namespace tamo::test {

// A picture whose pixel at (x, y) is paint(x, y) as 0xRRGGBB.
inline std::string makePicture(int width, int height, const char* format,
                               std::function<std::uint32_t(int, int)> paint) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t c = paint(x, y);
            guchar* p = pixels + y * gdk_pixbuf_get_rowstride(pixbuf) + x * 3;
            p[0] = c >> 16 & 0xFF, p[1] = c >> 8 & 0xFF, p[2] = c & 0xFF;
        }
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr);
    std::string bytes(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

// The signature, a header chunk claiming the size and the start of the image data: a decompression
// bomb before its pixels.
inline std::string pngHeaderClaiming(std::uint32_t width, std::uint32_t height) {
    auto be32 = [](std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string ihdr = "IHDR" + be32(width) + be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : ihdr) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return "\x89PNG\r\n\x1a\n" + be32(13) + ihdr + be32(~crc) + be32(1000) + "IDAT" + std::string(64, '\0');
}

}  // namespace tamo::test
