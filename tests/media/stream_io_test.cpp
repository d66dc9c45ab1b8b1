// Opening files for decoding and MPEG-4 files for writing: the stream that is chosen, the streams
// left unread, and the failures told apart.
#include <gtest/gtest.h>

#include "media/media_fixtures.h"
#include "media/mp4_output.h"
#include "media/stream_decoder.h"

namespace tamo::test {
namespace {

class StreamDecoding : public ::testing::Test {
protected:
    static inline TempDir* dir = nullptr;
    static std::string file(const std::string& name) { return (*dir / name).string(); }

    static void SetUpTestSuite() {
        dir = new TempDir();
        ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=32x32 -frames:v 1 " + shellQuoted(file("cover.png"))));
        // A song with a cover picture, and a clip whose sound comes before its picture in the file.
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=0.5 -i " + shellQuoted(file("cover.png")) +
                           " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic " +
                           shellQuoted(file("song.mp3"))));
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=64x36:r=10:d=0.5 -f lavfi -i sine=d=0.5 -map 1 -map 0 -c:v libx264 "
                   "-preset ultrafast -c:a aac " +
                   shellQuoted(file("sound_first.mkv"))));
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
};

TEST_F(StreamDecoding, ACoverPictureIsNoVideoAndTheSoundStillDecodes) {
    auto input = av::openInput(file("song.mp3"));
    ASSERT_TRUE(input);
    ASSERT_EQ(input->nb_streams, 2u);
    EXPECT_FALSE(av::playsPicture(*input->streams[1]));
    EXPECT_EQ(av::firstVideoStream(*input), -1);

    EXPECT_FALSE(av::openStreamDecoding(file("song.mp3"), AVMEDIA_TYPE_VIDEO));
    av::StreamDecoding sound = av::openStreamDecoding(file("song.mp3"), AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound.stream, 0);
    EXPECT_EQ(sound.decoder->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(sound.input->streams[1]->discard, AVDISCARD_ALL) << "the cover's packets would still be read";
}

TEST_F(StreamDecoding, StreamsAreChosenByKindInTheFilesOrder) {
    av::StreamDecoding picture = av::openStreamDecoding(file("sound_first.mkv"), AVMEDIA_TYPE_VIDEO, 2);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture.stream, 1);
    EXPECT_EQ(picture.decoder->width, 64);
    EXPECT_EQ(picture.decoder->height, 36);
    EXPECT_EQ(picture.decoder->thread_count, 2);
    EXPECT_EQ(picture.input->streams[0]->discard, AVDISCARD_ALL);
    EXPECT_NE(picture.input->streams[1]->discard, AVDISCARD_ALL);

    av::StreamDecoding sound = av::openStreamDecoding(file("sound_first.mkv"), AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound.stream, 0);

    // Only the formats of the whitelist open.
    EXPECT_FALSE(av::openStreamDecoding(file("sound_first.mkv"), AVMEDIA_TYPE_VIDEO, 1, "mov"));
    EXPECT_FALSE(av::openStreamDecoding(file("cover.png"), AVMEDIA_TYPE_VIDEO));
    EXPECT_FALSE(av::openStreamDecoding(file("missing.mp4"), AVMEDIA_TYPE_AUDIO));
}

TEST(Mp4Output, CreatingTheFileAndWritingTheHeaderFailSeparately) {
    TempDir dir;
    int error = 0;
    EXPECT_FALSE(av::allocateMp4Output(dir / "x.mp4", "no-such-muxer", &error));
    EXPECT_LT(error, 0);

    // A folder that does not exist: the file cannot be created.
    auto output = av::allocateMp4Output(dir / "missing" / "x.mp4", "mp4", &error);
    ASSERT_TRUE(output);
    EXPECT_EQ(error, 0);
    av::WriteStart start = av::startWriting(*output, dir / "missing" / "x.mp4");
    EXPECT_FALSE(start.fileCreated);
    EXPECT_EQ(start.error, AVERROR(ENOENT));

    // A container with no stream has no header to write, but the file was made.
    output = av::allocateMp4Output(dir / "empty.m4a", "ipod");
    ASSERT_TRUE(output);
    start = av::startWriting(*output, dir / "empty.m4a");
    EXPECT_TRUE(start.fileCreated);
    EXPECT_LT(start.error, 0);
    EXPECT_FALSE(start);
}

}  // namespace
}  // namespace tamo::test
