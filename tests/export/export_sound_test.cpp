// The export's sound against its picture, and how the export and merge threads end when things
// fail: the outputs decoded, the tones located, the page calls counted.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "bridge/script_calls.h"
#include "export/audio_track_reader.h"
#include "export/export_faults.h"
#include "export/export_run.h"
#include "media_test_support.h"
#include "platform/log.h"
#include "support/fakes.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tamo::test {
namespace {

using nlohmann::json;

// One AAC frame at 48 kHz: how far a sound may be off its place.
constexpr double kOneAudioFrame = 1024.0 / 48000;

// Where a tone is present, in 5 ms steps: the start of every run of windows whose level is over
// half of `level`, and where each run ends.
struct ToneRun {
    double from, to;
};
std::vector<ToneRun> toneRuns(const std::vector<float>& s, int rate, double frequency, double level) {
    std::vector<ToneRun> runs;
    const double step = 0.005;
    bool inside = false;
    for (double t = 0; (t + step) * rate <= s.size(); t += step) {
        bool on = toneAmplitude(s, rate, frequency, t, t + step) > level / 2;
        if (on && !inside) runs.push_back({t, t});
        if (on) runs.back().to = t + step;
        inside = on;
    }
    return runs;
}

class ExportSound : public ::testing::Test {
protected:
    static inline TempDir* fixtures = nullptr;

    static void SetUpTestSuite() {
        fixtures = new TempDir();
        auto f = [](const std::string& name) { return (*fixtures / name).string(); };
        const std::string picture = "-f lavfi -i testsrc2=s=160x90:r=25:d=3 ";
        const std::string h264 = "-c:v libx264 -preset ultrafast -pix_fmt yuv420p ";
        // Sound that starts 2 s into the picture: in MP4 through an edit list (AAC, so the first
        // packet time is 1.98 s with the encoder delay), in Matroska by plain timestamps.
        ASSERT_TRUE(ffmpeg(picture + "-itsoffset 2 -f lavfi -i sine=f=1000:d=1:sample_rate=48000 " + h264 +
                           "-c:a aac " + f("late.mp4")));
        ASSERT_TRUE(ffmpeg(picture + "-itsoffset 2 -f lavfi -i sine=f=1000:d=1:sample_rate=44100 " + h264 +
                           "-c:a libmp3lame " + f("late.mkv")));
        // A tone from 0 with its timestamps moved on by 0.5 s after 1 s: a hole from 1.0 to 1.5 s.
        ASSERT_TRUE(ffmpeg(picture +
                           "-f lavfi -i sine=f=1000:d=1.5:sample_rate=48000 "
                           "-af \"asetpts='if(gte(T\\,1)\\,PTS+0.5/TB\\,PTS)'\" " +
                           h264 + "-c:a pcm_s16le " + f("hole.mkv")));
        // Two sound tracks: 440 Hz first; 1000 Hz second, the one marked as the default.
        ASSERT_TRUE(ffmpeg(picture + "-f lavfi -i sine=f=440:d=3 -f lavfi -i sine=f=1000:d=3 -map 0 -map 1 -map 2 " +
                           h264 + "-c:a aac -b:a:0 32k -b:a:1 192k -disposition:a:0 0 -disposition:a:1 default " +
                           f("two.mp4")));
        // Transport streams: the picture's clock starts at 1.4 s. One whose sound begins 1 s after
        // the picture; two joined end to end, whose clock starts over in the middle.
        ASSERT_TRUE(ffmpeg(picture + "-itsoffset 1 -f lavfi -i sine=f=1000:d=1:sample_rate=48000 " + h264 +
                           "-c:a aac -f mpegts " + f("cam.ts")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1:sample_rate=48000 -c:a aac -f mpegts " + f("part1.ts")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=1000:d=1:sample_rate=48000 -c:a aac -f mpegts " + f("part2.ts")));
        writeFile(*fixtures / "reset.ts", readFile(*fixtures / "part1.ts") + readFile(*fixtures / "part2.ts"));
        // A finished temporary picture for the merge, and one in a codec MP4 cannot hold.
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25:d=1 " + h264 + f("picture.mp4")));
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=64x36:r=25:d=0.4 -c:v ffv1 " + f("picture_ffv1.mkv")));
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }
    void TearDown() override { exportfault::disarm(); }

    TempDir out;
    FakeApp fake;

    std::filesystem::path fixture(const std::string& name) const { return *fixtures / name; }

    std::vector<std::string> exportTo(const std::filesystem::path& source, const std::filesystem::path& output) {
        fake.app->currentVideoURL = source;
        fake.dialogs->answers.push_back(output);
        fake.app->exportVideo(json::object());
        waitForWork();
        return fake.page->calls;
    }

