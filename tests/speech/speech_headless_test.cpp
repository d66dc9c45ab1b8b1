// The speech operations end to end: the real tamovid-headless under the Hungarian locale, a fake
// speech service named through TAMO_SPEECH_BASE_URL, files in private folders.
#include <gtest/gtest.h>

#include "media/media_fixtures.h"
#include "speech/fake_speech_server.h"
#include "support/headless_runner.h"

namespace tamo::test {
namespace {

using nlohmann::json;

HeadlessOptions optionsFor(const FakeSpeechServer& server, const TempDir& tmp) {
    HeadlessOptions options;
    options.env = {{"TAMO_SPEECH_BASE_URL", server.baseUrl()},
                   {"TMPDIR", tmp.path().string()},
                   {"XDG_DATA_HOME", (tmp / "data").string()},
                   {"TAMO_SPEECH_TIMEOUT_SECONDS", "1"},
                   {"LANG", "hu_HU.UTF-8"},
                   {"LC_ALL", "hu_HU.UTF-8"}};
    return options;
}

// Two narrations (the second replaces the first, only its file stays in the data folder), then answers
// that are no narration, each said and none replacing it. A Hungarian printf would write "2,3": the
// page gets a JS number.
TEST(SpeechHeadless, Narration) {
    TempDir tmp;
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=300:d=2.26 -c:a libmp3lame -b:a 32k " + shellQuoted(tmp / "voice.mp3")));
    const std::string mp3 = readFile(tmp / "voice.mp3");
    const std::string busy = "Rate limit: it's busy" + std::string(1500, '.');
    const std::vector<std::tuple<std::string, int, const char*>> answers = {
        {mp3, 200, "audio/mpeg"},
        {mp3, 200, "audio/mpeg"},
        {R"({"error":{"message":"Invalid API key"}})", 401, "application/json"},
        {R"({"error":{"message":")" + busy + "\"}}", 200, "audio/mpeg"},
        {"<html>" + std::string(3000, 'x') + "</html>", 500, "text/html"},
        {mp3.substr(0, 1000), 200, "audio/mpeg"},
        {std::string(1001, 'z'), 200, "audio/mpeg"}};
    std::size_t answered = 0;
    FakeSpeechServer server([&](const httplib::Request&, httplib::Response& res) {
        const auto& [body, status, type] = answers.at(answered++);
        res.status = status;
        res.set_content(body, type);
    });
    std::vector<json> input = {swift("generateTTS", {{"text", "Első"}, {"apiKey", "sk-e2e"}}), idle(),
                               swift("generateTTS", {{"text", "Második"}, {"voice", "nova"}, {"speed", 1.25}}), idle()};
    for (std::size_t i = 2; i < answers.size(); ++i)
        input.insert(input.end(), {swift("generateTTS", {{"text", "x"}}), idle()});
    auto r = runHeadless(input, optionsFor(server, tmp));
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    const std::string bad = "onNarrationError('Üres vagy hibás válasz!')";
    EXPECT_EQ(r.scriptCalls(),
              (std::vector<std::string>{"onNarrationReady({duration:2.3})", "onNarrationReady({duration:2.3})",
                                        "onNarrationError('Invalid API key')",
                                        "onNarrationError('Rate limit: it\\'s busy" + std::string(1500, '.') + "')",
                                        bad, bad, bad}));
    EXPECT_EQ(r.logLines(), (std::vector<std::string>{"🔊 TTS narration saved: 2.3s", "🔊 TTS narration saved: 2.3s"}));
    EXPECT_TRUE(tmp.filesStartingWith("narration_").empty()) << "not in the temporary folder";
    const auto kept = tmp / "data/tamovid/media";
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(kept), {}), 1);
    EXPECT_EQ(readFile(std::filesystem::directory_iterator(kept)->path()), mp3);
    auto received = server.received();
    ASSERT_EQ(received.size(), answers.size());
    EXPECT_EQ(received[0].path, "/v1/audio/speech");
    EXPECT_EQ(json::parse(received[0].body),
              json::parse(R"({"model":"tts-1","input":"Első","voice":"alloy","speed":1.0,"response_format":"mp3"})"));
    EXPECT_NE(received[1].body.find(R"("speed":1.25)"), std::string::npos) << received[1].body;
    for (const auto& line : r.lines) EXPECT_EQ(line.find("sk-e2e"), std::string::npos) << line;
}

// The clip's sound is uploaded as the service wants it, and the segments reach the page.
TEST(SpeechHeadless, Transcription) {
    TempDir tmp;
    ASSERT_TRUE(makeClip(tmp / "talk.mp4", 160, 90, 1));
    FakeSpeechServer server(FakeSpeechServer::json(
        R"({"segments":[{"start":0,"end":0.8,"text":" Helló, ez egy teszt. "},{"start":0.8,"end":1,"text":"Vége\t"},)"
        R"({"start":"0.0","end":1,"text":"skipped"}]})"));
    auto r = runHeadless({swift("whisperTranscribe", json::object()), choose(tmp / "talk.mp4"), swift("openVideo"),
                          swift("whisperTranscribe", {{"apiKey", "sk-e2e"}, {"language", "hu"}}), idle()},
                         optionsFor(server, tmp));
    ASSERT_FALSE(r.timedOut);
    auto calls = r.scriptCalls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0], "onWhisperError('Nincs videó betöltve!')");
    EXPECT_EQ(calls[1].rfind("onVideoLoaded(", 0), 0u);
    EXPECT_EQ(
        std::vector(calls.begin() + 2, calls.end()),
        (std::vector<std::string>{
            R"(showWhisperStatus('<span class="ai-loading"></span> Hang kinyerése...', false))",
            R"(showWhisperStatus('<span class="ai-loading"></span> Whisper API hívás...', false))",
            R"(onWhisperResult([{"end":0.8,"start":0,"text":"Helló, ez egy teszt."},{"end":1,"start":0.8,"text":"Vége"}]))"}));
    EXPECT_TRUE(r.hasLine("🎤 Audio extracted, calling Whisper API..."));
    EXPECT_TRUE(r.hasLine("🎤 Whisper: 2 segments found"));
    EXPECT_TRUE(tmp.filesStartingWith("whisper_").empty());
    for (const auto& line : r.lines) EXPECT_EQ(line.find("sk-e2e"), std::string::npos) << line;
    auto received = server.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].headers.find("Authorization")->second, "Bearer sk-e2e");
    const auto& parts = received[0].parts;
    EXPECT_EQ(std::tuple(parts.at("file").filename, parts.at("file").content_type),
              std::tuple("audio.m4a", "audio/m4a"));
    EXPECT_EQ(parts.at("model").content, "whisper-1");
    EXPECT_EQ(parts.at("response_format").content, "verbose_json");
    EXPECT_EQ(parts.at("timestamp_granularities[]").content, "segment");
    EXPECT_EQ(parts.at("language").content, "hu");
    // What was uploaded is the clip's sound: AAC, one second, audible.
    writeFile(tmp / "uploaded.m4a", parts.at("file").content);
    auto sound = probeSound(tmp / "uploaded.m4a");
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->codec, "aac");
    EXPECT_NEAR(sound->seconds, 1.0, 0.1);
    EXPECT_GT(meanVolumeDb(tmp / "uploaded.m4a"), -30.0);
}

}  // namespace
}  // namespace tamo::test
