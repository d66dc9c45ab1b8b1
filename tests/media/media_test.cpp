// Opening media: openVideo end to end through tamovid-headless on real files and on what is none.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/media_fixtures.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

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

// Good clips reach the page upright with their length; what is no playable regular file (sound alone,
// a playlist or concat list naming a good clip among them) is refused and the clip shown before stays current.
TEST(OpenVideo, HeadlessOpeningOfGoodAndRefusedFiles) {
    TempDir dir;
    auto at = [&dir](const char* name) { return shellQuoted(dir / name); };
    const auto good = dir / "nyári út 1.mp4";
    ASSERT_TRUE(makeClip(good, 320, 180, 1.32));
    ASSERT_TRUE(ffmpeg("-i " + at("nyári út 1.mp4") + " -c copy -metadata:s:v:0 rotate=90 " + at("portrait.mp4")));
    ASSERT_TRUE(makeClip(dir / "silent.mkv", 160, 90, 0.68, false));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a aac " + at("tone.m4a")));
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=s=32x32 -frames:v 1 " + at("cover.png")));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=0.5 -i " + at("cover.png") +
                       " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic " + at("song.mp3")));
    writeFile(dir / "list.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:1.3,\n" + good.string() + "\n");
    writeFile(dir / "concat.mp4", "ffconcat version 1.0\nfile '" + good.string() + "'\n");
    writeFile(dir / "notes.mp4", "nem videó");
    writeFile(dir / "cut.mp4", readFile(good).substr(0, 3000));
    std::filesystem::create_directory(dir / "folder.mp4");
    ASSERT_EQ(mkfifo((dir / "pipe.mp4").c_str(), 0600), 0);  // opening it would wait for a writer

    std::vector<nlohmann::json> input = {
        choose(good),       swift("openVideo"),           choose(dir / "silent.mkv"),
        swift("openVideo"), choose(dir / "portrait.mp4"), swift("openVideo", {{"x", 1}})};
    for (const auto& f : {dir / "tone.m4a", dir / "song.mp3", dir / "list.m3u8", dir / "concat.mp4", dir / "notes.mp4",
                          dir / "cut.mp4", dir / "folder.mp4", dir / "pipe.mp4", dir / "gone.mp4"})
        input.insert(input.end(), {choose(f), swift("openVideo")});
    input.insert(input.end(), {chooseCancel(), swift("openVideo"), choose(dir / "p.tamovid"),
                               swift("saveProject", nlohmann::json::object())});
    auto run = runHeadless(input);
    ASSERT_FALSE(run.timedOut);

    auto loaded = callsOf(run, "onVideoLoaded");
    ASSERT_EQ(loaded.size(), 3u);
    auto first = payloadOf(loaded[0]);
    EXPECT_EQ(first["url"], "file://" + dir.path().string() + "/ny%C3%A1ri%20%C3%BAt%201.mp4");
    EXPECT_EQ(first["width"], 320.0);
    EXPECT_EQ(first["height"], 180.0);
    EXPECT_NEAR(first["duration"].get<double>(), 1.32, 0.03);
    EXPECT_EQ(payloadOf(loaded[1])["width"], 160.0);  // no sound is no reason to refuse
    EXPECT_NEAR(payloadOf(loaded[1])["duration"].get<double>(), 0.68, 0.03);
    EXPECT_EQ(payloadOf(loaded[2])["height"], 320.0);  // turned upright
    EXPECT_TRUE(run.hasLine("📹 Video loaded: nyári út 1.mp4 (320x180, 1.3s)"));

    const std::string notMedia = "onVideoError('A videó nem nyitható meg: a fájl nem olvasható médiafájl.')";
    EXPECT_EQ(callsOf(run, "onVideoError"),
              (std::vector<std::string>{
                  "onVideoError('Nincs videósáv a fájlban!')",
                  "onVideoError('Nincs videósáv a fájlban!')",  // a cover picture is no video track
                  notMedia,
                  notMedia,
                  notMedia,
                  notMedia,
                  "onVideoError('A videó nem nyitható meg: ez egy mappa, nem videófájl.')",
                  "onVideoError('A videó nem nyitható meg: nem közönséges fájl.')",
                  "onVideoError('A videó nem nyitható meg: a fájl nem található.')",
              }));
    EXPECT_EQ(nlohmann::json::parse(readFile(dir / "p.tamovid"))["videoPath"], (dir / "portrait.mp4").string());
}

}  // namespace
}  // namespace tamo::test
