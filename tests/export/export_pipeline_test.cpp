// The export run in process on a fake page: real fixtures, real files, the outputs decoded.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "export/export_run.h"
#include "media_test_support.h"
#include "support/fakes.h"
#include "support/read_only_folder.h"

namespace tamo::test {
namespace {

using nlohmann::json;

class ExportPipeline : public ::testing::Test {
protected:
    static inline TempDir* fixtures = nullptr;

    static void SetUpTestSuite() {
        fixtures = new TempDir();
        auto f = [](const std::string& name) { return (*fixtures / name).string(); };
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=320x180:r=25:d=2 -f lavfi -i sine=f=440:d=2:sample_rate=48000 "
                   "-pix_fmt yuv420p -c:v libx264 -preset ultrafast -c:a aac -b:a 192k -shortest " +
                   f("src.mp4")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                           f("silent.mp4")));
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=2 "
                   "-vf \"setpts='if(lt(N\\,20)\\,N*0.04\\,0.8+(N-20)*0.1)/TB'\" -fps_mode passthrough "
                   "-pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                   f("vfr.mp4")));
        // A phone-style clip: the picture stored turned a quarter clockwise, shown upright by the
        // display matrix.
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=320x180:r=25:d=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                           f("up.mp4")));
        ASSERT_TRUE(ffmpeg("-i " + f("up.mp4") + " -vf transpose=1 -pix_fmt yuv420p -c:v libx264 -preset ultrafast " +
                           f("turned.mp4")));
        ASSERT_TRUE(ffmpeg("-i " + f("turned.mp4") + " -c copy -metadata:s:v:0 rotate=90 " + f("rot.mp4")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=1000:d=3:sample_rate=44100 -c:a libmp3lame " + f("narr_long.mp3")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=1000:d=0.5:sample_rate=44100 -c:a libmp3lame " + f("narr_short.mp3")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a aac " + f("audio_only.m4a")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:s=16x16:r=10:d=0.5 -vf scale=1:1 -c:v png " + f("one_pixel.mov")));
        writeFile(*fixtures / "garbage.mp4", std::string(5000, 'x'));
        // Index first, then cut in the middle of the picture data: reading breaks off part-way.
        ASSERT_TRUE(ffmpeg("-i " + f("src.mp4") + " -c copy -movflags +faststart " + f("fast.mp4")));
        std::string whole = readFile(*fixtures / "fast.mp4");
        writeFile(*fixtures / "truncated.mp4", whole.substr(0, whole.size() * 6 / 10));
        // Bytes overwritten in the middle of the file: damaged packets between good ones.
        std::string damaged = whole;
        for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 3000 && i < damaged.size(); ++i)
            damaged[i] = char(i * 7);
        writeFile(*fixtures / "damaged.mp4", damaged);
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }

    TempDir out;
    FakeApp fake;

    std::filesystem::path fixture(const std::string& name) const { return *fixtures / name; }

    // Runs the page's export request to `output` and waits until every piece of work has ended.
    std::vector<std::string> exportTo(const std::filesystem::path& source, const std::filesystem::path& output,
                                      json params = json::object()) {
        fake.app->currentVideoURL = source;
        fake.dialogs->answers.push_back(output);
        fake.app->exportVideo(params);
        waitForWork();
        return fake.page->calls;
    }

    void waitForWork() { ASSERT_TRUE(settle(fake, std::chrono::seconds(120))) << "export did not end"; }
};

// "onExportProgress(0)", one call per frame (never above 90, never going back), 95, complete.
void expectProgressSequence(const std::vector<std::string>& calls, std::size_t frames) {
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "onExportProgress(0)");
    EXPECT_EQ(calls[calls.size() - 2], "onExportProgress(95)");
    EXPECT_EQ(calls.back(), "onExportComplete()");
    int last = 0;
    for (std::size_t i = 1; i + 2 < calls.size(); ++i) {
        ASSERT_EQ(calls[i].rfind("onExportProgress(", 0), 0u) << calls[i];
        int p = std::stoi(calls[i].substr(17));
        EXPECT_GE(p, last);
        EXPECT_LE(p, 90);
        last = p;
    }
    EXPECT_EQ(calls.size() - 3, frames);
}

