// Picture decoding: formats, broken bytes and the pixel limit.
#include "web/picture_decode.h"

#include <gtest/gtest.h>

#include "web/web_test_support.h"

namespace tamo {
namespace {

using test::makePicture;
using test::pngHeaderClaiming;
using test::solidPng;

std::uint32_t pixelAt(GdkPixbuf* p, int x, int y) {
    const guchar* px = gdk_pixbuf_read_pixels(p) + y * gdk_pixbuf_get_rowstride(p) + x * gdk_pixbuf_get_n_channels(p);
    return px[0] << 16 | px[1] << 8 | px[2];
}

TEST(PictureDecode, ReadsCommonFormatsWithTheirPixelSize) {
    for (const char* format : {"png", "jpeg", "bmp", "tiff"}) {
        std::string bytes = makePicture(40, 30, format, [](int x, int) { return x < 20 ? 0xFF0000u : 0x0000FFu; });
        DecodedPicture picture = decodePicture(bytes);
        ASSERT_TRUE(picture.pixbuf) << format;
        EXPECT_EQ(picture.width, 40) << format;
        EXPECT_EQ(picture.height, 30) << format;
        EXPECT_FALSE(picture.tooLarge);
        std::uint32_t left = pixelAt(picture.pixbuf.get(), 5, 15), right = pixelAt(picture.pixbuf.get(), 35, 15);
        EXPECT_GT(left >> 16, 200u) << format;
        EXPECT_GT(right & 0xFF, 200u) << format;
    }
}

TEST(PictureDecode, BrokenBytesAreNoPicture) {
    std::string png = solidPng(64, 64, 0x336699);
    const std::string cases[] = {
        "",
        "<!doctype html><html><body>not a picture</body></html>",
        png.substr(0, png.size() / 2),  // truncated
        png.substr(0, 8),               // only the signature
        std::string(4096, '\xFF'),
    };
    for (const auto& bytes : cases) {
        DecodedPicture picture = decodePicture(bytes);
        EXPECT_FALSE(picture.pixbuf) << bytes.size();
        EXPECT_FALSE(picture.tooLarge);
    }
}

TEST(PictureDecode, PixelLimitIsCheckedFromTheHeader) {
    // At the limit it decodes; one row more is refused.
    EXPECT_TRUE(decodePicture(solidPng(10, 10, 0), 100).pixbuf);
    DecodedPicture over = decodePicture(solidPng(10, 11, 0), 100);
    EXPECT_FALSE(over.pixbuf);
    EXPECT_TRUE(over.tooLarge);

    // A header that claims 20000 × 20000 (400 megapixels) is refused with the default limit,
    // before any pixel memory is filled.
    DecodedPicture bomb = decodePicture(pngHeaderClaiming(20000, 20000));
    EXPECT_FALSE(bomb.pixbuf);
    EXPECT_TRUE(bomb.tooLarge);
    EXPECT_TRUE(decodePicture(solidPng(1, 1, 0xFFFFFF)).pixbuf);
}

}  // namespace
}  // namespace tamo
