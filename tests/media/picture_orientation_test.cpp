// A phone photo is stored as the sensor saw it, with an EXIF tag saying how to turn it. Every road a
// picture takes (the page's preview, the export's overlay, a background clip) must show it turned
// the same way: the same upright shape and the marked corner in the same place.
#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>

#include "background/background_generator.h"
#include "background/clip_probe.h"
#include "export/export_params.h"
#include "export/transcoder.h"
#include "media/picture_check.h"
#include "media/picture_decoder.h"
#include "media/picture_png.h"
#include "web/web_test_support.h"

namespace tamo::test {
namespace {

using nlohmann::json;

// Stored 64 × 32 (landscape), red in its top-left 16 × 16 square, blue elsewhere.
constexpr int kStoredWidth = 64, kStoredHeight = 32;

std::string exifApp1(std::uint16_t orientation) {
    // "Exif\0\0", a little-endian TIFF header and one IFD with the Orientation tag (0x0112, SHORT, 1).
    std::string tiff = std::string("II*\0", 4) + std::string("\x08\0\0\0", 4);
    tiff += std::string("\x01\0", 2);                              // one entry
    tiff += std::string("\x12\x01\x03\0\x01\0\0\0", 8);            // tag, type, count
    tiff += std::string{static_cast<char>(orientation), 0, 0, 0};  // value, padded
    tiff += std::string(4, '\0');                                  // no next IFD
    std::string body = std::string("Exif\0\0", 6) + tiff;
    const std::size_t length = body.size() + 2;
    return std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + body;
}

std::string taggedJpeg(std::uint16_t orientation) {
    std::string jpeg = makePicture(kStoredWidth, kStoredHeight, "jpeg",
                                   [](int x, int y) { return x < 16 && y < 16 ? 0xFF0000u : 0x0000FFu; });
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    return jpeg.substr(0, 2) + exifApp1(orientation) + jpeg.substr(2);
}

enum Corner { TopLeft, TopRight, BottomLeft, BottomRight };

// Orientation 6 turns the stored picture a quarter clockwise, 8 a quarter anticlockwise.
Corner redCornerFor(int orientation) { return orientation == 6 ? TopRight : BottomLeft; }

// Which corner of the box [x0, x1) × [y0, y1) is red, checking that the other three are blue; -1
// when the corners do not show one red and three blue.
template <typename ColourAt>
int redCorner(int x0, int y0, int x1, int y1, ColourAt colourAt) {
    const int inset = std::max(3, std::min(x1 - x0, y1 - y0) / 10);
    const std::pair<int, int> points[] = {{x0 + inset, y0 + inset},
                                          {x1 - 1 - inset, y0 + inset},
                                          {x0 + inset, y1 - 1 - inset},
                                          {x1 - 1 - inset, y1 - 1 - inset}};
    int red = -1;
    for (int corner = 0; corner < 4; ++corner) {
        Rgb c = colourAt(points[corner].first, points[corner].second);
        const bool isRed = c.r > 160 && c.b<100, isBlue = c.b> 160 && c.r < 100;
        if (isRed && red < 0)
            red = corner;
        else if (!isBlue)
            return -1;
    }
    return red;
}

class PictureOrientation : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        jpeg = taggedJpeg(static_cast<std::uint16_t>(GetParam()));
        file = dir / "phone.jpg";
        writeFile(file, jpeg);
    }
    TempDir dir;
    std::string jpeg;
    std::filesystem::path file;
};

TEST_P(PictureOrientation, DecoderTurnsThePictureUpright) {
    DecodedPicture picture = decodePictureFile(file);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture.width, kStoredHeight);
    EXPECT_EQ(picture.height, kStoredWidth);
    auto at = [&](int x, int y) {
        std::uint32_t p = picture.at(x, y);
        return Rgb{int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
    };
    EXPECT_EQ(redCorner(0, 0, picture.width, picture.height, at), redCornerFor(GetParam()));
}

