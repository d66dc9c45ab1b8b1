// Exports of real files, in process, decoded again: through the page's request on a fake page
// (progress, errors, files left behind), and through the export itself with a lossless encoder,
// where every sample no overlay covers must come back exactly as the source had it.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdio>
#include <map>
#include <new>
#include <system_error>

#include "export/export_faults.h"
#include "export/export_run.h"
#include "media_test_support.h"
#include "platform/log.h"
#include "support/fakes.h"
#include "support/read_only_folder.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace tamo::test {
namespace {

using nlohmann::json;
using Calls = std::vector<std::string>;

constexpr double kOneAudioFrame = 1024.0 / 48000;  // how far a sound may be off its place

class RecordingLauncher : public Launcher {
public:
    void openWithDefaultHandler(const std::filesystem::path& target) override { opened.push_back(target); }
    std::vector<std::filesystem::path> opened;
};

// Where a tone is over half of `level`, in 5 ms steps: the start and end of every run.
std::vector<std::pair<double, double>> toneRuns(const DecodedAudio& a, double frequency, double level = 0.125) {
    std::vector<std::pair<double, double>> runs;
    bool inside = false;
    for (double t = 0; (t + 0.005) * a.sampleRate <= a.left.size(); t += 0.005) {
        const bool on = toneAmplitude(a.left, a.sampleRate, frequency, t, t + 0.005) > level / 2;
        if (on && !inside) runs.push_back({t, t});
        if (on) runs.back().second = t + 0.005;
        inside = on;
    }
    return runs;
}

// The fixtures, each made on first use (every test runs in a process of its own).
std::string f(const std::string& name) {
    static TempDir fixtures;
    const std::filesystem::path file = fixtures / name;
    if (std::filesystem::exists(file)) return file.string();
    auto at = [&](const char* other) { return (fixtures / other).string(); };
    const std::map<std::string, std::string> needs = {{"turned.mp4", "up.mp4"},      {"rot.mp4", "turned.mp4"},
                                                      {"fast.mp4", "src.mp4"},       {"reset.ts", "late.ts"},
                                                      {"truncated.mp4", "fast.mp4"}, {"damaged.mp4", "fast.mp4"}};
    if (auto n = needs.find(name); n != needs.end()) f(n->second);
    const std::string h264 = " -pix_fmt yuv420p -c:v libx264 -preset ultrafast ",
                      lossless = " -pix_fmt yuv420p -c:v libx264 -qp 0 ";
    const std::string small = "-f lavfi -i testsrc2=s=160x90:r=25:d=";
    const std::map<std::string, std::string> recipes = {
        {"src.mp4", "-f lavfi -i testsrc2=s=320x180:r=25:d=2 -f lavfi -i sine=f=440:d=2:sample_rate=48000" + h264 +
                        "-c:a aac -b:a 192k -shortest "},
        {"silent.mp4", small + "1" + h264},
        {"tiny.mp4", "-f lavfi -i testsrc2=s=6x4:r=10:d=0.5" + h264},
        // A phone-style clip: stored turned a quarter clockwise, shown upright by its display matrix.
        {"up.mp4", "-f lavfi -i testsrc2=s=320x180:r=25:d=0.4" + h264},
        {"turned.mp4", "-i " + at("up.mp4") + " -vf transpose=1" + h264},
        {"rot.mp4", "-i " + at("turned.mp4") + " -c copy -metadata:s:v:0 rotate=90 "},
        {"narr_long.mp3", "-f lavfi -i sine=f=1000:d=3:sample_rate=44100 -c:a libmp3lame "},
        {"narr_short.mp3", "-f lavfi -i sine=f=1000:d=0.5:sample_rate=44100 -c:a libmp3lame "},
        {"audio_only.m4a", "-f lavfi -i sine=f=440:d=1 -c:a aac "},
        {"one_pixel.mov", "-f lavfi -i color=red:s=16x16:r=10:d=0.5 -vf scale=1:1 -c:v png "},
        {"fast.mp4", "-i " + at("src.mp4") + " -c copy -movflags +faststart "},
        // A transport stream whose clock starts at 1.4 s, its sound 1 s after the picture.
        {"late.ts",
         small + "2 -itsoffset 1 -f lavfi -i sine=f=1000:d=1:sample_rate=48000" + h264 + "-c:a aac -f mpegts "},
        // Two sound tracks: 440 Hz from 2 s on first; 1000 Hz second, the one marked as the default.
        {"two.mp4", small +
                        "3 -itsoffset 2 -f lavfi -i sine=f=440:d=1 -f lavfi -i sine=f=1000:d=3 -map 0 -map 1 -map 2" +
                        h264 + "-c:a aac -b:a:0 32k -b:a:1 192k -disposition:a:0 0 -disposition:a:1 default "},
        // A tone from 0 with its timestamps moved on by 0.5 s after 1 s: a hole from 1.0 to 1.5 s.
        {"hole.mkv",
         small +
             "2 -f lavfi -i sine=f=1000:d=1.5:sample_rate=48000 -af \"asetpts='if(gte(T\\,1)\\,PTS+0.5/TB\\,PTS)'\"" +
             h264 + "-c:a pcm_s16le "},
        // The same hole in AAC in MPEG-4, where the packets could be taken over as they are.
        {"hole.mp4",
         small +
             "2 -f lavfi -i sine=f=1000:d=1.5:sample_rate=48000 -af \"asetpts='if(gte(T\\,1)\\,PTS+0.5/TB\\,PTS)'\"" +
             h264 + "-c:a aac "},
        // Sound that outlasts its 1 s picture by 2 s.
        {"long_sound.mp4", small + "1 -f lavfi -i sine=f=440:d=3:sample_rate=44100" + h264 + "-c:a aac "},
        {"picture_ffv1.mkv", "-f lavfi -i testsrc2=s=64x36:r=25:d=0.4 -c:v ffv1 "},
        {"picture.mp4", small + "1" + h264},
        {"pic.png",
         "-f lavfi -i color=white:s=20x10,format=rgba,pad=20:20:0:0:black@0 -frames:v 1 "},  // lower half clear
        // Grey with 20 × 20 marks at y 80: white at x 10, black at x 150, dark grey at x 290, and a
        // white band over the top 30 rows of x 110…210.
        {"marks.mp4",
         "-f lavfi -i color=c=0x808080:s=320x180:r=25:d=0.08,drawbox=x=10:y=80:w=20:h=20:color=white:t=fill,"
         "drawbox=x=150:y=80:w=20:h=20:color=black:t=fill,drawbox=x=290:y=80:w=20:h=20:color=0x404040:t=fill,"
         "drawbox=x=110:y=0:w=100:h=30:color=white:t=fill" +
             lossless},
    };
    if (auto r = recipes.find(name); r != recipes.end()) {
        EXPECT_TRUE(ffmpeg(r->second + file.string())) << name;
    } else if (name == "reset.ts") {  // two recordings joined: the clock starts over half-way
        writeFile(file, readFile(at("late.ts")) + readFile(at("late.ts")));
    } else if (name == "garbage.mp4") {
        writeFile(file, std::string(5000, 'x'));
    } else if (name == "truncated.mp4") {  // index first, cut in the picture data: reading breaks off
        const std::string whole = readFile(at("fast.mp4"));
        writeFile(file, whole.substr(0, whole.size() * 6 / 10));
    } else if (name == "damaged.mp4") {  // bytes overwritten in the middle: damaged packets between good ones
        std::string damaged = readFile(at("fast.mp4"));
        for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 3000; ++i) damaged[i] = char(i * 7);
        writeFile(file, damaged);
    }
    return file.string();
}

