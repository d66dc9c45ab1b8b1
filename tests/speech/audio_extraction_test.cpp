// Sound extraction from real media files, checked by decoding the result with ffmpeg.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "platform/number_text.h"
#include "speech/audio_duration.h"
#include "speech/audio_extraction.h"
#include "speech_fixtures.h"

namespace tamo::speech {
namespace {

using test::makeMedia;
using test::probeAudio;
using test::TempDir;

const std::string kPicture = "-f lavfi -i testsrc2=s=160x90:r=25:d=2 ";
const std::string kTone = "-f lavfi -i sine=f=440:d=2 ";

ExtractionPlan planFor(const std::filesystem::path& video) {
    auto planned = planAudioExtraction(video);
    EXPECT_TRUE(planned) << video;
    return planned ? *planned : ExtractionPlan{};
}

struct SourceCase {
    const char* name;
    std::string ffmpegArguments;
    std::string file;
    bool copied;  // AAC in the source: packets copied, channels kept
    int channels;
};

TEST(AudioExtraction, SoundOfEveryKindEndsAsAudibleAacOfTheSameLength) {
    TempDir dir;
    std::vector<SourceCase> cases = {
        {"aac stereo in mp4", kPicture + kTone + "-ac 2 -c:v libx264 -c:a aac -shortest", "aac.mp4", true, 2},
        {"aac in mpeg-ts (ADTS framing)", kTone + "-c:a aac -f mpegts", "adts.ts", true, 1},
        {"mp3 in mkv", kPicture + kTone + "-c:v libx264 -c:a libmp3lame -shortest", "mp3.mkv", false, 1},
        {"pcm in mov, 8 kHz", kPicture + kTone + "-c:v libx264 -c:a pcm_s16le -ar 8000 -shortest", "pcm.mov", false, 1},
        {"sound only, wav stereo", kTone + "-ac 2", "tone.wav", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto source = dir / c.file;
        ASSERT_TRUE(makeMedia(c.ffmpegArguments, source));
        ExtractionPlan plan = planFor(source);
        EXPECT_EQ(plan.copyAac, c.copied);
        EXPECT_NEAR(plan.durationSeconds, 2.0, 0.15);

        auto output = dir / (std::string("whisper_") + c.file + ".m4a");
        auto result = extractAudio(plan, output);
        ASSERT_TRUE(result) << result.error();
        auto probed = probeAudio(output);
        ASSERT_TRUE(probed);
        EXPECT_EQ(probed->codec, "aac");
        EXPECT_EQ(probed->channels, c.channels);
        EXPECT_NEAR(probed->seconds, 2.0, 0.15);
        EXPECT_GT(probed->meanVolumeDb, -30.0);  // the tone is there, not silence
    }
}

TEST(AudioExtraction, AnUploadOverTheLimitIsEncodedSmallerToFit) {
    TempDir dir;
    auto source = dir / "loud.mp4";
    ASSERT_TRUE(makeMedia("-f lavfi -i sine=f=300:d=6 -ac 2 -c:a aac -b:a 192k", source));
    ExtractionPlan plan = planFor(source);
    ASSERT_TRUE(plan.copyAac);
    const std::size_t limit = 30000;  // the copy would be about 140 kB
    ASSERT_GT(std::filesystem::file_size(source), limit);

    auto output = dir / "whisper_small.m4a";
    auto result = extractAudio(plan, output, CancelFlag(), limit);
    ASSERT_TRUE(result) << result.error();
    EXPECT_LE(std::filesystem::file_size(output), limit);
    auto probed = probeAudio(output);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codec, "aac");
    EXPECT_EQ(probed->channels, 1);
    EXPECT_NEAR(probed->seconds, 6.0, 0.2);
    EXPECT_GT(probed->meanVolumeDb, -30.0);
}

TEST(AudioExtraction, FilesWithoutReadableSoundAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    auto silentVideo = dir / "silent.mp4";
    ASSERT_TRUE(makeMedia(kPicture + "-c:v libx264", silentVideo));
    auto garbage = dir / "garbage.mp4";
    std::ofstream(garbage) << "this is not a video at all";
    auto empty = dir / "empty.mp4";
    std::ofstream{empty};

    for (const auto& path : {silentVideo, garbage, empty, dir / "missing.mp4"}) {
        auto planned = planAudioExtraction(path);
        ASSERT_FALSE(planned) << path;
        EXPECT_EQ(planned.error(), "Nincs hangsáv a videóban!") << path;
    }
}

TEST(AudioExtraction, AFailedExtractionLeavesNoFileBehind) {
    TempDir dir;
    auto source = dir / "tone.mkv";
    ASSERT_TRUE(makeMedia(kTone + "-c:a libmp3lame", source));
    ExtractionPlan plan = planFor(source);

    // The source goes away between the check and the extraction.
    std::filesystem::remove(source);
    auto output = dir / "whisper_gone.m4a";
    EXPECT_FALSE(extractAudio(plan, output));
    EXPECT_FALSE(std::filesystem::exists(output));

    // The source turns into something else: a truncated file that still opens.
    ASSERT_TRUE(makeMedia(kTone + "-c:a aac", dir / "cut.mp4"));
    ExtractionPlan cutPlan = planFor(dir / "cut.mp4");
    std::filesystem::resize_file(dir / "cut.mp4", 0);
    EXPECT_FALSE(extractAudio(cutPlan, output));
    EXPECT_FALSE(std::filesystem::exists(output));

    // The temporary directory cannot be written.
    ASSERT_TRUE(makeMedia(kTone + "-c:a libmp3lame", dir / "again.mkv"));
    EXPECT_FALSE(extractAudio(planFor(dir / "again.mkv"), dir / "no/such/dir/whisper.m4a"));
}

// Decoded level of a stretch of a file, by ffmpeg's volumedetect; -1000 for digital silence.
double meanVolumeBetween(const std::filesystem::path& file, double from, double to) {
    auto out = test::runCommand("ffmpeg -nostdin -hide_banner -ss " + fixedDecimalText(from, 3) + " -t " +
                                fixedDecimalText(to - from, 3) + " -i " + test::quoted(file) +
                                " -af volumedetect -f null - 2>&1");
    std::smatch m;
    if (!out || !std::regex_search(*out, m, std::regex("mean_volume: (-?[0-9.]+|-inf) dB"))) return 0;
    double level = 0;
    if (m[1] == "-inf") return -1000;
    return parseDecimalText(m.str(1).c_str(), level) ? level : 0;
}

// Sound that starts 2 s into the picture, or has a hole: the file keeps the picture's timeline,
// so the transcribed times are the picture's times.
TEST(AudioExtraction, SoundKeepsItsPlaceOnThePicturesTimeline) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string arguments;
        double seconds;
        double silentFrom, silentTo, loudFrom, loudTo;
    };
    const std::vector<Case> cases = {
        {"late.mp4", kPicture + "-itsoffset 2 -f lavfi -i sine=f=440:d=1 -t 3 -c:v libx264 -c:a aac", 3.0, 0.1, 1.9,
         2.1, 2.9},
        {"hole.mkv", "-f lavfi -i sine=f=440:d=1.5 -af \"asetpts='if(gte(T,1),PTS+0.5/TB,PTS)'\" -c:a pcm_s16le", 2.0,
         1.05, 1.45, 1.55, 1.95},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto source = dir / c.name;
        ASSERT_TRUE(makeMedia(c.arguments, source));
        ExtractionPlan plan = planFor(source);
        EXPECT_FALSE(plan.copyAac);  // a copy would start the sound at 0
        auto output = dir / (std::string("whisper_") + c.name + ".m4a");
        auto result = extractAudio(plan, output);
        ASSERT_TRUE(result) << result.error();
        auto probed = probeAudio(output);
        ASSERT_TRUE(probed);
        EXPECT_NEAR(probed->seconds, c.seconds, 0.1);
        EXPECT_LT(meanVolumeBetween(output, c.silentFrom, c.silentTo), -60.0);
        EXPECT_GT(meanVolumeBetween(output, c.loudFrom, c.loudTo), -30.0);
    }
}

