// The export in process on real files, its output decoded as planes: the picture leaves the
// decoder and reaches the encoder untouched wherever no overlay is drawn, frame times count from
// the first frame, and the colours are those of a plain transcode.
#include <gtest/gtest.h>

#include <cairo.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "export/export_params.h"
#include "export/transcoder.h"
#include "media_test_support.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
}

namespace tamo::test {
namespace {

using nlohmann::json;

class YuvExport : public ::testing::Test {
protected:
    static inline TempDir* fixtures = nullptr;

    static std::string f(const std::string& name) { return (*fixtures / name).string(); }

    static void SetUpTestSuite() {
        av_log_set_level(AV_LOG_ERROR);
        fixtures = new TempDir();
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=320x180:r=25:d=0.4 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                   f("src.mp4")));
        ASSERT_TRUE(ffmpeg("-i " + f("src.mp4") + " -vf transpose=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                           f("turned.mp4")));
        ASSERT_TRUE(ffmpeg("-i " + f("turned.mp4") + " -c copy -metadata:s:v:0 rotate=90 " + f("rot.mp4")));
        // A camera-style transport stream whose clock starts at 1.4 s (the muxer's own delay).
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=2 -pix_fmt yuv420p -c:v libx264 -preset ultrafast "
                   "-f mpegts " +
                   f("late.ts")));
        // Two recordings one after the other: the clock goes back to 1.4 s half-way.
        writeFile(*fixtures / "reset.ts", readFile(*fixtures / "late.ts") + readFile(*fixtures / "late.ts"));
        // A white picture with a transparent half, for the picture overlay.
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 20);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, 0, 0, 20, 10);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_write_to_png(s, f("pic.png").c_str());
        cairo_surface_destroy(s);
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }

    TempDir out;

    struct Run {
        Outcome<> status = fail("not run");
        std::vector<int> progress;
        std::filesystem::path file;
        double origin = -1;
    };

    Run transcode(const std::string& source, json params, bool lossless,
                  const std::function<bool(int)>& stopAfter = nullptr) {
        ExportInputs in;
        in.videoURL = f(source);
        in.outputURL = out / "out.mp4";
        in.params = readExportParams(params);
        in.images = {{"img_PIC", *fixtures / "pic.png"}};
        in.lossless = lossless;
        Run run;
        auto prepared = prepareExport(in);
        if (!prepared) {
            ADD_FAILURE() << prepared.error();
            return run;
        }
        std::atomic<bool> cancel{false};
        run.status = runFrameLoop(
            **prepared,
            [&](int p) {
                run.progress.push_back(p);
                if (stopAfter && stopAfter(static_cast<int>(run.progress.size()))) cancel = true;
            },
            &cancel);
        run.file = (*prepared)->tempVideo;
        run.origin = (*prepared)->originSeconds;
        return run;
    }
};

struct Rect {
    int x0, y0, x1, y1;  // luma pixels, half-open
    bool contains(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

// Luma and chroma samples of `got` that differ from `want` (want seen through an offset), split
// by whether they lie inside one of the rectangles (grown by two pixels for chroma's reach).
struct Difference {
    long outside = 0;
    std::vector<long> inside;
};
Difference compare(const YuvPicture& got, const YuvPicture& want, int ox, int oy, const std::vector<Rect>& rects) {
    Difference d;
    d.inside.assign(rects.size(), 0);
    auto classify = [&](int x, int y, bool same) {
        if (same) return;
        bool in = false;
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const Rect& r = rects[i];
            if (Rect{r.x0 - 2, r.y0 - 2, r.x1 + 2, r.y1 + 2}.contains(x, y)) {
                ++d.inside[i];
                in = true;
            }
        }
        if (!in) ++d.outside;
    };
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) classify(x, y, got.lumaAt(x, y) == want.lumaAt(x + ox, y + oy));
    for (int cy = 0; cy < got.height / 2; ++cy)
        for (int cx = 0; cx < got.width / 2; ++cx) {
            const bool same = got.uAt(cx, cy) == want.uAt(cx + ox / 2, cy + oy / 2) &&
                              got.vAt(cx, cy) == want.vAt(cx + ox / 2, cy + oy / 2);
            classify(2 * cx, 2 * cy, same);
        }
    return d;
}