class Export : public ::testing::Test {
protected:
    TempDir out;
    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
    FakeApp fake;

    void SetUp() override {
        fake.app = std::make_shared<AppDelegate>(
            PlatformServices{fake.queue, fake.dialogs, std::make_shared<BackgroundWork>(), launcher});
        fake.app->webView = fake.page;
        fake.app->mainWindow = fake.window;
    }
    void TearDown() override { exportfault::disarm(); }

    // The page's export request to `output` (cancelled at once if asked), waited for until every
    // piece of work has ended.
    Calls exportTo(const std::string& source, const std::filesystem::path& output, bool cancelAtOnce = false) {
        fake.page->calls.clear();
        fake.app->currentVideoURL = f(source);
        fake.dialogs->answers.push_back(output);
        fake.app->exportVideo(json::object());
        if (cancelAtOnce) fake.app->cancelExport();
        EXPECT_TRUE(settle(fake, std::chrono::seconds(120))) << "export did not end";
        return fake.page->calls;
    }

    // The export itself, optionally lossless, into out/out.mp4.
    struct Run {
        Outcome<> status = fail("not run");
        std::vector<int> progress;
        std::filesystem::path file;
    };
    Run transcode(const std::string& source, json params, bool lossless, bool withSound = false, int stopAfter = 0) {
        ExportInputs in;
        in.videoURL = f(source);
        in.outputURL = out / "out.mp4";
        in.params = readExportParams(params);
        in.images = {{"img_PIC", f("pic.png")}, {"img_BROKEN", f("garbage.mp4")}};
        in.lossless = lossless;
        Run run;
        std::atomic<bool> cancel{false};
        auto progress = [&](int p) {
            run.progress.push_back(p);
            if (stopAfter && int(run.progress.size()) == stopAfter) cancel = true;
        };
        if (withSound) {
            run.status = runExport(in, std::nullopt, progress, &cancel);
            run.file = in.outputURL;
            return run;
        }
        auto prepared = prepareExport(in);
        if (!prepared) return {prepared.failure(), {}, {}};
        run.status = runFrameLoop(**prepared, progress, &cancel);
        run.file = (*prepared)->tempVideo;
        return run;
    }
};