// The low bit rate of a small output (W × H × 4) leaves visible loss, so a window is checked by
// where it fits best: the expected place must beat every place a few pixels off.
void expectWindowAt(const std::vector<std::uint8_t>& got, int gotW, int gx, int gy, int w, int h,
                    const std::vector<std::uint8_t>& src, int srcW, int srcH, int x0, int y0) {
    double atPlace = meanAbsDiff(got, gotW, gx, gy, src, srcW, x0, y0, w, h);
    EXPECT_LT(atPlace, 12.0);
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            int x = x0 + dx, y = y0 + dy;
            if ((dx == 0 && dy == 0) || x < 0 || y < 0 || x + w > srcW || y + h > srcH) continue;
            EXPECT_LT(atPlace, meanAbsDiff(got, gotW, gx, gy, src, srcW, x, y, w, h)) << "offset " << dx << "," << dy;
        }
}

TEST_F(ExportPipeline, NoVideoOpenAnswersOnlyTheError) {
    fake.app->exportVideo(json::object());
    EXPECT_EQ(fake.page->calls, std::vector<std::string>{"onExportError('Nincs videó betöltve!')"});
    EXPECT_TRUE(fake.dialogs->requests.empty());
}

TEST_F(ExportPipeline, ChooserSuggestsNameAndCancelDoesNothing) {
    fake.app->currentVideoURL = fixture("src.mp4");
    fake.app->exportVideo(json::object());  // no answer queued: cancelled
    waitForWork();
    ASSERT_EQ(fake.dialogs->requests.size(), 1u);
    const auto& r = fake.dialogs->requests[0];
    EXPECT_EQ(r.kind, "save");
    EXPECT_EQ(r.options.title, "Videó exportálása");
    EXPECT_EQ(r.options.suggestedName, "src_text.mp4");
    EXPECT_EQ(r.options.extensions, std::vector<std::string>{"mp4"});
    EXPECT_TRUE(fake.page->calls.empty());
    EXPECT_TRUE(fileNames(out.path()).empty());
}

TEST_F(ExportPipeline, OriginalKeepsPictureTimingAndSound) {
    LogCapture log;
    auto output = out / "result.mp4";
    auto calls = exportTo(fixture("src.mp4"), output);
    auto src = decodeVideo(fixture("src.mp4"));
    auto got = decodeVideo(output);
    ASSERT_TRUE(got.opened);
    expectProgressSequence(calls, src.times.size());
    EXPECT_EQ(got.width, 320);
    EXPECT_EQ(got.height, 180);
    ASSERT_EQ(got.times.size(), src.times.size());
    for (std::size_t i = 0; i < src.times.size(); ++i) EXPECT_NEAR(got.times[i], src.times[i], 1e-3) << i;
    for (std::size_t i : {std::size_t(0), src.frames.size() / 2, src.frames.size() - 1}) {
        EXPECT_LT(meanAbsDiff(got.frames[i], 320, 0, 0, src.frames[i], 320, 0, 0, 320, 180), 4.0) << "frame " << i;
    }
    auto sound = decodeAudio(output);
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(sound.seconds(), 2.0, 0.05);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 440, 0.2, 1.8), 0.125, 0.02);
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"result.mp4"});
    EXPECT_EQ(log.lines(), std::vector<std::string>{"✅ Export complete: " + output.string()});
}

TEST_F(ExportPipeline, PresetsCutTheCentredWindow) {
    struct Case {
        const char* preset;
        int encodedW, encodedH, cropX;
    };
    // 320 × 180: "9:16" is 101 wide (encoded 100: the odd last column is dropped).
    for (Case c : {Case{"9:16", 100, 180, 109}, Case{"1:1", 180, 180, 70}, Case{"4:5", 144, 180, 88},
                   Case{"4:3", 240, 180, 40}, Case{"16:9", 320, 180, 0}, Case{"2:1", 320, 180, 0}}) {
        SCOPED_TRACE(c.preset);
        fake.page->calls.clear();
        auto output = out / (std::string("p") + std::to_string(c.cropX) + c.preset[0] + ".mp4");
        auto calls = exportTo(fixture("src.mp4"), output, {{"cropPreset", c.preset}});
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), "onExportComplete()");
        auto got = decodeVideo(output);
        auto src = decodeVideo(fixture("src.mp4"));
        ASSERT_EQ(got.width, c.encodedW);
        ASSERT_EQ(got.height, c.encodedH);
        ASSERT_EQ(got.frames.size(), src.frames.size());
        std::size_t mid = src.frames.size() / 2;
        expectWindowAt(got.frames[mid], got.width, 0, 0, c.encodedW, 180, src.frames[mid], 320, 180, c.cropX, 0);
    }
}