TEST_F(YuvExport, LosslessExportEqualsTheSourceOutsideEveryOverlay) {
    const json overlays = json::array({
        json{{"type", "blur"},
             {"xPercent", 20},
             {"yPercent", 25},
             {"widthPercent", 20},
             {"heightPercent", 30},
             {"blurAmount", 6},
             {"timeStartPercent", 0},
             {"timeEndPercent", 100}},
        json{{"type", "image"},
             {"imageId", "img_PIC"},
             {"xPercent", 75},
             {"yPercent", 30},
             {"scalePercent", 20},
             {"opacity", 50},
             {"timeStartPercent", 0},
             {"timeEndPercent", 100}},
        json{{"type", "text"},
             {"text", "Szia"},
             {"xPercent", 50},
             {"yPercent", 70},
             {"fontSizePercent", 8},
             {"bgEnabled", true},
             {"timeStartPercent", 0},
             {"timeEndPercent", 100}},
        json{{"type", "progressbar"}, {"color", "#ff0000"}, {"heightPercent", 4}},
    });
    Run run = transcode("src.mp4", {{"textObjects", overlays}, {"previewHeight", 180}}, true);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedYuv src = decodeYuv(f("src.mp4")), got = decodeYuv(run.file);
    ASSERT_EQ(got.frames.size(), src.frames.size());
    const std::vector<Rect> rects = {
        {32, 18, 96, 72},      // blur: 10…30 % of 320, 10…40 % of 180
        {222, 36, 258, 72},    // picture: 36 × 36 around (240, 54)
        {100, 100, 220, 155},  // the text and its box around (160, 126)
        {0, 172, 320, 180},    // progress bar: the bottom 7.2 rows
    };
    for (std::size_t i = 0; i < src.frames.size(); ++i) {
        SCOPED_TRACE(i);
        Difference d = compare(got.frames[i], src.frames[i], 0, 0, rects);
        EXPECT_EQ(d.outside, 0);
        for (std::size_t r = 0; r < rects.size(); ++r) EXPECT_GT(d.inside[r], 20) << "overlay " << r << " not drawn";
    }
}

TEST_F(YuvExport, FramesAfterAnOverlayWindowAreTheSourceAgain) {
    // Frames nothing is drawn into go to the encoder as the decoder gave them; drawing into one
    // would also spoil the later pictures the decoder predicts from it.
    const json overlays = json::array({json{{"type", "blur"},
                                            {"xPercent", 50},
                                            {"yPercent", 50},
                                            {"widthPercent", 80},
                                            {"heightPercent", 80},
                                            {"blurAmount", 8},
                                            {"timeStartPercent", 0},
                                            {"timeEndPercent", 30}}});
    Run run = transcode("src.mp4", {{"textObjects", overlays}}, true);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedYuv src = decodeYuv(f("src.mp4")), got = decodeYuv(run.file);
    ASSERT_EQ(got.frames.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        const bool blurred = got.times[i] <= 0.12 + 1e-9;
        EXPECT_EQ(got.frames[i].y == src.frames[i].y, !blurred) << i;
        if (!blurred) EXPECT_TRUE(got.frames[i].u == src.frames[i].u && got.frames[i].v == src.frames[i].v) << i;
    }
}

TEST_F(YuvExport, CropAndRotationMovePlanesWithoutChangingThem) {
    // 9:16 of 320 × 180 starts at column 109: luma from there, chroma half-way between the
    // samples of columns 108 and 110.
    Run crop = transcode("src.mp4", {{"cropPreset", "9:16"}}, true);
    ASSERT_TRUE(crop.status) << crop.status.error();
    const DecodedYuv src = decodeYuv(f("src.mp4")), cropped = decodeYuv(crop.file);
    ASSERT_EQ(cropped.frames.size(), src.frames.size());
    ASSERT_EQ(cropped.frames[0].width, 100);
    for (std::size_t i = 0; i < src.frames.size(); ++i) {
        const YuvPicture& g = cropped.frames[i];
        const YuvPicture& s = src.frames[i];
        long bad = 0;
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) bad += g.lumaAt(x, y) != s.lumaAt(x + 109, y);
        for (int cy = 0; cy < g.height / 2; ++cy)
            for (int cx = 0; cx < g.width / 2; ++cx) {
                bad += g.uAt(cx, cy) != (s.uAt(cx + 54, cy) + s.uAt(cx + 55, cy) + 1) / 2;
                bad += g.vAt(cx, cy) != (s.vAt(cx + 54, cy) + s.vAt(cx + 55, cy) + 1) / 2;
            }
        EXPECT_EQ(bad, 0) << "frame " << i;
    }

    // Stored turned a quarter clockwise, shown upright by its display matrix: the planes come out
    // turned back, sample for sample.
    Run rot = transcode("rot.mp4", json::object(), true);
    ASSERT_TRUE(rot.status) << rot.status.error();
    const DecodedYuv stored = decodeYuv(f("rot.mp4")), upright = decodeYuv(rot.file);
    ASSERT_EQ(upright.frames.size(), stored.frames.size());
    const YuvPicture& u = upright.frames[3];
    const YuvPicture& s = stored.frames[3];
    ASSERT_EQ(u.width, s.height);
    ASSERT_EQ(u.height, s.width);
    long bad = 0;
    // The stored picture is the original turned a quarter clockwise, so upright (x, y) is
    // stored (storedWidth - 1 - y, x).
    for (int y = 0; y < u.height; ++y)
        for (int x = 0; x < u.width; ++x) bad += u.lumaAt(x, y) != s.lumaAt(s.width - 1 - y, x);
    for (int cy = 0; cy < u.height / 2; ++cy)
        for (int cx = 0; cx < u.width / 2; ++cx)
            bad += u.uAt(cx, cy) != s.uAt(s.width / 2 - 1 - cy, cx) || u.vAt(cx, cy) != s.vAt(s.width / 2 - 1 - cy, cx);
    EXPECT_EQ(bad, 0);
    // And the upright picture is the original one (lossy twice, so only close).
    const DecodedYuv original = decodeYuv(f("src.mp4"));
    double diff = 0;
    for (int y = 0; y < u.height; ++y)
        for (int x = 0; x < u.width; ++x) diff += std::abs(u.lumaAt(x, y) - original.frames[3].lumaAt(x, y));
    EXPECT_LT(diff / (u.width * u.height), 4.0);
}

