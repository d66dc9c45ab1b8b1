#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "media/picture_png.h"

typedef struct _GdkPixbuf GdkPixbuf;

namespace tamo {

struct PixbufUnref {
    void operator()(GdkPixbuf* pixbuf) const;
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

struct DecodedPicture {
    PixbufPtr pixbuf;         // empty when the bytes are no picture, are truncated, or are too large
    bool tooLarge = false;    // refused for its pixel count
    int width = 0, height = 0;
};

// Decodes bytes in any format GdkPixbuf reads (PNG, JPEG, GIF, WebP, TIFF, BMP, …) into pixels,
// for drawing (pictures for the page go through pictureBytesToPng). The size is read from the
// header first, so an oversized picture never gets its pixel memory.
DecodedPicture decodePicture(std::string_view bytes,
                             std::uint64_t maxPixels = static_cast<std::uint64_t>(kMaxPicturePixels));

}  // namespace tamo
