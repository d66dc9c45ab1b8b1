// The one picture decoder: formats, broken bytes, the pixel limit, and the pixels in Cairo's layout.
#include "media/picture_decoder.h"

#include <gtest/gtest.h>

#include "media/media_fixtures.h"
#include "web/web_test_support.h"

namespace tamo {
namespace {

using test::makePicture;
using test::pngHeaderClaiming;
using test::solidPng;

// 0xRRGGBB of an opaque premultiplied ARGB32 word.
std::uint32_t rgbAt(const DecodedPicture& p, int x, int y) { return p.at(x, y) & 0xFFFFFF; }

TEST(PictureDecode, ReadsCommonFormatsWithTheirPixelSize) {
    for (const char* format : {"png", "jpeg", "bmp", "tiff"}) {
        std::string bytes = makePicture(40, 30, format, [](int x, int) { return x < 20 ? 0xFF0000u : 0x0000FFu; });
        DecodedPicture picture = decodePictureBytes(bytes);
        ASSERT_TRUE(picture) << format;
        EXPECT_EQ(picture.width, 40) << format;
        EXPECT_EQ(picture.height, 30) << format;
        EXPECT_EQ(picture.pixels.size(), 40u * 30u) << format;
        EXPECT_FALSE(picture.tooLarge);
        std::uint32_t left = rgbAt(picture, 5, 15), right = rgbAt(picture, 35, 15);
        EXPECT_GT(left >> 16, 200u) << format;
        EXPECT_GT(right & 0xFF, 200u) << format;
        EXPECT_EQ(picture.at(5, 15) >> 24, 255u) << format;
    }
}

TEST(PictureDecode, FilesAndBytesGiveTheSamePixels) {
    test::TempDir dir;
    std::string bytes =
        makePicture(9, 7, "png", [](int x, int y) { return static_cast<std::uint32_t>(x * 20 << 16 | y * 30); });
    test::writeFile(dir / "p.png", bytes);
    DecodedPicture fromFile = decodePictureFile(dir / "p.png"), fromBytes = decodePictureBytes(bytes);
    ASSERT_TRUE(fromFile && fromBytes);
    EXPECT_EQ(fromFile.pixels, fromBytes.pixels);
    EXPECT_EQ(rgbAt(fromFile, 4, 6), (80u << 16) | 180u);
}

// Cairo draws premultiplied colour: a half-transparent white must be 0x80 in every channel, not 0xFF.
TEST(PictureDecode, TransparentPixelsArePremultipliedAndKeptStraightForGdkPixbuf) {
    GdkPixbuf* source = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 2, 1);
    guchar* px = gdk_pixbuf_get_pixels(source);
    const guchar values[8] = {255, 255, 255, 128, 200, 100, 0, 255};
    std::copy(values, values + 8, px);
    gchar* buffer = nullptr;
    gsize size = 0;
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(source, &buffer, &size, "png", nullptr, nullptr));
    std::string png(buffer, size);
    g_free(buffer);
    g_object_unref(source);

    DecodedPicture picture = decodePictureBytes(png);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(picture.hasAlpha);
    EXPECT_EQ(picture.at(0, 0), 0x80808080u);
    EXPECT_EQ(picture.at(1, 0), 0xFFC86400u);

    PixbufPtr straight = pictureToPixbuf(picture);
    ASSERT_TRUE(straight);
    const guchar* back = gdk_pixbuf_read_pixels(straight.get());
    EXPECT_EQ(std::vector<int>(back, back + 8), (std::vector<int>{255, 255, 255, 128, 200, 100, 0, 255}));
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
        DecodedPicture picture = decodePictureBytes(bytes);
        EXPECT_FALSE(picture) << bytes.size();
        EXPECT_TRUE(picture.pixels.empty());
        EXPECT_FALSE(picture.tooLarge);
    }
    EXPECT_FALSE(decodePictureFile("/nonexistent/picture.png"));
}

TEST(PictureDecode, PixelLimitIsCheckedFromTheHeader) {
    // At the limit it decodes; one row more is refused.
    EXPECT_TRUE(decodePictureBytes(solidPng(10, 10, 0), 100));
    DecodedPicture over = decodePictureBytes(solidPng(10, 11, 0), 100);
    EXPECT_FALSE(over);
    EXPECT_TRUE(over.tooLarge);

    // A header that claims 20000 × 20000 (400 megapixels) is refused with the default limit,
    // before any pixel memory is filled.
    DecodedPicture bomb = decodePictureBytes(pngHeaderClaiming(20000, 20000));
    EXPECT_FALSE(bomb);
    EXPECT_TRUE(bomb.tooLarge);
    EXPECT_TRUE(decodePictureBytes(solidPng(1, 1, 0xFFFFFF)));
}

}  // namespace
}  // namespace tamo