TEST_F(ExportPipeline, VariableFrameRateIsKept) {
    auto output = out / "vfr_out.mp4";
    auto calls = exportTo(fixture("vfr.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto src = decodeVideo(fixture("vfr.mp4"), false);
    auto got = decodeVideo(output, false);
    ASSERT_EQ(got.times.size(), src.times.size());
    ASSERT_GT(src.times.size(), 30u);
    EXPECT_GT(src.times[25] - src.times[24], 0.06);  // the fixture really is irregular
    for (std::size_t i = 0; i < src.times.size(); ++i) EXPECT_NEAR(got.times[i], src.times[i], 1e-3) << i;
}

TEST_F(ExportPipeline, RotatedSourceComesOutUpright) {
    auto output = out / "rot_out.mp4";
    auto calls = exportTo(fixture("rot.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto got = decodeVideo(output);
    auto upright = decodeVideo(fixture("up.mp4"));
    ASSERT_EQ(got.width, 320);
    ASSERT_EQ(got.height, 180);
    EXPECT_EQ(got.rotation, 0);
    ASSERT_EQ(got.frames.size(), upright.frames.size());
    EXPECT_LT(meanAbsDiff(got.frames[20], 320, 0, 0, upright.frames[20], 320, 0, 0, 320, 180), 6.0);
    expectWindowAt(got.frames[20], 320, 10, 10, 300, 160, upright.frames[20], 320, 180, 10, 10);  // no shift either
}

TEST_F(ExportPipeline, RotatedSourceCropsInDisplayOrientation) {
    auto output = out / "rot_square.mp4";
    auto calls = exportTo(fixture("rot.mp4"), output, {{"cropPreset", "1:1"}});
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto got = decodeVideo(output);
    auto upright = decodeVideo(fixture("up.mp4"));
    ASSERT_EQ(got.width, 180);
    ASSERT_EQ(got.height, 180);
    expectWindowAt(got.frames[20], 180, 0, 0, 180, 180, upright.frames[20], 320, 180, 70, 0);
}

TEST_F(ExportPipeline, SilentSourceGivesSilentExport) {
    auto output = out / "silent_out.mp4";
    auto calls = exportTo(fixture("silent.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto got = decodeVideo(output, false);
    EXPECT_EQ(got.times.size(), 25u);
    EXPECT_FALSE(got.hasAudio);
}

TEST_F(ExportPipeline, NarrationLongerThanVideoIsMixedOverQuieterSourceAndCut) {
    fake.app->narrationAudioURL = fixture("narr_long.mp3");
    auto output = out / "narrated.mp4";
    auto calls = exportTo(fixture("src.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto sound = decodeAudio(output);
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(sound.seconds(), 2.0, 0.05);  // 3 s of narration cut at the picture's end
    double source = toneAmplitude(sound.left, sound.sampleRate, 440, 0.2, 1.8);
    double narration = toneAmplitude(sound.left, sound.sampleRate, 1000, 0.2, 1.8);
    EXPECT_NEAR(source, 0.3 * 0.125, 0.008);
    EXPECT_NEAR(narration, 0.125, 0.02);
    EXPECT_NEAR(narration / source, 1.0 / 0.3, 0.5);
}

TEST_F(ExportPipeline, NarrationShorterThanVideoEndsEarly) {
    fake.app->narrationAudioURL = fixture("narr_short.mp3");
    auto output = out / "short_narr.mp4";
    auto calls = exportTo(fixture("src.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto sound = decodeAudio(output);
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(sound.seconds(), 2.0, 0.05);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 1000, 0.1, 0.4), 0.125, 0.02);
    EXPECT_LT(toneAmplitude(sound.left, sound.sampleRate, 1000, 1.0, 1.9), 0.005);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 440, 1.0, 1.9), 0.3 * 0.125, 0.008);
}

TEST_F(ExportPipeline, NarrationOverSilentSourceIsFullLevel) {
    fake.app->narrationAudioURL = fixture("narr_long.mp3");
    auto output = out / "narr_only.mp4";
    auto calls = exportTo(fixture("silent.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    auto sound = decodeAudio(output);
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(sound.seconds(), 1.0, 0.05);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 1000, 0.2, 0.8), 0.125, 0.02);
}

// Failing exports answer exactly one error, keep an earlier output and leave no files behind.
TEST_F(ExportPipeline, FailuresKeepTheEarlierOutput) {
    struct Case {
        const char* source;
        const char* error;
    };
    for (Case c : {Case{"audio_only.m4a", "onExportError('Nincs videósáv!')"},
                   Case{"garbage.mp4", "onExportError('Nincs videósáv!')"},
                   Case{"missing.mp4", "onExportError('Nincs videósáv!')"},
                   Case{"one_pixel.mov", "onExportError('Writer hiba!')"}}) {
        SCOPED_TRACE(c.source);
        fake.page->calls.clear();
        auto output = out / "keep.mp4";
        writeFile(output, "an earlier export");
        auto calls = exportTo(fixture(c.source), output);
        EXPECT_EQ(calls, std::vector<std::string>{c.error});
        EXPECT_TRUE(readFile(output) == "an earlier export");
        EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
    }
}

// The writer's error names why the output folder takes no file, in the user's language.
TEST_F(ExportPipeline, UnwritableFolderIsAWriterErrorWithItsReason) {
    auto output = out / "no_such_folder" / "x.mp4";
    auto calls = exportTo(fixture("src.mp4"), output);
    EXPECT_EQ(calls, std::vector<std::string>{"onExportError('Writer hiba! A fájl vagy a mappa nem található.')"});
    EXPECT_TRUE(fileNames(out.path()).empty());
}

TEST_F(ExportPipeline, ReadOnlyFolderIsAWriterErrorThatSaysSo) {
    auto folder = out / "csak_olvashato";
    ::chmod(fixtures->path().c_str(), 0755);  // the source stays readable for the user acting below
    std::vector<std::string> calls;
    {
        ReadOnlyFolder readOnly(folder);
        calls = exportTo(fixture("src.mp4"), folder / "kesz.mp4");
    }
    EXPECT_EQ(calls,
              std::vector<std::string>{"onExportError('Writer hiba! Nincs jogosultság a fájlhoz vagy a mappájához.')"});
    EXPECT_TRUE(fileNames(folder).empty());
}

TEST_F(ExportPipeline, SourceBrokenOffPartWayIsAReaderErrorNotAShortVideo) {
    auto output = out / "keep.mp4";
    writeFile(output, "an earlier export");
    auto calls = exportTo(fixture("truncated.mp4"), output);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front(), "onExportProgress(0)");
    EXPECT_EQ(calls.back(), "onExportError('Reader hiba!')");
    EXPECT_TRUE(readFile(output) == "an earlier export");
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
}

TEST_F(ExportPipeline, DamagedPacketsEndInOneOutcomeWithoutLeftovers) {
    auto output = out / "keep.mp4";
    writeFile(output, "an earlier export");
    auto calls = exportTo(fixture("damaged.mp4"), output);
    ASSERT_FALSE(calls.empty());
    int finals = 0;
    for (const auto& c : calls) finals += c == "onExportComplete()" || c.rfind("onExportError(", 0) == 0;
    EXPECT_EQ(finals, 1);
    if (calls.back() == "onExportComplete()") {
        EXPECT_TRUE(decodeVideo(output, false).opened);
    } else {
        EXPECT_TRUE(readFile(output) == "an earlier export");
    }
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
}

TEST_F(ExportPipeline, SuccessReplacesAnEarlierOutput) {
    auto output = out / "again.mp4";
    writeFile(output, "an earlier export");
    auto calls = exportTo(fixture("silent.mp4"), output);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    EXPECT_EQ(decodeVideo(output, false).times.size(), 25u);
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"again.mp4"});
}

TEST_F(ExportPipeline, TwoExportsAtOnceRunIndependently) {
    fake.app->currentVideoURL = fixture("src.mp4");
    fake.dialogs->answers = {out / "a.mp4", out / "b.mp4"};
    fake.app->exportVideo({{"cropPreset", "1:1"}});
    fake.app->exportVideo(json::object());
    waitForWork();
    int complete = 0;
    for (const auto& c : fake.page->calls) complete += c == "onExportComplete()";
    EXPECT_EQ(complete, 2);
    EXPECT_EQ(decodeVideo(out / "a.mp4", false).width, 180);
    EXPECT_EQ(decodeVideo(out / "b.mp4", false).width, 320);
    EXPECT_EQ(fileNames(out.path()), (std::vector<std::string>{"a.mp4", "b.mp4"}));
}

TEST_F(ExportPipeline, OverlayListOfAnyShapeDoesNotStopTheExport) {
    json many = json::array();
    for (int i = 0; i < 3000; ++i)
        many.push_back({{"type", i % 3 ? "text" : "wobble"},
                        {"text", "x"},
                        {"xPercent", 1e308},
                        {"fontSizePercent", -5},
                        {"timeStartPercent", "soon"}});
    many.push_back({{"type", "image"}, {"imageId", "img_NOTTHERE"}});
    auto output = out / "many.mp4";
    auto calls =
        exportTo(fixture("silent.mp4"), output, {{"textObjects", many}, {"previewHeight", 0}, {"cropPreset", 7}});
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "onExportComplete()");
    EXPECT_EQ(decodeVideo(output, false).times.size(), 25u);
}

}  // namespace
}  // namespace tamo::test