TEST_F(Export, OriginalKeepsPictureTimingAndSoundAndOpensWhenDone) {
    fake.app->exportVideo(json::object());
    EXPECT_EQ(fake.page->calls, Calls{"onExportError('Nincs videó betöltve!')"});
    LogCapture log;
    auto output = out / "result.mp4";
    const Calls calls = exportTo("src.mp4", output);
    ASSERT_EQ(fake.dialogs->requests.size(), 1u);
    EXPECT_EQ(fake.dialogs->requests[0].options.title, "Videó exportálása");
    EXPECT_EQ(fake.dialogs->requests[0].options.suggestedName, "src_text.mp4");

    const DecodedVideo src = decodeVideo(f("src.mp4")), got = decodeVideo(output);
    // "onExportProgress(0)", one call per frame (never above 90, never going back), 95, complete.
    ASSERT_EQ(calls.size(), src.times.size() + 3);
    EXPECT_EQ(calls.front(), "onExportProgress(0)");
    EXPECT_EQ(calls[calls.size() - 2], "onExportProgress(95)");
    EXPECT_EQ(calls.back(), "onExportComplete()");
    for (std::size_t i = 1, last = 0; i + 2 < calls.size(); ++i) {
        int p = -1;
        ASSERT_EQ(std::sscanf(calls[i].c_str(), "onExportProgress(%d)", &p), 1) << calls[i];
        EXPECT_TRUE(p >= int(last) && p <= 90) << p;
        last = p;
    }
    ASSERT_EQ(got.width * 1000 + got.height, 320180);
    ASSERT_EQ(got.times.size(), src.times.size());
    for (std::size_t i = 0; i < src.times.size(); ++i) EXPECT_NEAR(got.times[i], src.times[i], 1e-3) << i;
    for (std::size_t i : {std::size_t(0), src.frames.size() - 1})
        EXPECT_LT(meanAbsDiff(got.frames[i], 320, 0, 0, src.frames[i], 320, 0, 0, 320, 180), 4.0) << i;
    const DecodedAudio sound = decodeAudio(output);
    EXPECT_NEAR(sound.seconds(), 2.0, 0.05);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 440, 0.2, 1.8), 0.125, 0.02);
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"result.mp4"});
    EXPECT_EQ(log.lines(), std::vector<std::string>{"✅ Export complete: " + output.string()});

    fake.app->cancelExport();  // after the end: changes nothing
    fake.app->openExportResult("video");
    fake.app->openExportResult("folder");
    EXPECT_EQ(launcher->opened, (std::vector<std::filesystem::path>{output, out.path()}));
    std::filesystem::remove(output);
    fake.app->openExportResult("video");  // once the file is gone, nothing to play
    EXPECT_EQ(launcher->opened.size(), 2u);
}

TEST_F(Export, NarrationIsMixedOverTheQuieterSourceAndCutAtThePicturesEnd) {
    fake.app->narrationAudioURL = f("narr_short.mp3");
    ASSERT_EQ(exportTo("src.mp4", out / "short.mp4").back(), "onExportComplete()");
    const DecodedAudio a = decodeAudio(out / "short.mp4");
    EXPECT_NEAR(a.seconds(), 2.0, 0.05);
    EXPECT_NEAR(toneAmplitude(a.left, a.sampleRate, 1000, 0.1, 0.4), 0.125, 0.02);
    EXPECT_LT(toneAmplitude(a.left, a.sampleRate, 1000, 1.0, 1.9), 0.005);
    EXPECT_NEAR(toneAmplitude(a.left, a.sampleRate, 440, 0.1, 1.9), 0.3 * 0.125, 0.008);

    fake.app->narrationAudioURL = f("narr_long.mp3");  // 3 s over a silent 1 s picture: full level
    ASSERT_EQ(exportTo("silent.mp4", out / "long.mp4").back(), "onExportComplete()");
    const DecodedAudio b = decodeAudio(out / "long.mp4");
    EXPECT_NEAR(b.seconds(), 1.0, 0.05);
    EXPECT_NEAR(toneAmplitude(b.left, b.sampleRate, 1000, 0.2, 0.8), 0.125, 0.02);

    fake.app->narrationAudioURL.reset();  // and without: no sound at all, the earlier file replaced
    writeFile(out / "long.mp4", "an earlier export");
    ASSERT_EQ(exportTo("silent.mp4", out / "long.mp4").back(), "onExportComplete()");
    const DecodedVideo silent = decodeVideo(out / "long.mp4", false);
    EXPECT_EQ(silent.times.size(), 25u);
    EXPECT_FALSE(silent.hasAudio);
}

