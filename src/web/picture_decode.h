#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

typedef struct _GdkPixbuf GdkPixbuf;

namespace tamo {

struct PixbufUnref {
    void operator()(GdkPixbuf* pixbuf) const;
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

// Pictures larger than this are refused before their pixels are decoded (decompression bombs).
inline constexpr std::uint64_t kMaxPicturePixels = 100'000'000;

struct DecodedPicture {
    PixbufPtr pixbuf;         // empty when the bytes are no picture, are truncated, or are too large
    bool tooLarge = false;    // refused for its pixel count
    int width = 0, height = 0;
};

// Decodes bytes in any format GdkPixbuf reads (PNG, JPEG, GIF, WebP, TIFF, BMP, …). The size is
// read from the header first, so an oversized picture never gets its pixel memory filled.
DecodedPicture decodePicture(std::string_view bytes, std::uint64_t maxPixels = kMaxPicturePixels);

// PNG bytes of the picture; empty when encoding fails.
std::string encodePng(GdkPixbuf* pixbuf);

}  // namespace tamo
