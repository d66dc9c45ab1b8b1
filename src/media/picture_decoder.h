#pragma once
// The one way a picture comes in, whatever it is for (the page's preview, the export's overlays, a
// background clip): any format GdkPixbuf reads, the size rule checked from the header before the
// pixels are decoded, and the EXIF orientation applied, so every use sees the picture upright.
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "media/picture_size.h"
#include "media/pixbuf_ptr.h"

namespace tamo {

// Pixels as Cairo's ARGB32 wants them: one native-endian 32-bit word per pixel, alpha in the top
// byte, colour premultiplied by alpha (premultiplied BGRA in memory on little-endian machines).
struct DecodedPicture {
    std::vector<std::uint32_t> pixels;  // height rows of width words; empty when there is no picture
    int width = 0, height = 0;
    bool hasAlpha = false;  // the source has an alpha channel
    bool tooLarge = false;  // refused for its pixel count
    explicit operator bool() const { return !pixels.empty(); }
    int stride() const { return width * 4; }  // bytes per row
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Empty (and tooLarge when that is why) when the data is not a picture, is cut off or damaged, or
// has more than maxPixels pixels.
DecodedPicture decodePictureFile(const std::filesystem::path& file,
                                 std::uint64_t maxPixels = static_cast<std::uint64_t>(kMaxPicturePixels));
DecodedPicture decodePictureBytes(std::string_view bytes,
                                  std::uint64_t maxPixels = static_cast<std::uint64_t>(kMaxPicturePixels));

// The same decoding, upright, as straight (not premultiplied) 8-bit RGB or RGBA, for re-encoding
// without a round trip through premultiplied alpha. Empty on the same failures.
struct UprightPixbuf {
    PixbufPtr pixbuf;
    bool tooLarge = false;
};
UprightPixbuf decodeUprightFile(const std::filesystem::path& file,
                                std::uint64_t maxPixels = static_cast<std::uint64_t>(kMaxPicturePixels));
UprightPixbuf decodeUprightBytes(std::string_view bytes,
                                 std::uint64_t maxPixels = static_cast<std::uint64_t>(kMaxPicturePixels));

// A straight RGB (no alpha) or RGBA pixbuf of decoded pixels, for drawing with GdkPixbuf.
PixbufPtr pictureToPixbuf(const DecodedPicture& picture);

}  // namespace tamo