TEST_F(YuvExport, TransportStreamStartingLateCountsFromItsFirstFrame) {
    const json overlays = json::array({
        json{{"type", "progressbar"},
             {"color", "#ff0000"},
             {"bgColor", "#000000"},
             {"bgOpacity", 0},
             {"heightPercent", 20}},
        // A white square for the second half of the clip: from 1.0 s after the first frame.
        json{{"type", "image"},
             {"imageId", "img_PIC"},
             {"xPercent", 50},
             {"yPercent", 30},
             {"scalePercent", 40},
             {"timeStartPercent", 50},
             {"timeEndPercent", 100}},
    });
    Run run = transcode("late.ts", {{"textObjects", overlays}, {"previewHeight", 90}}, true);
    ASSERT_TRUE(run.status) << run.status.error();
    EXPECT_NEAR(run.origin, 1.4, 0.05);
    ASSERT_EQ(run.progress.size(), 50u);
    EXPECT_EQ(run.progress.front(), 0);
    EXPECT_GE(run.progress.back(), 85);

    const DecodedYuv got = decodeYuv(run.file), src = decodeYuv(f("late.ts"));
    ASSERT_EQ(got.frames.size(), 50u);
    ASSERT_EQ(src.frames.size(), 50u);
    EXPECT_NEAR(src.times.front(), 1.4, 0.05);
    EXPECT_NEAR(got.times.front(), 0.0, 1e-3);
    EXPECT_NEAR(got.times.back(), 1.96, 1e-3);
    // Lossless: a sample is either the source's or the overlay's colour. Red in BT.601 limited
    // range is Y 81, U 90, V 240; the bar's rows are the bottom 18.
    auto near = [](int a, int b) { return std::abs(a - b) <= 2; };
    auto redAt = [&](std::size_t i, int x) {
        const YuvPicture& p = got.frames[i];
        return near(p.lumaAt(x, 80), 81) && near(p.uAt(x / 2, 40), 90) && near(p.vAt(x / 2, 40), 240);
    };
    auto sourceAt = [&](std::size_t i, int x, int y) {
        return got.frames[i].lumaAt(x, y) == src.frames[i].lumaAt(x, y);
    };
    // Columns [from, to) of row 80 all red, or all as in the source.
    auto allRed = [&](std::size_t i, int from, int to) {
        for (int x = from; x < to; ++x)
            if (!redAt(i, x)) return false;
        return true;
    };
    auto allSource = [&](std::size_t i, int from, int to) {
        for (int x = from; x < to; ++x)
            if (!sourceAt(i, x, 80)) return false;
        return true;
    };
    EXPECT_TRUE(allSource(0, 0, 160)) << "the bar is empty on the first frame";
    EXPECT_TRUE(allRed(49, 0, 154)) << "and nearly full on the last";
    EXPECT_TRUE(allRed(24, 0, 76) && allSource(24, 78, 160));  // 0.96 s of 2: 76.8 columns
    EXPECT_TRUE(allRed(26, 0, 82) && allSource(26, 84, 160));  // 1.04 s: 83.2 columns
    // The picture's opaque half covers (80, 20) from 1.0 s on, counted from the first frame.
    for (std::size_t i : {std::size_t(0), std::size_t(24)}) EXPECT_TRUE(sourceAt(i, 80, 20)) << i;
    for (std::size_t i : {std::size_t(26), std::size_t(49)}) EXPECT_EQ(got.frames[i].lumaAt(80, 20), 235) << i;
}

TEST_F(YuvExport, TimestampResetContinuesTheTimeline) {
    Run run = transcode("reset.ts", json::object(), false);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedYuv got = decodeYuv(run.file);
    ASSERT_EQ(got.times.size(), 100u);
    for (std::size_t i = 0; i < got.times.size(); ++i) EXPECT_NEAR(got.times[i], 0.04 * double(i), 1e-3) << i;
}

