// Transcription failures against a fake speech service on 127.0.0.1 through the application object
// (fake page, main queue drained by hand); the sound extracted for transcription, decoded; and
// subtitle files. tamovid-headless runs the successful requests (speech_headless_test).
#include <gtest/gtest.h>

#include "bridge/speech_actions.h"
#include "media/media_fixtures.h"
#include "speech/audio_extraction.h"
#include "speech/fake_speech_server.h"
#include "speech/subtitle_writer.h"
#include "speech/transcription_request.h"
#include "support/fakes.h"

namespace tamo::speech {
namespace {

using test::FakeSpeechServer;
using test::TempDir;

const std::string kKey = "sk-test-7f3a9c";
const std::string kExtracting = R"(showWhisperStatus('<span class="ai-loading"></span> Hang kinyerése...', false))";
const std::string kCalling = R"(showWhisperStatus('<span class="ai-loading"></span> Whisper API hívás...', false))";
const std::string kPicture = "-f lavfi -i testsrc2=s=160x90:r=25:d=2 ";
const std::string kTone = "-f lavfi -i sine=f=440:d=2 ";

struct Media {
    TempDir dir;
    std::filesystem::path video = dir / "speech.mp4", silent = dir / "silent.mp4";
    Media() {
        EXPECT_TRUE(test::ffmpeg("-f lavfi -i sine=f=440:d=1 -c:a aac " + test::shellQuoted(video)));
        EXPECT_TRUE(test::ffmpeg(kPicture + "-c:v libx264 " + test::shellQuoted(silent)));
    }
};
const Media& media() {
    static Media m;
    return m;
}

// An application object with a fake page, a private temporary folder and settings pointing at the server.
struct Rig {
    TempDir dir;
    test::FakeApp fake;
    test::LogCapture log;
    SpeechSettings settings;
    explicit Rig(const FakeSpeechServer& server) {
        settings.baseUrl = server.baseUrl();
        settings.idleTimeoutSeconds = 1;
        settings.temporaryDirectory = dir.path();
    }
    std::vector<std::string> settle() {
        EXPECT_TRUE(test::settle(fake));
        for (const auto& line : log.lines()) EXPECT_EQ(line.find(kKey), std::string::npos) << line;
        return fake.page->calls;
    }
};

TEST(Transcription, EveryFailureEndsInOneHungarianOrServiceErrorAndNoStrayFile) {
    const std::pair<FakeSpeechServer::Answer, std::string> cases[] = {
        {FakeSpeechServer::json(R"({"error":{"message":"Incorrect API key: 'sk-te***9c'."}})", 401),
         "Incorrect API key: \\'sk-te***9c\\'."},
        {FakeSpeechServer::bytes("<html><h1>502 Bad Gateway</h1></html>", 502, "text/html"), "Érvénytelen API válasz!"},
        {FakeSpeechServer::json(R"({"text":"Szia"})"), "Nem találhatók szegmensek!"},
        {nullptr, "A kérés időtúllépés miatt megszakadt."},
        {FakeSpeechServer::cutShort(), "A kapcsolat megszakadt."},
    };
    for (const auto& [answer, text] : cases) {
        SCOPED_TRACE(text);
        FakeSpeechServer server(answer);
        Rig rig(server);
        rig.fake.app->currentVideoURL = media().video;
        startTranscription(*rig.fake.app, kKey, "", rig.settings);
        EXPECT_EQ(rig.settle(), (std::vector<std::string>{kExtracting, kCalling, "onWhisperError('" + text + "')"}));
        ASSERT_EQ(server.received().size(), 1u);
        EXPECT_EQ(server.received()[0].parts.count("language"), 0u);
        EXPECT_TRUE(rig.dir.filesStartingWith("whisper_").empty());
    }
}

TEST(Transcription, NothingIsSentWithoutSoundAndTheKeyCannotAddHeaders) {
    FakeSpeechServer server(FakeSpeechServer::json(R"({"segments":[]})"));
    Rig rig(server);
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    rig.fake.app->currentVideoURL = media().silent;
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    rig.fake.app->currentVideoURL = media().video;
    rig.settings.temporaryDirectory = rig.dir / "not-there";  // the sound file cannot be created
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    EXPECT_EQ(rig.settle(), (std::vector<std::string>{"onWhisperError('Nincs videó betöltve!')",
                                                      "onWhisperError('Nincs hangsáv a videóban!')", kExtracting,
                                                      "onWhisperError('Hang kinyerés hiba!')"}));
    EXPECT_TRUE(server.received().empty());
    EXPECT_EQ(makeTranscriptionRequest(rig.settings, "sk\r\nX-Evil: 1", "b", "").headers[0].second,
              "Bearer skX-Evil: 1");
}

// Sound of every kind ends as audible AAC of its length: AAC copied (channels kept), anything else
// encoded as mono; only the file's first track. Sound that starts 2 s into the picture, or has a
// half-second hole, keeps its place with silence before it or in the hole, so that transcribed
// times fit the picture. A copy too large is encoded smaller.
TEST(AudioExtraction, SoundEndsAsAacInItsPlaceOnThePicturesTimeline) {
    TempDir dir;
    const struct {
        const char* file;
        std::string arguments;
        bool copied;
        int channels;
        double seconds, silentFrom, silentTo;
    } cases[] = {
        {"aac.mp4", kPicture + kTone + "-ac 2 -c:v libx264 -c:a aac -shortest", true, 2, 2, 0, 0},
        {"mp3.mkv", kPicture + kTone + "-c:v libx264 -c:a libmp3lame -shortest", false, 1, 2, 0, 0},
        {"two.mkv",
         kPicture + "-f lavfi -i sine=f=440:d=1 -f lavfi -i sine=f=1000:d=3 -map 0 -map 1 -map 2 " +
             "-c:v libx264 -c:a libmp3lame -b:a:1 192k -ac:a:1 2 -disposition:a:0 0 -disposition:a:1 default",
         false, 1, 1, 0, 0},
        {"late.mp4", kPicture + "-itsoffset 2 -f lavfi -i sine=f=440:d=1 -t 3 -c:v libx264 -c:a aac", false, 1, 3, 0.1,
         1.9},
        {"hole.mkv", "-f lavfi -i sine=f=440:d=1.5 -af \"asetpts='if(gte(T,1),PTS+0.5/TB,PTS)'\" -c:a pcm_s16le", false,
         1, 2, 1.05, 1.45},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(test::ffmpeg(c.arguments + " " + test::shellQuoted(dir / c.file)));
        auto plan = planAudioExtraction(dir / c.file);
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->copyAac, c.copied);  // a copy would start late sound at 0
        auto output = dir / (std::string(c.file) + ".m4a");
        ASSERT_TRUE(extractAudio(*plan, output));
        auto sound = test::probeSound(output);
        ASSERT_TRUE(sound);
        EXPECT_EQ(sound->codec, "aac");
        EXPECT_EQ(sound->channels, c.channels);
        EXPECT_NEAR(sound->seconds, c.seconds, 0.15);
        EXPECT_GT(test::meanVolumeDb(output, c.seconds - 0.4, c.seconds - 0.05), -30.0);  // the tone
        if (c.silentTo > 0) {
            EXPECT_LT(test::meanVolumeDb(output, c.silentFrom, c.silentTo), -60.0);
        }
    }
    auto plan = planAudioExtraction(dir / "aac.mp4");
    ASSERT_TRUE(extractAudio(*plan, dir / "small.m4a", CancelFlag(), 20000));  // the copy is about 50 kB
    EXPECT_LE(std::filesystem::file_size(dir / "small.m4a"), 20000u);
    EXPECT_EQ(test::probeSound(dir / "small.m4a")->channels, 1);