// Failing exports, merges and export threads answer one error, keep an earlier output and leave no
// file behind.
TEST_F(Export, FailuresReachThePageAndKeepTheEarlierOutput) {
    writeFile(out / "keep.mp4", "an earlier export");
    for (auto [source, error] : {std::pair{"audio_only.m4a", "Nincs videósáv!"},
                                 {"garbage.mp4", "Nincs videósáv!"},
                                 {"one_pixel.mov", "Writer hiba!"},
                                 {"truncated.mp4", "Reader hiba!"}}) {
        const Calls calls = exportTo(source, out / "keep.mp4");
        ASSERT_FALSE(calls.empty()) << source;
        EXPECT_EQ(calls.back(), "onExportError('" + std::string(error) + "')");
        EXPECT_EQ(calls.size() > 1, std::string(source) == "truncated.mp4") << "only progress before the error";
        EXPECT_EQ(readFile(out / "keep.mp4"), "an earlier export");
        EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"}) << source;
    }
    EXPECT_EQ(exportTo("src.mp4", out / "no_such_folder" / "x.mp4"),
              Calls{"onExportError('Writer hiba! A fájl vagy a mappa nem található.')"});
    // Damaged packets between good ones: one outcome either way, nothing left over.
    Calls calls = exportTo("damaged.mp4", out / "keep.mp4");
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& c) { return !c.starts_with("onExportProgress("); }),
              1);
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});

    ::chmod(std::filesystem::path(f("src.mp4")).parent_path().c_str(), 0755);  // readable for the user below
    {
        ReadOnlyFolder readOnly(out / "csak_olvashato");
        calls = exportTo("src.mp4", out / "csak_olvashato" / "x.mp4");
    }
    EXPECT_EQ(calls, Calls{"onExportError('Writer hiba! Nincs jogosultság a fájlhoz vagy a mappájához.')"});
    EXPECT_TRUE(fileNames(out / "csak_olvashato").empty());
    std::filesystem::remove(out / "csak_olvashato");
    writeFile(out / "keep.mp4", "an earlier export");  // the damaged source may have been exported

    // The merge alone over a copy of a finished picture (which it deletes), and the export thread,
    // failing: one answer, in Hungarian, the earlier output kept.
    auto merge = [&](const std::string& picture, const std::filesystem::path& output) {
        const auto temp = out / "_temp_video_merge.mp4";
        std::filesystem::copy_file(picture, temp);
        Calls calls;
        Outcome<> m = mergeSound(temp, f("two.mp4"), std::nullopt, output, 0, nullptr,
                                 [&] { calls.push_back("onExportProgress(95)"); });
        calls.push_back(m ? "onExportComplete()" : "onExportError('" + m.error() + "')");
        if (!m && !m.failure().logLine.empty()) logLine(m.failure().logLine);
        EXPECT_FALSE(std::filesystem::exists(temp)) << "the temporary picture must go in every outcome";
        return calls;
    };
    LogCapture log;
    EXPECT_EQ(merge(f("picture_ffv1.mkv"), out / "keep.mp4"),
              Calls{"onExportError('Videó track hiba: a videó kódolása nem fér MP4 fájlba')"});
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(merge(f("picture.mp4"), out / "gone" / "x.mp4"),
              (Calls{"onExportProgress(95)", "onExportError('A célmappa nem található')"}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"❌ Export failed: A célmappa nem található"});
    exportfault::arm(exportfault::Point::MergeWriting, std::make_exception_ptr(std::bad_alloc()));
    EXPECT_EQ(merge(f("picture.mp4"), out / "keep.mp4"),
              (Calls{"onExportProgress(95)", "onExportError('Nincs elég memória')"}));
    EXPECT_EQ(readFile(out / "keep.mp4"), "an earlier export");

    exportfault::arm(
        exportfault::Point::ExportThreadStart,
        std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again))));
    EXPECT_EQ(exportTo("silent.mp4", out / "keep.mp4"), Calls{"onExportError('Writer hiba!')"});
    exportfault::arm(exportfault::Point::ExportThread, std::make_exception_ptr(std::bad_alloc()));
    EXPECT_EQ(exportTo("silent.mp4", out / "keep.mp4"),
              (Calls{"onExportProgress(0)", "onExportError('Writer hiba!')"}));
    EXPECT_EQ(readFile(out / "keep.mp4"), "an earlier export");
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
}

TEST_F(Export, CancelKeepsTheEarlierOutputAndAnswersCancelled) {
    writeFile(out / "keep.mp4", "an earlier export");
    const Calls calls = exportTo("src.mp4", out / "keep.mp4", true);  // as the export thread starts
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportCancelled()");
    for (std::size_t i = 0; i + 1 < calls.size(); ++i)
        EXPECT_TRUE(calls[i].starts_with("onExportProgress(")) << calls[i];
    EXPECT_EQ(readFile(out / "keep.mp4"), "an earlier export");
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
    fake.app->openExportResult("video");
    EXPECT_TRUE(launcher->opened.empty());

    // The frame loop raised from the third frame's report stops there and removes its file.
    Run run = transcode("src.mp4", json::object(), false, false, 3);
    EXPECT_TRUE(run.status.cancelled());
    EXPECT_EQ(run.progress.size(), 3u);
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});

    // 6 × 4 asks for under 1000 bit/s, which the encoder once was told as 0 and refused.
    run = transcode("tiny.mp4", {{"textObjects", json::array({json{{"type", "progressbar"}}})}}, false);
    ASSERT_TRUE(run.status) << run.status.error();
    EXPECT_EQ(decodeYuv(run.file).frames.size(), 5u);
}