    // The merge alone, over a copy of a finished temporary picture (which it deletes), told as the
    // page would hear it: the 95 when the writing starts, then how it ended.
    std::vector<std::string> mergeTo(const std::string& picture, const std::filesystem::path& output) {
        auto temp = out / "_temp_video_merge.mp4";
        writeFile(temp, readFile(fixture(picture)));
        std::vector<std::string> calls;
        Outcome<> merged = mergeSound(temp, fixture("late.mp4"), std::nullopt, output, 0, nullptr,
                                      [&] { calls.push_back(scriptcall::onExportProgress(95)); });
        if (merged) {
            calls.push_back(scriptcall::onExportComplete());
        } else {
            calls.push_back(scriptcall::onExportError(merged.error()));
            if (!merged.failure().logLine.empty()) logLine(merged.failure().logLine);
        }
        EXPECT_FALSE(std::filesystem::exists(temp)) << "the temporary picture must go in every outcome";
        return calls;
    }

    void waitForWork() { ASSERT_TRUE(settle(fake, std::chrono::seconds(120))) << "export did not end"; }
};

TEST_F(ExportSound, SoundStaysWhereTheSourceHasItAgainstThePicture) {
    struct Case {
        const char* source;
        std::vector<ToneRun> runs;  // where the 1000 Hz tone is in the source, from the first picture
        ToneRun silent;             // a stretch without it
    };
    for (const Case& c : {Case{"late.mp4", {{2.0, 3.0}}, {0.05, 1.95}}, Case{"late.mkv", {{2.0, 3.0}}, {0.05, 1.95}},
                          Case{"hole.mkv", {{0.0, 1.0}, {1.5, 2.0}}, {1.05, 1.45}}}) {
        SCOPED_TRACE(c.source);
        fake.page->calls.clear();
        auto output = out / (std::string("out_") + c.source + ".mp4");
        auto calls = exportTo(fixture(c.source), output);
        ASSERT_FALSE(calls.empty());
        ASSERT_EQ(calls.back(), "onExportComplete()");
        auto sound = decodeAudio(output);
        ASSERT_TRUE(sound.present);
        EXPECT_NEAR(sound.seconds(), c.runs.back().to, 0.05);
        auto runs = toneRuns(sound.left, sound.sampleRate, 1000, 0.125);
        ASSERT_EQ(runs.size(), c.runs.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            EXPECT_NEAR(runs[i].from, c.runs[i].from, kOneAudioFrame) << "run " << i;
            EXPECT_NEAR(runs[i].to, c.runs[i].to, kOneAudioFrame) << "run " << i;
        }
        // Silence where the source has none of its sound, at the tone's own level elsewhere.
        EXPECT_LT(toneAmplitude(sound.left, sound.sampleRate, 1000, c.silent.from, c.silent.to), 0.003);
        EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 1000, c.runs[0].from + 0.05, c.runs[0].to - 0.05),
                    0.125, 0.02);
    }
}

TEST_F(ExportSound, TheFirstSoundTrackIsUsed) {
    {
        auto input = avformat_alloc_context();
        ASSERT_EQ(avformat_open_input(&input, fixture("two.mp4").c_str(), nullptr, nullptr), 0);
        avformat_find_stream_info(input, nullptr);
        // Only worth checking because the library's own choice is the other track.
        EXPECT_EQ(av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0), 2);
        avformat_close_input(&input);
    }
    auto output = out / "two_out.mp4";
    auto calls = exportTo(fixture("two.mp4"), output);
    ASSERT_FALSE(calls.empty());
    ASSERT_EQ(calls.back(), "onExportComplete()");
    auto sound = decodeAudio(output);
    ASSERT_TRUE(sound.present);
    EXPECT_NEAR(toneAmplitude(sound.left, sound.sampleRate, 440, 0.2, 2.8), 0.125, 0.02);
    EXPECT_LT(toneAmplitude(sound.left, sound.sampleRate, 1000, 0.2, 2.8), 0.005);
}

// The reader alone (the picture side has its own tests): read the whole timeline of a file.
std::vector<float> readTimeline(const std::filesystem::path& file, double origin) {
    auto reader = AudioTrackReader::open(file.string(), origin);
    EXPECT_TRUE(reader);
    std::vector<float> left;
    if (!reader) return left;
    std::vector<float> l(1000), r(1000);
    for (;;) {
        std::fill(l.begin(), l.end(), 0.0f);
        int got = reader->mixInto(l.data(), r.data(), 1000, 1.0f);
        left.insert(left.end(), l.begin(), l.begin() + got);
        if (got < 1000) break;
        if (left.size() > 48000u * 60) break;  // a runaway timeline fails below, not here
    }
    EXPECT_TRUE(reader->ended());
    return left;
}