    // The source turned into something else since it was looked at: no file is left.
    std::filesystem::resize_file(dir / "aac.mp4", 0);
    EXPECT_FALSE(extractAudio(*plan, dir / "gone.m4a"));
    EXPECT_FALSE(std::filesystem::exists(dir / "gone.m4a"));
    EXPECT_FALSE(planAudioExtraction(dir / "aac.mp4"));
}

// Subtitles saved through the chooser: SubRip numbers its cues with comma milliseconds, WebVTT
// has its header, point milliseconds and escaped markup; blank cues and odd times are mended.
TEST(Subtitles, FilesHoldTheCuesInEachFormat) {
    TempDir dir;
    test::FakeApp f;
    const auto segments = nlohmann::json::parse(R"([
        {"start": 1, "end": 2.5, "text": "Helló, világ!"},
        {"start": 3725.0004, "end": 3727.9996, "text": "  első <sor> & -->\r\n\n \t\nvége  "},
        {"start": 70, "end": 71, "text": "   "}, {"start": "x", "end": 2, "text": "bad"},
        {"start": 9, "end": 8, "text": "backwards"}, 7, {"end": 4, "text": "no start"}, {"start": 4, "end": 5},
        {"start": 4, "end": "5", "text": "x"}, {"start": 4, "end": 5, "text": 6}, {"start": -5, "end": 0.5, "text": "early"}])");
    f.dialogs->answers = {dir / "film.srt", dir / "új"};
    f.app->editorHandler->didReceive(
        nlohmann::json{{"action", "saveSubtitles"}, {"params", {{"segments", segments}, {"format", "srt"}}}});
    f.app->saveSubtitles(segments, "vtt");
    EXPECT_EQ(f.dialogs->requests[0].options.suggestedName, "feliratok.srt");
    EXPECT_EQ(f.dialogs->requests[1].options.extensions, std::vector<std::string>{"vtt"});
    EXPECT_EQ(test::readFile(dir / "film.srt"),
              "1\n00:00:01,000 --> 00:00:02,500\nHelló, világ!\n\n"
              "2\n01:02:05,000 --> 01:02:08,000\nelső <sor> & -->\nvége\n\n"
              "3\n00:00:09,000 --> 00:00:09,000\nbackwards\n\n4\n00:00:00,000 --> 00:00:00,500\nearly\n\n");
    EXPECT_EQ(test::readFile(dir / "új.vtt"),
              "WEBVTT\n\n00:00:01.000 --> 00:00:02.500\nHelló, világ!\n\n"
              "01:02:05.000 --> 01:02:08.000\nelső &lt;sor&gt; &amp; --&gt;\nvége\n\n"
              "00:00:09.000 --> 00:00:09.000\nbackwards\n\n00:00:00.000 --> 00:00:00.500\nearly\n\n");
    EXPECT_EQ(f.page->calls, (std::vector<std::string>{"onSubtitlesSaved('film.srt')", "onSubtitlesSaved('új.vtt')"}));
    EXPECT_EQ(dir.filesStartingWith("").size(), 2u) << "the atomic write's temporary file is gone";

    // A typed name whose extension names a file replaces it only after a yes; nothing to save, or a
    // folder that is not there, is said.
    f.page->calls.clear();
    f.dialogs->answers = {dir / "film", dir / "no such folder" / "a.srt"};
    f.app->saveSubtitles(segments, "srt");
    EXPECT_EQ(f.dialogs->questions.size(), 1u);
    f.app->saveSubtitles(nlohmann::json::array(), "srt");
    f.app->saveSubtitles(segments, "srt");
    ASSERT_EQ(f.page->calls.size(), 2u);
    EXPECT_EQ(f.page->calls[0], "onSubtitlesError('Nincs menthető felirat.')");
    EXPECT_EQ(f.page->calls[1].rfind("onSubtitlesError('A feliratfájl nem menthető: ", 0), 0u) << f.page->calls[1];
    EXPECT_EQ(test::readFile(dir / "film.srt").substr(0, 2), "1\n");
}

}  // namespace
}  // namespace tamo::speech