struct Rect {
    int x0, y0, x1, y1;  // luma pixels, half-open; grown by two for chroma's reach
    bool holds(int x, int y) const { return x >= x0 - 2 && x < x1 + 2 && y >= y0 - 2 && y < y1 + 2; }
};
// Samples of `got` that differ from `want`: outside every rectangle, and inside each.
std::pair<long, std::vector<long>> differences(const YuvPicture& got, const YuvPicture& want,
                                               const std::vector<Rect>& rects) {
    long outside = 0;
    std::vector<long> inside(rects.size(), 0);
    auto count = [&](int x, int y, bool same) {
        bool in = false;
        for (std::size_t i = 0; i < rects.size(); ++i)
            if (!same && rects[i].holds(x, y)) ++inside[i], in = true;
        outside += !same && !in;
    };
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) count(x, y, got.lumaAt(x, y) == want.lumaAt(x, y));
    for (int y = 0; y < got.height / 2; ++y)
        for (int x = 0; x < got.width / 2; ++x)
            count(2 * x, 2 * y, got.uAt(x, y) == want.uAt(x, y) && got.vAt(x, y) == want.vAt(x, y));
    return {outside, inside};
}

json overlay(const char* type, double x, double y, const json& more) {
    json o = {{"type", type}, {"xPercent", x}, {"yPercent", y}, {"timeStartPercent", 0}, {"timeEndPercent", 100}};
    o.update(more);
    return o;
}

TEST_F(Export, LosslessExportEqualsTheSourceOutsideEveryOverlay) {
    const json overlays = json::array({
        overlay("blur", 20, 25, {{"widthPercent", 20}, {"heightPercent", 30}, {"blurAmount", 6}}),
        overlay("image", 75, 30, {{"imageId", "img_PIC"}, {"scalePercent", 20}, {"opacity", 50}}),
        overlay("image", 10, 90, {{"imageId", "img_BROKEN"}}),  // not a picture: left out
        overlay("text", 50, 70,
                {{"text", "Szia"}, {"fontSizePercent", 8}, {"bgEnabled", true}, {"timeEndPercent", 50}}),
    });
    Run run = transcode("src.mp4", {{"textObjects", overlays}, {"previewHeight", 180}}, true);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedYuv src = decodeYuv(f("src.mp4")), got = decodeYuv(run.file);
    ASSERT_EQ(got.frames.size(), src.frames.size());
    // Blur: 10…30 % of 320, 10…40 % of 180; picture: 36 × 36 around (240, 54); the text and its box.
    const std::vector<Rect> rects = {{32, 18, 96, 72}, {222, 36, 258, 72}, {100, 100, 220, 155}};
    for (std::size_t i = 0; i < src.frames.size(); ++i) {
        SCOPED_TRACE(i);
        const auto [outside, inside] = differences(got.frames[i], src.frames[i], rects);
        EXPECT_EQ(outside, 0);
        EXPECT_GT(inside[0], 20);
        EXPECT_GT(inside[1], 20);
        // After its window (1 s of 2) the text is gone and the frame is the source again.
        EXPECT_EQ(inside[2] > 20, got.times[i] <= 1.0 + 1e-9) << got.times[i];
    }
}

// Stored turned a quarter clockwise, cut to 9:16 from upright column 109: upright (x, y) is stored
// (storedWidth - 1 - y, x + 109), and the odd origin puts chroma half-way between two samples.
TEST_F(Export, RotationAndAnOddCropMovePlanesWithoutChangingThem) {
    const DecodedYuv stored = decodeYuv(f("rot.mp4")), original = decodeYuv(f("up.mp4"));
    Run run = transcode("rot.mp4", {{"cropPreset", "9:16"}}, true);
    ASSERT_TRUE(run.status) << run.status.error();
    EXPECT_EQ(decodeVideo(run.file, false).rotation, 0);
    const DecodedYuv upright = decodeYuv(run.file);
    ASSERT_EQ(upright.frames.size(), stored.frames.size());
    const YuvPicture &u = upright.frames[3], &s = stored.frames[3];
    ASSERT_EQ(u.width * 1000 + u.height, 100180);
    long bad = 0;
    double diff = 0;
    for (int y = 0; y < u.height; ++y)
        for (int x = 0; x < u.width; ++x) {
            bad += u.lumaAt(x, y) != s.lumaAt(s.width - 1 - y, x + 109);
            diff += std::abs(u.lumaAt(x, y) - original.frames[3].lumaAt(x + 109, y));
        }
    const int cx0 = s.width / 2 - 1;
    for (int cy = 0; cy < u.height / 2; ++cy)
        for (int cx = 0; cx < u.width / 2; ++cx)
            bad += u.uAt(cx, cy) != (s.uAt(cx0 - cy, cx + 54) + s.uAt(cx0 - cy, cx + 55) + 1) / 2 ||
                   u.vAt(cx, cy) != (s.vAt(cx0 - cy, cx + 54) + s.vAt(cx0 - cy, cx + 55) + 1) / 2;
    EXPECT_EQ(bad, 0) << "luma and chroma turned and cut";
    EXPECT_LT(diff / (u.width * u.height), 4.0);  // and it is the original picture (lossy twice)
}

