// Pictures: the one decoder (turned upright, premultiplied, refused from the header when too large),
// and the image library that hands them to the page as PNG data URLs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/ffmpeg_ptr.h"
#include "media/media_fixtures.h"
#include "media/picture_check.h"
#include "media/picture_decoder.h"
#include "media/picture_png.h"
#include "media/picture_size.h"
#include "platform/texts/file_texts.h"
#include "support/headless_runner.h"
#include "web/web_test_support.h"

namespace tamo::test {
namespace {

// A JPEG stored 64 × 32 with red in its top-left 16 × 16 square, carrying an EXIF orientation tag.
std::string taggedJpeg(char orientation) {
    std::string jpeg =
        makePicture(64, 32, "jpeg", [](int x, int y) { return x < 16 && y < 16 ? 0xFF0000u : 0x0000FFu; });
    // APP1: "Exif\0\0", a little-endian TIFF header and one IFD entry: Orientation (0x0112), SHORT, 1.
    const std::string app1 = std::string(
                                 "\xFF\xE1\x00\x22"
                                 "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0",
                                 28) +
                             orientation + std::string(7, '\0');
    return jpeg.substr(0, 2) + app1 + jpeg.substr(2);
}

// Orientation 6 turns the stored picture a quarter clockwise, 8 a quarter anticlockwise: the decoder
// and the PNG the page previews both show it upright, 32 × 64, with the red corner where it belongs.
TEST(Picture, ExifOrientationIsApplied) {
    TempDir dir;
    for (char orientation : {6, 8}) {
        SCOPED_TRACE(int(orientation));
        writeFile(dir / "phone.jpg", taggedJpeg(orientation));
        DecodedPicture decoded = decodePictureFile(dir / "phone.jpg");
        auto png = pictureFileToPng(dir / "phone.jpg");
        ASSERT_TRUE(decoded && png);
        auto preview = decodePngBase64(base64Text(png->png));
        ASSERT_TRUE(preview);
        EXPECT_EQ(std::tuple(decoded.width, decoded.height, preview->width, preview->height),
                  std::tuple(32, 64, 32, 64));
        // Which corners are red (top left, top right, bottom left, bottom right), as 1 bits.
        int fromDecoder = 0, fromPreview = 0;
        for (int corner = 0; corner < 4; ++corner) {
            const int x = corner % 2 ? 28 : 3, y = corner / 2 ? 60 : 3;
            fromDecoder |= (decoded.at(x, y) >> 16 & 0xFF) > 160 && (decoded.at(x, y) & 0xFF) < 100 ? 1 << corner : 0;
            fromPreview |= preview->at(x, y)[0] > 160 && preview->at(x, y)[2] < 100 ? 1 << corner : 0;
        }
        EXPECT_EQ(fromDecoder, orientation == 6 ? 0b0010 : 0b0100);
        EXPECT_EQ(fromPreview, fromDecoder);
    }
}

TEST(Picture, SizeIsCheckedFromTheHeaderAndColourIsPremultiplied) {
    auto solid = [](int w, int h) { return makePicture(w, h, "png", [](int, int) { return 0u; }); };
    EXPECT_TRUE(decodePictureBytes(solid(10, 10), 100));
    DecodedPicture over = decodePictureBytes(solid(10, 11), 100);
    EXPECT_TRUE(!over && over.tooLarge);
    // 400 megapixels claimed by a few bytes: refused at the default limit before any pixel memory.
    DecodedPicture bomb = decodePictureBytes(pngHeaderClaiming(20000, 20000));
    EXPECT_TRUE(!bomb && bomb.tooLarge);
    // A GIF whose screen is just over 100 megapixels, holding one 1 × 1 frame.
    auto gif = [](unsigned w, unsigned h) {
        return std::string("GIF89a") + char(w & 0xFF) + char(w >> 8) + char(h & 0xFF) + char(h >> 8) +
               std::string("\x80\0\0\0\0\0\xFF\xFF\xFF\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 25);
    };
    ASSERT_TRUE(pictureBytesToPng(gif(300, 200)));
    EXPECT_EQ(pictureBytesToPng(gif(300, 200))->width, 300);
    EXPECT_FALSE(pictureBytesToPng(gif(10001, 10000)));

    // The same rule for a picture file named in a project: read from its header only.
    const std::filesystem::path corpus = TAMO_SOURCE_DIR "/tests/fuzz/corpus/picture_bytes";
    EXPECT_FALSE(pictureFileSizeAllowed(corpus / "huge_header.png"));
    EXPECT_TRUE(pictureFileSizeAllowed(corpus / "small.png"));
    EXPECT_FALSE(pictureFileSizeAllowed(corpus / "gone.png"));
    // FFmpeg's failures: the file system's in Hungarian, damaged data in Hungarian, the rest as FFmpeg says.
    EXPECT_EQ(av::errorText(AVERROR(ENOENT)), texts::file::kNotFound);
    EXPECT_EQ(av::errorText(AVERROR_INVALIDDATA), texts::file::kInvalidMediaData);
    EXPECT_EQ(av::errorText(AVERROR_EOF), "End of file");

    // Cairo draws premultiplied colour: half-transparent white is half of full in every channel.
    TempDir dir;
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=c=white@0.5:s=2x1,format=rgba -frames:v 1 " + shellQuoted(dir / "a.png")));
    DecodedPicture translucent = decodePictureFile(dir / "a.png");
    ASSERT_TRUE(translucent && translucent.hasAlpha);
    EXPECT_NEAR(translucent.at(0, 0) >> 24, 128, 1);
    EXPECT_EQ(translucent.at(0, 0), (translucent.at(0, 0) >> 24) * 0x01010101u);
}

// One headless run of pickImage: every accepted format arrives as a PNG with its pixels (compared
// with ffmpeg's own decoding); what is no regular file is refused unopened, broken pictures stay silent.
TEST(ImageLibrary, HeadlessPicksOfEveryFormatAndOfWhatIsNoPicture) {
    TempDir dir;
    const std::pair<const char*, const char*> formats[] = {
        {"kép.png", ""},
        {"photo.jpg", "-q:v 2 -pix_fmt yuvj444p"},
        {"anim.gif", ""},
        {"lossless.webp", "-c:v libwebp -lossless 1"},
        {"scan.tiff", "-pix_fmt rgb24"},
        {"old.bmp", "-pix_fmt bgr24"},
    };
    std::vector<nlohmann::json> input;
    for (auto [name, args] : formats) {
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=64x48 -frames:v 1 " + std::string(args) + " " + shellQuoted(dir / name)));
        input.insert(input.end(), {choose(dir / name), swift("pickImage")});
    }
    writeFile(dir / "half.png", readFile(dir / "kép.png").substr(0, 300));
    std::filesystem::create_directory(dir / "folder.png");
    ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);  // opening it would wait for ever
    for (const char* name : {"half.png", "folder.png", "missing.png", "fifo.png"})
        input.insert(input.end(), {choose(dir / name), swift("pickImage")});
    input.insert(input.end(), {chooseCancel(), swift("pickImage")});
    auto run = runHeadless(input);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);

