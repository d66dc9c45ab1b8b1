// The image library: pictures of every accepted format reach the page as PNG data URLs with the same
// pixels; bad pictures give no callback; identifiers resolve for reloading.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <set>

#include "media/media_fixtures.h"
#include "media/picture_check.h"
#include "media/picture_png.h"
#include "support/fakes.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

const std::regex kImageId("^img_[0-9A-F]{8}$");

struct FormatCase {
    const char* name;
    const char* encoderArgs;
    double tolerance;  // mean absolute difference per channel against ffmpeg's decoding
};

TEST(ImageLibrary, EveryAcceptedFormatArrivesAsPngWithItsPixels) {
    TempDir dir;
    const FormatCase cases[] = {
        {"kép.png", "", 0.0},
        // Full chroma, so the two JPEG decoders differ only in rounding, not in upsampling.
        {"photo.jpg", "-q:v 2 -pix_fmt yuvj444p", 2.0},
        {"photo.jpeg", "-q:v 2 -pix_fmt yuvj444p", 2.0},
        {"anim.gif", "", 0.0},
        {"lossless.webp", "-c:v libwebp -lossless 1", 0.0},
        {"scan.tiff", "-pix_fmt rgb24", 0.0},
        {"old.bmp", "-pix_fmt bgr24", 0.0},
    };
    std::vector<nlohmann::json> input;
    for (const auto& c : cases) {
        auto file = dir / c.name;
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=64x48 -frames:v 1 " + std::string(c.encoderArgs) + " " + shellQuoted(file)))
            << c.name;
        input.push_back(choose(file));
        input.push_back(swift("pickImage"));
    }
    auto run = runHeadless(input);
    ASSERT_FALSE(run.timedOut);

    auto choosers = run.withPrefix("CHOOSER> ");
    ASSERT_FALSE(choosers.empty());
    auto chooser = nlohmann::json::parse(choosers[0]);
    EXPECT_EQ(chooser["title"], "Kép kiválasztása");
    EXPECT_EQ(chooser["extensions"], nlohmann::json({"png", "jpg", "jpeg", "gif", "webp", "tiff", "bmp"}));

    auto calls = run.scriptCalls();
    ASSERT_EQ(calls.size(), std::size(cases));
    std::set<std::string> ids;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        auto picked = parsePicked(calls[i]);
        ASSERT_TRUE(picked) << calls[i].substr(0, 120);
        EXPECT_TRUE(std::regex_match(picked->imageId, kImageId)) << picked->imageId;
        ids.insert(picked->imageId);
        EXPECT_EQ(picked->width, 64);
        EXPECT_EQ(picked->height, 48);

        auto png = strictBase64Decode(picked->base64);
        ASSERT_TRUE(png) << "not standard padded base64";
        auto pixels = decodePng(*png);
        ASSERT_TRUE(pixels) << "not a PNG";
        EXPECT_EQ(pixels->width, 64);
        EXPECT_EQ(pixels->height, 48);
        auto reference = referencePixels(dir / c.name, 64, 48, dir / "ref.rgb");
        ASSERT_TRUE(reference);
        EXPECT_LE(meanAbsDifference(*pixels, *reference), c.tolerance);

        // U+1F5BC, with no variation selector.
        EXPECT_TRUE(run.hasLine("\xF0\x9F\x96\xBC Image picked: " + std::string(c.name) + " (64x48)"));
    }
    EXPECT_EQ(ids.size(), std::size(cases));
}

TEST(ImageLibrary, PicturesThatCannotBeDecodedGiveNoCallbackAndNonFilesAreRefusedUnopened) {
    TempDir dir;
    auto good = dir / "good.png";
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=40x30 -frames:v 1 " + shellQuoted(good)));
    std::string png = readFile(good);
    writeFile(dir / "text.png", "Ez nem kép.\n");
    writeFile(dir / "empty.jpg", "");
    // Cut short: the rows that never arrived must not be sent as a picture.
    writeFile(dir / "half.png", png.substr(0, png.size() / 2));
    writeFile(dir / "header.png", png.substr(0, 8) + std::string(500, '\x42'));
    std::filesystem::create_directory(dir / "folder.png");
    // Opening a FIFO for reading waits for a writer that never comes.
    ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);

    std::vector<nlohmann::json> input;
    for (const char* name :
         {"text.png", "empty.jpg", "half.png", "header.png", "folder.png", "missing.png", "fifo.png"}) {
        input.push_back(choose(dir / name));
        input.push_back(swift("pickImage"));
    }
    input.push_back(chooseCancel());
    input.push_back(swift("pickImage"));
    input.push_back(choose(good));
    input.push_back(swift("pickImage"));
    input.push_back(swift("reloadImage", {{"imageId", "img_00000000"}}));
    HeadlessOptions options;
    options.timeoutSeconds = 60;
    auto run = runHeadless(input, options);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);

    // Only the last, good picture is heard of; the identifier nobody filed is reported missing.
    auto calls = run.scriptCalls();
    ASSERT_EQ(calls.size(), 2u);
    auto picked = parsePicked(calls[0]);
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->width, 40);
    EXPECT_EQ(calls[1], "onImageMissing('img_00000000')");
    EXPECT_EQ(run.logLines(), (std::vector<std::string>{"❌ Image not opened: folder.png: a folder",
                                                        "❌ Image not opened: missing.png: not found",
                                                        "❌ Image not opened: fifo.png: not a regular file",
                                                        "\xF0\x9F\x96\xBC Image picked: good.png (40x30)"}));
}