TEST_F(Export, TransportStreamStartingLateCountsFromItsFirstFrame) {
    const json overlays = json::array({
        json{{"type", "progressbar"}, {"color", "#ff0000"}, {"bgOpacity", 0}, {"heightPercent", 20}},
        overlay("image", 50, 30, {{"imageId", "img_PIC"}, {"scalePercent", 40}, {"timeStartPercent", 50}}),
    });
    Run run = transcode("late.ts", {{"textObjects", overlays}, {"previewHeight", 90}}, true, true);
    ASSERT_TRUE(run.status) << run.status.error();
    ASSERT_EQ(run.progress.size(), 50u + 2);  // 0, one per frame, 95
    EXPECT_EQ(run.progress.front(), 0);
    EXPECT_GE(run.progress[50], 85);

    const DecodedYuv got = decodeYuv(run.file), src = decodeYuv(f("late.ts"));
    ASSERT_EQ(got.frames.size(), 50u);
    ASSERT_EQ(src.frames.size(), 50u);
    EXPECT_NEAR(src.times.front(), 1.4, 0.05);
    EXPECT_NEAR(got.times.front(), 0.0, 1e-3);
    EXPECT_NEAR(got.times.back(), 1.96, 1e-3);
    // A sample is the source's or the overlay's: red in BT.601 limited range is Y 81, U 90, V 240.
    auto barEnds = [&](std::size_t i) {  // after the last column of row 80 that is not the source's
        const YuvPicture& p = got.frames[i];
        int end = 160;
        while (end > 0 && p.lumaAt(end - 1, 80) == src.frames[i].lumaAt(end - 1, 80)) --end;
        for (int x = 0; x + 2 < end; ++x)  // the last one or two are partly covered
            EXPECT_TRUE(std::abs(p.lumaAt(x, 80) - 81) <= 2 && std::abs(p.vAt(x / 2, 40) - 240) <= 2) << i << " " << x;
        return end;
    };
    EXPECT_EQ(barEnds(0), 0) << "the bar is empty on the first frame";
    EXPECT_NEAR(barEnds(24), 77, 1);  // 0.96 s of 2: 76.8 columns
    EXPECT_NEAR(barEnds(26), 84, 1);  // 1.04 s: 83.2 columns
    EXPECT_NEAR(barEnds(49), 157, 1);
    // The picture's opaque half covers (80, 20) from 1.0 s on, counted from the first frame.
    for (std::size_t i : {0, 24}) EXPECT_EQ(got.frames[i].lumaAt(80, 20), src.frames[i].lumaAt(80, 20)) << i;
    for (std::size_t i : {26, 49}) EXPECT_EQ(got.frames[i].lumaAt(80, 20), 235) << i;
    // The sound began 1 s after the picture, and so it does in the export.
    const auto runs = toneRuns(decodeAudio(run.file), 1000);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NEAR(runs[0].first, 1.0, kOneAudioFrame);
    EXPECT_NEAR(runs[0].second, 2.0, kOneAudioFrame);

    // Two recordings joined: the clock goes back to 1.4 s half-way, the timeline goes on.
    run = transcode("reset.ts", json::object(), false, true);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedYuv joined = decodeYuv(run.file);
    ASSERT_EQ(joined.times.size(), 100u);
    for (std::size_t i = 0; i < joined.times.size(); ++i) EXPECT_NEAR(joined.times[i], 0.04 * double(i), 1e-3) << i;
    // Each part's sound stays 1 s after its own picture: the clock's reset moves both alike.
    const auto both = toneRuns(decodeAudio(run.file), 1000);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NEAR(both[0].first, 1.0, kOneAudioFrame);
    EXPECT_NEAR(both[0].second, 2.0, kOneAudioFrame);
    EXPECT_NEAR(both[1].first, 3.0, kOneAudioFrame);
    EXPECT_NEAR(both[1].second, 4.0, kOneAudioFrame);
}