// Two sound tracks: mono 1 s first, stereo 3 s second (marked as the default, and richer, so a
// "best stream" guess would take it). The first is the file's sound for every speech feature.
TEST(AudioExtraction, TheFirstSoundTrackIsTheOneUsed) {
    TempDir dir;
    auto two = dir / "two.mkv";
    ASSERT_TRUE(makeMedia(kPicture + "-f lavfi -i sine=f=440:d=1 -f lavfi -i sine=f=1000:d=3 -map 0 -map 1 -map 2 "
                                     "-c:v libx264 -c:a libmp3lame -b:a:0 32k -b:a:1 192k -ac:a:0 1 -ac:a:1 2 "
                                     "-disposition:a:0 0 -disposition:a:1 default",
                          two));
    ExtractionPlan plan = planFor(two);
    EXPECT_EQ(plan.audioStream, 1);
    auto output = dir / "whisper_two.m4a";
    auto result = extractAudio(plan, output);
    ASSERT_TRUE(result) << result.error();
    auto probed = probeAudio(output);
    ASSERT_TRUE(probed);
    EXPECT_NEAR(probed->seconds, 1.0, 0.15);

    auto length = decodedAudioDuration(two);
    ASSERT_TRUE(length);
    EXPECT_NEAR(*length, 1.0, 0.05);
}

TEST(AudioDuration, CountsWhatDecodesAndRefusesWhatHoldsNoSound) {
    TempDir dir;
    auto mp3 = dir / "n.mp3";
    ASSERT_TRUE(makeMedia("-f lavfi -i sine=f=330:d=2.3 -c:a libmp3lame -b:a 32k", mp3));
    auto seconds = decodedAudioDuration(mp3);
    ASSERT_TRUE(seconds);
    EXPECT_NEAR(*seconds, 2.3, 0.06);
    auto picture = dir / "p.mp4";
    ASSERT_TRUE(makeMedia(kPicture + "-c:v libx264", picture));
    EXPECT_FALSE(decodedAudioDuration(picture));
    std::ofstream(dir / "junk.mp3") << std::string(3000, 'x');
    EXPECT_FALSE(decodedAudioDuration(dir / "junk.mp3"));
    EXPECT_FALSE(decodedAudioDuration(dir / "missing.mp3"));
}

}  // namespace
}  // namespace tamo::speech
