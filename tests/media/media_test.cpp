// Opening media: the prober on real files, and openVideo end to end through tamovid-headless.
#include <gtest/gtest.h>
#include <sys/stat.h>
extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/media_fixtures.h"
#include "media/media_probe.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

// Files shared by the tests, made once.
const TempDir& media() {
    static TempDir* dir = [] {
        auto* d = new TempDir();
        auto at = [d](const char* name) { return shellQuoted(*d / name); };
        EXPECT_TRUE(makeClip(*d / "nyári út 1.mp4", 320, 180, 1.32));
        EXPECT_TRUE(ffmpeg("-i " + at("nyári út 1.mp4") + " -c copy -metadata:s:v:0 rotate=90 " + at("portrait.mp4")));
        EXPECT_TRUE(makeClip(*d / "silent.mkv", 160, 90, 0.68, false));
        EXPECT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a aac " + at("tone.m4a")));
        EXPECT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=32x32 -frames:v 1 " + at("cover.png")));
        // An mp3 with a cover picture: the picture is not the file's video.
        EXPECT_TRUE(ffmpeg("-f lavfi -i sine=d=0.5 -i " + at("cover.png") +
                           " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic " + at("song.mp3")));
        return d;
    }();
    return *dir;
}

TEST(MediaProbe, UprightSizeLengthAndSoundOfRealFiles) {
    auto landscape = probeMedia(media() / "nyári út 1.mp4"), portrait = probeMedia(media() / "portrait.mp4");
    auto silent = probeMedia(media() / "silent.mkv"), tone = probeMedia(media() / "tone.m4a");
    auto song = probeMedia(media() / "song.mp3");
    ASSERT_TRUE(landscape && portrait && silent && tone && song && landscape->duration && silent->duration);
    EXPECT_EQ(std::tuple(landscape->width, landscape->height, landscape->rotationDegrees), std::tuple(320, 180, 0));
    EXPECT_NEAR(*landscape->duration, 1.32, 0.03);  // the last AAC frame may run a little past the picture
    EXPECT_EQ(landscape->audioCodecId, AV_CODEC_ID_AAC);
    EXPECT_EQ(std::tuple(portrait->width, portrait->height), std::tuple(180, 320));
    EXPECT_EQ(portrait->rotationDegrees % 180, 90);
    EXPECT_TRUE(silent->hasVideo && !silent->hasAudio);
    EXPECT_NEAR(*silent->duration, 0.68, 0.03);
    EXPECT_TRUE(!tone->hasVideo && tone->hasAudio);
    EXPECT_FALSE(song->hasVideo) << "a cover picture is not a video track";
    EXPECT_EQ(song->audioCodecId, AV_CODEC_ID_MP3);
    EXPECT_FALSE(probeMedia(media().path()));
}

std::vector<std::string> callsOf(const HeadlessResult& run, const std::string& function) {
    std::vector<std::string> out;
    for (const auto& call : run.scriptCalls())
        if (call.rfind(function + "(", 0) == 0) out.push_back(call);
    return out;
}

nlohmann::json payloadOf(const std::string& call) {
    auto open = call.find('(');
    return nlohmann::json::parse(call.substr(open + 1, call.size() - open - 2));
}

// Good clips reach the page upright; what is no playable regular file (a playlist or concat list
// naming a good clip among them) is refused and the clip shown before stays current.
TEST(OpenVideo, HeadlessOpeningOfGoodAndRefusedFiles) {
    TempDir dir;
    const auto good = media() / "nyári út 1.mp4";
    writeFile(dir / "list.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:1.3,\n" + good.string() + "\n");
    writeFile(dir / "concat.mp4", "ffconcat version 1.0\nfile '" + good.string() + "'\n");
    writeFile(dir / "notes.mp4", "nem videó");
    writeFile(dir / "cut.mp4", readFile(good).substr(0, 3000));
    std::filesystem::create_directory(dir / "folder.mp4");
    ASSERT_EQ(mkfifo((dir / "pipe.mp4").c_str(), 0600), 0);  // opening it would wait for a writer

    std::vector<nlohmann::json> input = {choose(good), swift("openVideo"), choose(media() / "portrait.mp4"),
                                         swift("openVideo", {{"x", 1}})};
    for (const auto& f : {media() / "tone.m4a", dir / "list.m3u8", dir / "concat.mp4", dir / "notes.mp4",
                          dir / "cut.mp4", dir / "folder.mp4", dir / "pipe.mp4", dir / "gone.mp4"})
        input.insert(input.end(), {choose(f), swift("openVideo")});
    input.insert(input.end(), {chooseCancel(), swift("openVideo"), choose(dir / "p.tamovid"),
                               swift("saveProject", nlohmann::json::object())});
    auto run = runHeadless(input);
    ASSERT_FALSE(run.timedOut);

    auto loaded = callsOf(run, "onVideoLoaded");
    ASSERT_EQ(loaded.size(), 2u);
    auto first = payloadOf(loaded[0]);
    EXPECT_EQ(first["url"], "file://" + media().path().string() + "/ny%C3%A1ri%20%C3%BAt%201.mp4");
    EXPECT_EQ(first["width"], 320.0);
    EXPECT_EQ(first["height"], 180.0);
    EXPECT_NEAR(first["duration"].get<double>(), 1.32, 0.03);
    EXPECT_EQ(payloadOf(loaded[1])["height"], 320.0);
    EXPECT_TRUE(run.hasLine("📹 Video loaded: nyári út 1.mp4 (320x180, 1.3s)"));

    const std::string notMedia = "onVideoError('A videó nem nyitható meg: a fájl nem olvasható médiafájl.')";
    EXPECT_EQ(callsOf(run, "onVideoError"),
              (std::vector<std::string>{
                  "onVideoError('Nincs videósáv a fájlban!')",
                  notMedia,
                  notMedia,
                  notMedia,
                  notMedia,
                  "onVideoError('A videó nem nyitható meg: ez egy mappa, nem videófájl.')",
                  "onVideoError('A videó nem nyitható meg: nem közönséges fájl.')",
                  "onVideoError('A videó nem nyitható meg: a fájl nem található.')",
              }));
    EXPECT_EQ(nlohmann::json::parse(readFile(dir / "p.tamovid"))["videoPath"], (media() / "portrait.mp4").string());
}

}  // namespace
}  // namespace tamo::test
