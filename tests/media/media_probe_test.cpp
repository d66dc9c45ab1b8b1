// The prober on real files made by the ffmpeg CLI: sizes after rotation, lengths, sound, and files that
// are not usable video at all.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

#include "media/ffmpeg_ptr.h"
#include "media/media_fixtures.h"
#include "media/media_probe.h"

namespace tamo::test {
namespace {

class MediaProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        ASSERT_TRUE(makeClip(file("landscape.mp4"), 320, 180, 1.32));
        ASSERT_TRUE(ffmpeg("-i " + shellQuoted(file("landscape.mp4")) + " -c copy -metadata:s:v:0 rotate=90 " +
                           shellQuoted(file("rot90.mp4"))));
        ASSERT_TRUE(ffmpeg("-i " + shellQuoted(file("landscape.mp4")) + " -c copy -metadata:s:v:0 rotate=270 " +
                           shellQuoted(file("rot270.mp4"))));
        ASSERT_TRUE(ffmpeg("-i " + shellQuoted(file("landscape.mp4")) + " -c copy -metadata:s:v:0 rotate=180 " +
                           shellQuoted(file("rot180.mp4"))));
        ASSERT_TRUE(makeClip(file("silent.mkv"), 160, 90, 0.68, false));
        ASSERT_TRUE(makeClip(file("odd.mov"), 162, 94, 2.04, false));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a aac " + shellQuoted(file("tone.m4a"))));
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=32x32 -frames:v 1 " + shellQuoted(file("cover.png"))));
        // An mp3 with a cover picture: the picture is not the file's video.
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=1 -i " + shellQuoted(file("cover.png")) +
                           " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic " +
                           shellQuoted(file("song.mp3"))));
        std::string whole = readFile(file("landscape.mp4"));
        writeFile(file("head.mp4"), whole.substr(0, 4000));
        writeFile(file("empty.mp4"), "");
        writeFile(file("notes.mp4"), "Ez nem videó, csak egy szöveg.\n");
        std::filesystem::create_directory(file("folder.mp4"));
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static std::filesystem::path file(const std::string& name) { return *dir_ / name; }
    static std::unique_ptr<TempDir> dir_;
};
std::unique_ptr<TempDir> MediaProbeTest::dir_;

struct VideoCase {
    const char* file;
    double width, height;
    int rotation;  // -1: a quarter turn either way (the tag's direction is the muxer's business)
    double duration;
    bool hasAudio;
};

TEST_F(MediaProbeTest, VideoFilesReportUprightSizeLengthAndSound) {
    const VideoCase cases[] = {
        {"landscape.mp4", 320, 180, 0, 1.32, true}, {"rot90.mp4", 180, 320, -1, 1.32, true},
        {"rot270.mp4", 180, 320, -1, 1.32, true},   {"rot180.mp4", 320, 180, 180, 1.32, true},
        {"silent.mkv", 160, 90, 0, 0.68, false},    {"odd.mov", 162, 94, 0, 2.04, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto info = probeMedia(file(c.file));
        ASSERT_TRUE(info);
        EXPECT_TRUE(info->hasVideo);
        EXPECT_EQ(info->width, c.width);
        EXPECT_EQ(info->height, c.height);
        if (c.rotation >= 0)
            EXPECT_EQ(info->rotationDegrees, c.rotation);
        else
            EXPECT_TRUE(info->rotationDegrees == 90 || info->rotationDegrees == 270) << info->rotationDegrees;
        ASSERT_TRUE(info->duration);
        // The tone's last AAC frame may run a few milliseconds past the picture.
        EXPECT_NEAR(*info->duration, c.duration, 0.03);
        EXPECT_EQ(info->hasAudio, c.hasAudio);
        EXPECT_EQ(info->audioCodecId, c.hasAudio ? AV_CODEC_ID_AAC : AV_CODEC_ID_NONE);
    }
}

TEST_F(MediaProbeTest, OppositeQuarterTurnsAreTold) {
    auto a = probeMedia(file("rot90.mp4")), b = probeMedia(file("rot270.mp4"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->rotationDegrees + b->rotationDegrees, 360);
}

TEST_F(MediaProbeTest, SoundOnlyFilesHaveNoVideo) {
    auto tone = probeMedia(file("tone.m4a"));
    ASSERT_TRUE(tone);
    EXPECT_FALSE(tone->hasVideo);
    EXPECT_TRUE(tone->hasAudio);
    EXPECT_EQ(tone->audioCodecId, AV_CODEC_ID_AAC);
    ASSERT_TRUE(tone->duration);
    EXPECT_NEAR(*tone->duration, 1.0, 0.05);

    auto song = probeMedia(file("song.mp3"));
    ASSERT_TRUE(song);
    EXPECT_FALSE(song->hasVideo) << "a cover picture is not a video track";
    EXPECT_EQ(song->audioCodecId, AV_CODEC_ID_MP3);
}

TEST_F(MediaProbeTest, UnusableFilesGiveNoVideo) {
    for (const char* name : {"head.mp4", "empty.mp4", "notes.mp4", "folder.mp4", "missing.mp4"}) {
        SCOPED_TRACE(name);
        auto info = probeMedia(file(name));
        EXPECT_TRUE(!info || !info->hasVideo);
    }
    EXPECT_FALSE(probeMedia(file("missing.mp4")));
    EXPECT_FALSE(probeMedia(file("folder.mp4")));
}

}  // namespace
}  // namespace tamo::test

namespace tamo {
namespace {

// FFmpeg reports file-system failures as negated errno values; those reach the page (the merge's
// error call) in Hungarian, and FFmpeg's own codes keep a description.
TEST(FfmpegErrorText, FileFailuresAreHungarian) {
    EXPECT_EQ(av::errorText(AVERROR(ENOSPC)), "Nincs elég szabad hely a lemezen.");
    EXPECT_EQ(av::errorText(AVERROR(EACCES)), "Nincs jogosultság a fájlhoz vagy a mappájához.");
    EXPECT_EQ(av::errorText(AVERROR(EROFS)), "A célhely csak olvasható.");
    EXPECT_EQ(av::errorText(AVERROR_INVALIDDATA), "A fájl hibás vagy ismeretlen formátumú adatot tartalmaz.");
    std::string other = av::errorText(AVERROR_BUG);
    EXPECT_FALSE(other.empty());
    EXPECT_EQ(other.find("Fájlhiba"), std::string::npos) << "not every error is a file error";
}

}  // namespace
}  // namespace tamo