TEST(ImageLibrary, IdentifiersResolveUntilTheFileIsGone) {
    TempDir dir;
    auto file = dir / "logo.png";
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=24x16 -frames:v 1 " + shellQuoted(file)));
    FakeApp f;
    LogCapture log;

    // Two picks of one file: two identifiers, both on file.
    f.dialogs->answers = {file, file};
    f.app->pickImage();
    f.app->pickImage();
    ASSERT_EQ(f.page->calls.size(), 2u);
    auto first = parsePicked(f.page->calls[0]), second = parsePicked(f.page->calls[1]);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->imageId, second->imageId);
    EXPECT_EQ(f.app->storedImages.at(first->imageId), file);
    EXPECT_EQ(f.app->storedImages.at(second->imageId), file);

    f.page->calls.clear();
    f.app->reloadImage(first->imageId);
    f.app->reloadImage(second->imageId);
    f.app->reloadImage("img_NOTHERE");
    f.app->reloadImage("");
    ASSERT_EQ(f.page->calls.size(), 3u);
    auto reloaded = parseReloaded(f.page->calls[0]);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->first, first->imageId);
    EXPECT_EQ(reloaded->second, first->base64);
    EXPECT_EQ(parseReloaded(f.page->calls[1])->first, second->imageId);
    EXPECT_EQ(f.page->calls[2], "onImageMissing('img_NOTHERE')");

    // Once the file is deleted the identifier still exists, and the page hears that its picture is missing.
    std::filesystem::remove(file);
    f.page->calls.clear();
    f.app->reloadImage(first->imageId);
    EXPECT_EQ(f.page->calls, std::vector<std::string>{"onImageMissing('" + first->imageId + "')"});
    EXPECT_EQ(f.app->storedImages.size(), 2u);
    EXPECT_EQ(log.lines().size(), 3u);  // the two picks and the missing file

    // Choosing again: a file that is no picture keeps the old entry; a picture takes the identifier over.
    auto replacement = dir / "new logo.png";
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=c=red:s=10x6 -frames:v 1 " + shellQuoted(replacement)));
    writeFile(dir / "notes.png", "not a picture");
    f.page->calls.clear();
    f.dialogs->answers = {dir / "notes.png", replacement};
    f.app->chooseImageAgain(first->imageId);
    EXPECT_TRUE(f.page->calls.empty());
    EXPECT_EQ(f.app->storedImages.at(first->imageId), file);
    f.app->chooseImageAgain(first->imageId);
    ASSERT_EQ(f.page->calls.size(), 1u);
    auto again = parseReloaded(f.page->calls[0]);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->first, first->imageId);
    auto png = strictBase64Decode(again->second);
    ASSERT_TRUE(png);
    auto pixels = decodePng(*png);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width, 10);
    EXPECT_EQ(pixels->height, 6);
    EXPECT_EQ(f.app->storedImages.at(first->imageId), replacement);
    EXPECT_EQ(f.app->storedImages.at(second->imageId), file);  // the other identifier is untouched
}

TEST(ImageLibrary, AnUndecodablePickIsStillFiledUnderAnIdentifier) {
    TempDir dir;
    writeFile(dir / "broken.png", "no picture here");
    FakeApp f;
    f.dialogs->answers = {dir / "broken.png"};
    f.app->pickImage();
    EXPECT_TRUE(f.page->calls.empty());
    ASSERT_EQ(f.app->storedImages.size(), 1u);
    EXPECT_TRUE(std::regex_match(f.app->storedImages.begin()->first, kImageId));
}

// A GIF whose logical screen is width × height with one black 1×1 frame: tiny as a file, large as pixels.
std::string gifWithScreen(unsigned width, unsigned height) {
    std::string g = "GIF89a";
    auto le16 = [&](unsigned v) {
        g += static_cast<char>(v & 0xff);
        g += static_cast<char>((v >> 8) & 0xff);
    };
    le16(width);
    le16(height);
    g += std::string("\x80\x00\x00", 3);              // global colour table of two entries
    g += std::string("\x00\x00\x00\xff\xff\xff", 6);  // black, white
    g += '\x2c';                                      // image descriptor
    le16(0), le16(0), le16(1), le16(1);
    g += '\0';
    g += std::string("\x02\x02\x44\x01\x00", 5);  // LZW: clear, index 0, end
    g += ';';
    return g;
}

TEST(PicturePng, PicturesOverOneHundredMegapixelsAreRefusedBeforeDecoding) {
    auto small = pictureBytesToPng(gifWithScreen(300, 200));
    ASSERT_TRUE(small) << "the hand-made GIF must be a valid picture";
    EXPECT_EQ(small->width, 300);
    EXPECT_EQ(small->height, 200);

    EXPECT_FALSE(pictureBytesToPng(gifWithScreen(10001, 10000)));
    EXPECT_FALSE(pictureBytesToPng(gifWithScreen(65535, 65535)));
}

TEST(PicturePng, BytesThatAreNoPictureGiveNothing) {
    EXPECT_FALSE(pictureBytesToPng(""));
    EXPECT_FALSE(pictureBytesToPng("<html><body>404</body></html>"));
    EXPECT_FALSE(pictureBytesToPng(std::string("\x89PNG\r\n\x1a\n", 8)));
    EXPECT_FALSE(pictureFileToPng("/nonexistent/picture.png"));
}

TEST(PicturePng, Base64IsStandardWithPaddingAndNoLineBreaks) {
    EXPECT_EQ(base64Text(""), "");
    EXPECT_EQ(base64Text("f"), "Zg==");
    EXPECT_EQ(base64Text("\xfb\xff"), "+/8=");
    std::string big(100000, '\x07');
    std::string text = base64Text(big);
    EXPECT_EQ(text.size(), (big.size() + 2) / 3 * 4);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(strictBase64Decode(text), big);
}

}  // namespace
}  // namespace tamo::test