TEST_F(ExportSound, TransportStreamSoundIsMeasuredFromThePictureAndSurvivesAClockReset) {
    {
        // The picture's clock starts at 1.4 s; the sound 1 s after it.
        auto left = readTimeline(fixture("cam.ts"), 1.4);
        auto runs = toneRuns(left, AudioTrackReader::kSampleRate, 1000, 0.125);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_NEAR(runs[0].from, 1.0, kOneAudioFrame);
        EXPECT_NEAR(runs[0].to, 2.0, kOneAudioFrame);
    }
    {
        // 1 s at 440 Hz, then the clock starts over with 1 s at 1000 Hz: the second part follows the
        // first one's end (each part read alone says where that is, encoder delay included).
        const int rate = AudioTrackReader::kSampleRate;
        auto part1 = readTimeline(fixture("part1.ts"), 1.4);
        auto part2 = toneRuns(readTimeline(fixture("part2.ts"), 1.4), rate, 1000, 0.125);
        ASSERT_EQ(part2.size(), 1u);
        const double joint = double(part1.size()) / rate;
        ASSERT_NEAR(joint, 1.0, 0.1);
        auto left = readTimeline(fixture("reset.ts"), 1.4);
        auto first = toneRuns(left, rate, 440, 0.125);
        auto second = toneRuns(left, rate, 1000, 0.125);
        ASSERT_EQ(first.size(), 1u);
        ASSERT_EQ(second.size(), 1u);
        EXPECT_NEAR(first[0].from, toneRuns(part1, rate, 440, 0.125).at(0).from, kOneAudioFrame);
        EXPECT_NEAR(second[0].from, joint + part2[0].from, kOneAudioFrame);
        EXPECT_NEAR(second[0].to, joint + part2[0].to, kOneAudioFrame);
    }
}

// ---------------------------------------------------------------- failures

TEST_F(ExportSound, APictureTheMergeCannotTakeFailsBeforeTheNinetyFive) {
    LogCapture log;
    auto output = out / "keep.mp4";
    writeFile(output, "an earlier export");
    auto calls = mergeTo("picture_ffv1.mkv", output);
    EXPECT_EQ(calls,
              std::vector<std::string>{"onExportError('Videó track hiba: a videó kódolása nem fér MP4 fájlba')"});
    EXPECT_EQ(readFile(output), "an earlier export");
    EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ExportSound, WritingFailuresReachThePageInHungarian) {
    LogCapture log;
    auto calls = mergeTo("picture.mp4", out / "gone" / "x.mp4");
    EXPECT_EQ(calls, (std::vector<std::string>{"onExportProgress(95)", "onExportError('A célmappa nem található')"}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"❌ Export failed: A célmappa nem található"});
    EXPECT_TRUE(fileNames(out.path()).empty());
}

TEST_F(ExportSound, MergeThatRunsOutOfMemoryEndsInOneCall) {
    auto output = out / "keep.mp4";
    writeFile(output, "an earlier export");
    struct Case {
        exportfault::Point point;
        std::exception_ptr what;
        std::vector<std::string> calls;
    };
    for (const Case& c : {Case{exportfault::Point::MergeWriting,
                               std::make_exception_ptr(std::bad_alloc()),
                               {"onExportProgress(95)", "onExportError('Nincs elég memória')"}}}) {
        exportfault::arm(c.point, c.what);
        EXPECT_EQ(mergeTo("picture.mp4", output), c.calls);
        EXPECT_EQ(readFile(output), "an earlier export");
        EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
    }
    // Unarmed, the same merge goes through.
    EXPECT_EQ(mergeTo("picture.mp4", output), (std::vector<std::string>{"onExportProgress(95)", "onExportComplete()"}));
    EXPECT_TRUE(decodeVideo(output, false).opened);
}

TEST_F(ExportSound, ExportThreadThatFailsEndsInOneCallAndLeavesNoFile) {
    auto output = out / "keep.mp4";
    writeFile(output, "an earlier export");
    struct Case {
        exportfault::Point point;
        std::exception_ptr what;
        std::vector<std::string> calls;
    };
    for (const Case& c : {Case{exportfault::Point::ExportThreadStart,
                               std::make_exception_ptr(
                                   std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again))),
                               {"onExportError('Writer hiba!')"}},
                          Case{exportfault::Point::ExportThread,
                               std::make_exception_ptr(std::bad_alloc()),
                               {"onExportProgress(0)", "onExportError('Writer hiba!')"}}}) {
        fake.page->calls.clear();
        exportfault::arm(c.point, c.what);
        EXPECT_EQ(exportTo(fixture("late.mp4"), output), c.calls);
        EXPECT_EQ(readFile(output), "an earlier export");
        EXPECT_EQ(fileNames(out.path()), std::vector<std::string>{"keep.mp4"});
    }
}

}  // namespace
}  // namespace tamo::test