    auto calls = run.scriptCalls();
    ASSERT_EQ(calls.size(), std::size(formats));
    std::vector<std::string> log;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const char* name = formats[i].first;
        SCOPED_TRACE(name);
        auto picked = parsePicked(calls[i]);
        ASSERT_TRUE(picked);
        EXPECT_TRUE(std::regex_match(picked->imageId, std::regex("img_[0-9A-F]{8}")));
        auto pixels = decodePngBase64(picked->base64);
        ASSERT_TRUE(pixels);
        ASSERT_TRUE(ffmpeg("-i " + shellQuoted(dir / name) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 " +
                           shellQuoted(dir / "ref.rgb")));
        std::string reference = readFile(dir / "ref.rgb");
        ASSERT_EQ(reference.size(), pixels->rgb.size());
        double difference = 0;
        for (std::size_t k = 0; k < reference.size(); ++k)
            difference += std::abs(int(std::uint8_t(reference[k])) - int(pixels->rgb[k]));
        // Two JPEG decoders differ in rounding only (full chroma); the lossless formats are exact.
        EXPECT_LE(difference / reference.size(), i == 1 ? 2.0 : 0.0);
        log.push_back("\xF0\x9F\x96\xBC Image picked: " + std::string(name) + " (64x48)");  // U+1F5BC alone
    }
    log.insert(log.end(), {"❌ Image not opened: folder.png: a folder", "❌ Image not opened: missing.png: not found",
                           "❌ Image not opened: fifo.png: not a regular file"});
    EXPECT_EQ(run.logLines(), log);
}

}  // namespace
}  // namespace tamo::test