TEST_F(Export, SoundStaysWhereTheSourceHasItAgainstThePicture) {
    struct Case {
        const char* source;
        double frequency;
        std::vector<std::pair<double, double>> runs;  // where the tone is in the source, from the first picture
        double silentFrom, silentTo;                  // a stretch without it
    };
    for (const Case& c :
         {Case{"two.mp4", 440, {{2.0, 3.0}}, 0.05, 1.95}, Case{"hole.mkv", 1000, {{0.0, 1.0}, {1.5, 2.0}}, 1.05, 1.45},
          Case{"hole.mp4", 1000, {{0.0, 1.0}, {1.5, 2.0}}, 1.05, 1.45}}) {
        SCOPED_TRACE(c.source);
        Run run = transcode(c.source, json::object(), false, true);
        ASSERT_TRUE(run.status) << run.status.error();
        const DecodedAudio sound = decodeAudio(run.file);
        EXPECT_NEAR(sound.seconds(), c.runs.back().second, 0.05);
        const auto runs = toneRuns(sound, c.frequency);
        ASSERT_EQ(runs.size(), c.runs.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            EXPECT_NEAR(runs[i].first, c.runs[i].first, kOneAudioFrame) << i;
            EXPECT_NEAR(runs[i].second, c.runs[i].second, kOneAudioFrame) << i;
        }
        EXPECT_NEAR(
            toneAmplitude(sound.left, sound.sampleRate, c.frequency, c.runs[0].first + 0.05, c.runs[0].second - 0.05),
            0.125, 0.02);
        const double otherTone = c.frequency == 440 ? 1000 : 440;  // the second track of two.mp4 is not heard
        EXPECT_LT(toneAmplitude(sound.left, sound.sampleRate, otherTone, 0.1, c.runs.back().second - 0.1), 0.003);
        EXPECT_LT(toneAmplitude(sound.left, sound.sampleRate, c.frequency, c.silentFrom, c.silentTo), 0.003);
    }
}

// AAC from the first picture on, with nothing mixed into it, goes into the export as it is: the
// decoded sound is the source's own, sample for sample, at the source's rate; it ends with the
// picture, to the packet.
TEST_F(Export, PlainSourceSoundIsTakenOverAsItIsAndCutWithThePicture) {
    Run run = transcode("src.mp4", json::object(), false, true);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedAudio source = decodeAudio(f("src.mp4")), sound = decodeAudio(run.file);
    EXPECT_EQ(sound.sampleRate, source.sampleRate);
    EXPECT_EQ(sound.left, source.left);

    run = transcode("long_sound.mp4", json::object(), false, true);
    ASSERT_TRUE(run.status) << run.status.error();
    const DecodedAudio cut = decodeAudio(run.file);
    EXPECT_EQ(cut.sampleRate, 44100);
    EXPECT_GE(cut.seconds(), 1.0 - 0.001);
    EXPECT_LE(cut.seconds(), 1.0 + 1024.0 / 44100 + 0.001);
    EXPECT_NEAR(toneAmplitude(cut.left, cut.sampleRate, 440, 0.05, 0.95), 0.125, 0.02);
}

