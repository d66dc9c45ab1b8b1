#pragma once
// Shared by the web and background tests: pictures made at test time (waiting for background
// work is settle() in support/fakes.h).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "support/fakes.h"
#include "support/loopback_server.h"

namespace tamo::test {

// A picture whose pixel at (x, y) is paint(x, y) as 0xRRGGBB.
inline std::string makePicture(int width, int height, const char* format,
                               std::function<std::uint32_t(int, int)> paint) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t c = paint(x, y);
            guchar* p = pixels + y * stride + x * 3;
            p[0] = c >> 16 & 0xFF;
            p[1] = c >> 8 & 0xFF;
            p[2] = c & 0xFF;
        }
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr);
    std::string bytes(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

inline std::string solidPng(int width, int height, std::uint32_t rgb) {
    return makePicture(width, height, "png", [rgb](int, int) { return rgb; });
}

// Only the signature and a header chunk that claims the given size, then the start of an image
// data chunk: what a decompression bomb looks like before its pixels.
inline std::string pngHeaderClaiming(std::uint32_t width, std::uint32_t height) {
    auto crc = [](const std::string& data) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (unsigned char b : data) {
            c ^= b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    std::string ihdr = "IHDR" + be32(width) + be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
    std::string bytes = "\x89PNG\r\n\x1a\n";
    bytes += be32(13) + ihdr + be32(crc(ihdr));
    bytes += be32(1000) + "IDAT" + std::string(64, '\0');
    return bytes;
}

}  // namespace tamo::test