// What the page receives for a picked, reloaded or downloaded picture is the PNG of the upright picture.
TEST_P(PictureOrientation, PagePreviewShowsThePictureUpright) {
    FakeApp f;
    f.dialogs->answers = {file};
    f.app->pickImage();
    ASSERT_EQ(f.page->calls.size(), 1u);
    auto picked = parsePicked(f.page->calls[0]);
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->width, kStoredHeight);
    EXPECT_EQ(picked->height, kStoredWidth);
    f.app->reloadImage(picked->imageId);
    ASSERT_EQ(f.page->calls.size(), 2u);
    auto reloaded = parseReloaded(f.page->calls[1]);
    ASSERT_TRUE(reloaded);

    auto downloaded = pictureBytesToPng(jpeg);
    ASSERT_TRUE(downloaded);
    for (const std::string& png :
         {*strictBase64Decode(picked->base64), *strictBase64Decode(reloaded->second), downloaded->png}) {
        auto pixels = decodePng(png);
        ASSERT_TRUE(pixels);
        ASSERT_EQ(pixels->width, kStoredHeight);
        ASSERT_EQ(pixels->height, kStoredWidth);
        auto at = [&](int x, int y) {
            const std::uint8_t* p = &pixels->rgb[(static_cast<std::size_t>(y) * pixels->width + x) * 3];
            return Rgb{p[0], p[1], p[2]};
        };
        EXPECT_EQ(redCorner(0, 0, pixels->width, pixels->height, at), redCornerFor(GetParam()));
    }
}

// Drawn over a black clip: the overlay is twice as tall as wide, its red corner where the preview has it.
TEST_P(PictureOrientation, ExportDrawsThePictureUpright) {
    constexpr int kSide = 160;
    const auto source = dir / "black.mp4";
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i color=c=black:s=160x160:r=25:d=0.2 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
               shellQuoted(source)));
    ExportInputs in;
    in.videoURL = source;
    in.outputURL = dir / "out.mp4";
    in.images = {{"img_PHONE", file}};
    in.params = readExportParams({{"textObjects", json::array({json{{"type", "image"},
                                                                    {"imageId", "img_PHONE"},
                                                                    {"xPercent", 50},
                                                                    {"yPercent", 50},
                                                                    {"scalePercent", 50},
                                                                    {"timeStartPercent", 0},
                                                                    {"timeEndPercent", 100}}})},
                                  {"previewHeight", kSide}});
    auto prepared = prepareExport(in);
    ASSERT_TRUE(prepared) << prepared.error();
    std::atomic<bool> cancel{false};
    ASSERT_TRUE(runFrameLoop(
        **prepared, [](int) {}, &cancel));

    FramePixels frame((*prepared)->tempVideo.string(), 0, kSide, kSide);
    std::filesystem::remove((*prepared)->tempVideo);
    ASSERT_TRUE(frame.ok());
    int x0 = kSide, y0 = kSide, x1 = 0, y1 = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            Rgb c = frame.at(x, y);
            if (std::max({c.r, c.g, c.b}) < 100) continue;
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
        }
    // 50 % of the frame's height tall: 80 × 40 upright (a sideways picture would be 160 wide).
    EXPECT_NEAR(y1 - y0, 80, 3);
    EXPECT_NEAR(x1 - x0, 40, 3);
    EXPECT_EQ(redCorner(x0, y0, x1, y1, [&](int x, int y) { return frame.at(x, y); }), redCornerFor(GetParam()));
}

// A background of the picture's upright shape is covered by it exactly, corner for corner.
TEST_P(PictureOrientation, BackgroundClipShowsThePictureUpright) {
    LoopbackServer server{[this](httplib::Server& s) {
        s.Get("/phone.jpg",
              [this](const httplib::Request&, httplib::Response& res) { res.set_content(jpeg, "image/jpeg"); });
    }};
    auto plan = planBackground(kStoredHeight, kStoredWidth, 0.1, "#00FF00");
    ASSERT_TRUE(plan);
    BackgroundOptions options;
    options.limits.idleTimeoutSeconds = 5;
    options.directory = dir.path();
    LogCapture log;
    Outcome<std::filesystem::path> clip = makeBackgroundClip(*plan, server.url("/phone.jpg"), options);
    ASSERT_TRUE(clip) << clip.error();
    EXPECT_EQ(log.lines().front(), "🖼 Background image downloaded: " + std::to_string(kStoredHeight) + "x" +
                                       std::to_string(kStoredWidth));
    FramePixels frame(clip->string(), 0, kStoredHeight, kStoredWidth);
    ASSERT_TRUE(frame.ok());
    EXPECT_EQ(redCorner(0, 0, kStoredHeight, kStoredWidth, [&](int x, int y) { return frame.at(x, y); }),
              redCornerFor(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(ExifTag, PictureOrientation, ::testing::Values(6, 8));

}  // namespace
}  // namespace tamo::test