// SMPTE-style colour bars through the export and through the plainest ffmpeg transcode at the
// same preset and bit rate: every bar's mean Y, U and V agree, and the colour tags say what the
// source had (or what an untagged source is taken for).
TEST_F(Export, ColourBarsMatchAPlainTranscodeAndKeepTheirTags) {
    struct Case {
        const char *name, *make, *floorOptions;
        int w, h, space, range;
    };
    const char* bt709 = "-pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709";
    for (const Case& c :
         {Case{"sd", "-pix_fmt yuv420p", "", 320, 240, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG},
          Case{"hd", "-pix_fmt yuv420p", "", 1280, 720, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
          Case{"hd709", bt709, "", 1280, 720, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
          Case{"full", "-pix_fmt yuvj420p -color_range pc", "", 320, 240, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG},
          Case{"deep", "-pix_fmt yuv422p10le", "-pix_fmt yuv420p", 320, 240, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG}}) {
        SCOPED_TRACE(c.name);
        const int w = c.w, h = c.h;
        const std::string source = std::string("bars_") + c.name + ".mkv", floor = (out / "floor.mp4").string();
        ASSERT_TRUE(ffmpeg("-f lavfi -i smptebars=s=" + std::to_string(w) + "x" + std::to_string(h) + ":r=25:d=0.12 " +
                           c.make + " -c:v ffv1 " + f(source)));
        ASSERT_TRUE(ffmpeg("-i " + f(source) + " -an -c:v libx264 -preset veryfast -b:v " + std::to_string(w * h * 4) +
                           " " + c.floorOptions + " " + floor));
        Run run = transcode(source, json::object(), false);
        ASSERT_TRUE(run.status) << run.status.error();
        const DecodedYuv got = decodeYuv(run.file), want = decodeYuv(floor);
        EXPECT_EQ(got.colorSpace * 100 + got.colorRange, c.space * 100 + c.range);
        if (c.space == AVCOL_SPC_BT709) {
            EXPECT_EQ(got.colorPrimaries * 100 + got.colorTransfer, AVCOL_PRI_BT709 * 101);
        }
        // The seven bars of the upper part, away from their edges: mean Y, U and V of each.
        for (int bar = 0; bar < 7; ++bar) {
            const int x0 = (bar * w) / 7 + w / 28, x1 = ((bar + 1) * w) / 7 - w / 28;
            double mean[2][3] = {};
            for (int k = 0; k < 2; ++k) {
                const YuvPicture& p = (k ? want : got).frames.back();
                const double luma = (x1 - x0) * (h / 2 - h / 10), chroma = (x1 / 2 - x0 / 2) * (h / 4 - h / 20);
                for (int y = h / 10; y < h / 2; ++y)
                    for (int x = x0; x < x1; ++x) mean[k][0] += p.lumaAt(x, y) / luma;
                for (int y = h / 20; y < h / 4; ++y)
                    for (int x = x0 / 2; x < x1 / 2; ++x)
                        mean[k][1] += p.uAt(x, y) / chroma, mean[k][2] += p.vAt(x, y) / chroma;
            }
            for (int plane = 0; plane < 3; ++plane) EXPECT_NEAR(mean[0][plane], mean[1][plane], 2.0) << bar << plane;
        }
    }
}

// Mean luma of a rectangle, and the largest step between neighbouring samples in it.
double meanLuma(const YuvPicture& p, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) sum += p.lumaAt(x, y);
    return sum / std::max(1, (x1 - x0) * (y1 - y0));
}
int largestStep(const YuvPicture& p, int x0, int y0, int x1, int y1) {
    int step = 0;
    for (int y = y0; y + 1 < y1; ++y)
        for (int x = x0; x + 1 < x1; ++x)
            step = std::max(
                {step, std::abs(p.lumaAt(x + 1, y) - p.lumaAt(x, y)), std::abs(p.lumaAt(x, y + 1) - p.lumaAt(x, y))});
    return step;
}

TEST_F(Export, ReframingScalesTheWindowAndFitsThePictureOverABlurredFill) {
    constexpr double kWhite = 235, kBlack = 16, kDark = 16 + 64 * 219.0 / 255, kGrey = 16 + 128 * 219.0 / 255;
    auto first = [&](json params) {
        params.update({{"cropPreset", "9:16"}, {"outputSize", "standard"}});
        Run run = transcode("marks.mp4", params, true);
        EXPECT_TRUE(run.status) << run.status.error();
        const DecodedYuv d = decodeYuv(run.file);
        return d.frames.empty() ? YuvPicture{} : d.frames.front();
    };
    // At the right, scaled to 1080 × 1920 (1080 / 101 across, 1920 / 180 down): the dark mark, and a
    // black bar over 5 % of the height, 96 rows.
    const json bar = {{"type", "progressbar"}, {"heightPercent", 5}, {"bgColor", "#000000"}, {"bgOpacity", 100}};
    YuvPicture p = first({{"cropPositionX", 100}, {"textObjects", json::array({bar})}});
    ASSERT_EQ(p.width * 10000 + p.height, 10801920);
    const double sx = 1080.0 / 101, sy = 1920.0 / 180;
    const int x0 = int((290 - 219) * sx), x1 = int((310 - 219) * sx), y0 = int(80 * sy), y1 = int(100 * sy);
    EXPECT_NEAR(meanLuma(p, x0 + 8, y0 + 8, x1 - 8, y1 - 8), kDark, 3);
    EXPECT_NEAR(meanLuma(p, x0 + 8, y1 + 20, x1 - 8, y1 + 60), kGrey, 3);
    EXPECT_NEAR(meanLuma(p, 0, 1920 - 94, 1080, 1920), kBlack, 2);
    EXPECT_NEAR(meanLuma(p, 0, 1920 - 110, 1080, 1920 - 98), kGrey, 3);

    // Fit: the whole source, 1080 × 608 at y 656, with all three marks; above and below it the
    // enlarged centred window blurred: no sharp edges, the white band brightening the top.
    p = first({{"fillMode", "fit"}});
    ASSERT_EQ(p.width * 10000 + p.height, 10801920);
    const double s = 1080.0 / 320;
    for (auto [mx, v] : {std::pair{10, kWhite}, {150, kBlack}, {290, kDark}})
        EXPECT_NEAR(meanLuma(p, int(mx * s) + 8, 656 + int(80 * s) + 8, int((mx + 20) * s) - 8, 656 + int(100 * s) - 8),
                    v, 4);
    for (auto [from, to] : {std::pair{0, 640}, {656 + 608 + 16, 1920}})
        EXPECT_TRUE(meanLuma(p, 0, from, 1080, to) > kGrey - 30 && largestStep(p, 0, from, 1080, to) <= 6) << from;
    EXPECT_GT(meanLuma(p, 200, 60, 880, 200), kGrey + 40);
    EXPECT_NEAR(meanLuma(p, 0, 1700, 1080, 1920), kGrey, 4);
}

}  // namespace
}  // namespace tamo::test