TEST_F(YuvExport, CancelStopsAtTheNextFrameAndRemovesTheFile) {
    Run run = transcode("src.mp4", json::object(), false, [](int frames) { return frames == 3; });
    EXPECT_TRUE(run.status.cancelled());
    EXPECT_EQ(run.progress.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(run.file));
    EXPECT_TRUE(fileNames(out.path()).empty());
}

// SMPTE-style colour bars through the export and through the plainest ffmpeg transcode at the
// same preset and bit rate: every bar's mean Y, U and V agree, and the colour tags say what the
// source had (or what an untagged source is taken for).
TEST_F(YuvExport, ColourBarsMatchAPlainTranscodeAndKeepTheirTags) {
    struct Case {
        const char* name;
        const char* size;
        const char* make;          // ffmpeg output options for the source
        const char* floorOptions;  // extra options of the plain transcode
        int space, range;          // expected tags of the export
    };
    const Case cases[] = {
        {"sd", "320x240", "-pix_fmt yuv420p", "", AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG},
        {"hd", "1280x720", "-pix_fmt yuv420p", "", AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
        {"hd709", "1280x720", "-pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709", "",
         AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
        {"full", "320x240", "-pix_fmt yuvj420p -color_range pc", "", AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG},
        {"deep", "320x240", "-pix_fmt yuv422p10le", "-pix_fmt yuv420p", AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = std::string("bars_") + c.name + ".mkv";
        ASSERT_TRUE(ffmpeg(std::string("-f lavfi -i smptebars=s=") + c.size + ":r=25:d=0.12 " + c.make + " -c:v ffv1 " +
                           f(source)));
        int w = 0, h = 0;
        std::sscanf(c.size, "%dx%d", &w, &h);
        const std::string floor = (out / (std::string("floor_") + c.name + ".mp4")).string();
        ASSERT_TRUE(ffmpeg("-i " + f(source) + " -an -c:v libx264 -preset veryfast -b:v " + std::to_string(w * h * 4) +
                           " " + c.floorOptions + " " + floor));
        Run run = transcode(source, json::object(), false);
        ASSERT_TRUE(run.status) << run.status.error();
        const DecodedYuv got = decodeYuv(run.file), want = decodeYuv(floor);
        ASSERT_FALSE(got.frames.empty());
        ASSERT_FALSE(want.frames.empty());
        EXPECT_EQ(got.colorSpace, c.space);
        EXPECT_EQ(got.colorRange, c.range);
        if (c.space == AVCOL_SPC_BT709) {
            EXPECT_EQ(got.colorPrimaries, AVCOL_PRI_BT709);
            EXPECT_EQ(got.colorTransfer, AVCOL_TRC_BT709);
        }
        const YuvPicture& a = got.frames.back();
        const YuvPicture& b = want.frames.back();
        ASSERT_EQ(a.width, b.width);
        // The seven bars of the upper part, away from their edges.
        for (int bar = 0; bar < 7; ++bar) {
            const int x0 = (bar * w) / 7 + w / 28, x1 = ((bar + 1) * w) / 7 - w / 28;
            const int y0 = h / 10, y1 = h / 2;
            double mean[2][3] = {};
            for (int k = 0; k < 2; ++k) {
                const YuvPicture& p = k ? b : a;
                long n = 0, nc = 0;
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x, ++n) mean[k][0] += p.lumaAt(x, y);
                for (int y = y0 / 2; y < y1 / 2; ++y)
                    for (int x = x0 / 2; x < x1 / 2; ++x, ++nc) {
                        mean[k][1] += p.uAt(x, y);
                        mean[k][2] += p.vAt(x, y);
                    }
                mean[k][0] /= n, mean[k][1] /= nc, mean[k][2] /= nc;
            }
            for (int plane = 0; plane < 3; ++plane)
                EXPECT_NEAR(mean[0][plane], mean[1][plane], 2.0) << "bar " << bar << " plane " << plane;
        }
    }
}

TEST_F(YuvExport, TinyOutputsAreEncoded) {
    // W × H × 4 below 1000 bit/s once stopped the encoder from opening.
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=s=16x16:r=25:d=0.2 -vf scale=6x4 -pix_fmt yuv420p -c:v libx264 -preset "
               "ultrafast " +
               f("tiny.mp4")));
    Run run = transcode("tiny.mp4", json::object(), false);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedYuv got = decodeYuv(run.file);
    ASSERT_EQ(got.frames.size(), 5u);
    EXPECT_EQ(got.frames[0].width, 6);
    EXPECT_EQ(got.frames[0].height, 4);
}

}  // namespace
}  // namespace tamo::test
