// Transcription and narration against a fake speech service on 127.0.0.1, through the real
// operations of the application object (fake page and main queue).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "bridge/speech_actions.h"
#include "fake_speech_server.h"
#include "speech/transcription_request.h"
#include "speech_fixtures.h"
#include "support/fakes.h"

namespace tamo::speech {
namespace {

using test::FakeSpeechServer;
using test::TempDir;

const std::string kKey = "sk-test-7f3a9c";
const std::string kExtracting = R"(showWhisperStatus('<span class="ai-loading"></span> Hang kinyerése...', false))";
const std::string kCalling = R"(showWhisperStatus('<span class="ai-loading"></span> Whisper API hívás...', false))";
const std::string kEmptyOrBad = "onNarrationError('Üres vagy hibás válasz!')";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Media shared by all cases, made once.
struct Media {
    TempDir dir;
    std::filesystem::path video = dir / "speech.mp4";         // 1 s tone, AAC
    std::filesystem::path silent = dir / "silent.mp4";        // picture only
    std::filesystem::path narration = dir / "narration.mp3";  // 3.04 s tone, MP3
    std::string narrationBytes;
    Media() {
        EXPECT_TRUE(test::makeMedia("-f lavfi -i sine=f=440:d=1 -c:a aac", video));
        EXPECT_TRUE(test::makeMedia("-f lavfi -i testsrc2=s=64x36:r=10:d=1 -c:v libx264", silent));
        EXPECT_TRUE(test::makeMedia("-f lavfi -i sine=f=330:d=3.04 -c:a libmp3lame -b:a 32k", narration));
        narrationBytes = readFile(narration);
    }
};
const Media& media() {
    static Media m;
    return m;
}

// One application object with a fake page, a private temporary directory and settings that
// point at the fake server with a short idle timeout.
struct Rig {
    TempDir dir;
    test::FakeApp fake;
    test::LogCapture log;
    std::shared_ptr<BackgroundWork> work = fake.app->services().work;
    SpeechSettings settings;

    explicit Rig(const FakeSpeechServer& server) {
        settings.baseUrl = server.baseUrl();
        settings.idleTimeoutSeconds = 1;
        settings.totalTimeoutSeconds = 20;
        settings.maxAnswerBytes = 1u * 1024 * 1024;
        settings.temporaryDirectory = dir.path();
    }
    // Runs the main queue until no work is in flight; the page calls made so far.
    const std::vector<std::string>& settle() {
        auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);  // a hang guard, not a timing check
        while (work->inFlight() > 0 && std::chrono::steady_clock::now() < giveUp) {
            fake.queue->drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(work->inFlight(), 0u) << "work still in flight";
        fake.queue->drain();
        return fake.page->calls;
    }
    void expectKeyNeverLogged() const {
        for (const auto& line : log.lines()) EXPECT_EQ(line.find(kKey), std::string::npos) << line;
    }
};

void expectKeyOnlyInAuthorization(const test::ReceivedRequest& request) {
    for (const auto& [name, value] : request.headers) {
        if (name == "Authorization")
            EXPECT_EQ(value, "Bearer " + kKey);
        else
            EXPECT_EQ(value.find(kKey), std::string::npos) << name;
    }
    EXPECT_EQ(request.body.find(kKey), std::string::npos);
}

// ---------------------------------------------------------------- transcription

TEST(Transcription, TheSoundIsUploadedAndTheSegmentsReachThePage) {
    FakeSpeechServer server(FakeSpeechServer::json(
        R"({"task":"transcribe","language":"hungarian","segments":[{"id":0,"start":0,"end":2.5,"text":" Szia! "},)"
        R"({"id":1,"start":"0.0","end":1,"text":"skipped"}]})"));
    Rig rig(server);
    rig.fake.app->currentVideoURL = media().video;
    startTranscription(*rig.fake.app, kKey, "hu", rig.settings);
    // The first status line is shown before the work leaves the main thread.
    ASSERT_EQ(rig.fake.page->calls, std::vector<std::string>{kExtracting});

    auto calls = rig.settle();
    EXPECT_EQ(calls, (std::vector<std::string>{kExtracting, kCalling,
                                               R"(onWhisperResult([{"end":2.5,"start":0,"text":"Szia!"}]))"}));
    EXPECT_EQ(rig.log.lines(),
              (std::vector<std::string>{"🎤 Audio extracted, calling Whisper API...", "🎤 Whisper: 1 segments found"}));

    auto received = server.received();
    ASSERT_EQ(received.size(), 1u);
    const auto& request = received[0];
    expectKeyOnlyInAuthorization(request);
    rig.expectKeyNeverLogged();
    ASSERT_EQ(request.parts.count("file"), 1u);
    EXPECT_EQ(request.parts.at("file").filename, "audio.m4a");
    EXPECT_EQ(request.parts.at("file").content_type, "audio/m4a");
    EXPECT_EQ(request.parts.at("model").content, "whisper-1");
    EXPECT_EQ(request.parts.at("response_format").content, "verbose_json");
    EXPECT_EQ(request.parts.at("timestamp_granularities[]").content, "segment");
    EXPECT_EQ(request.parts.at("language").content, "hu");

    // What was uploaded is the video's sound: AAC, one second, audible.
    auto uploaded = rig.dir / "uploaded.m4a";
    std::ofstream(uploaded, std::ios::binary) << request.parts.at("file").content;
    auto probed = test::probeAudio(uploaded);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codec, "aac");
    EXPECT_NEAR(probed->seconds, 1.0, 0.1);
    EXPECT_GT(probed->meanVolumeDb, -30.0);

    EXPECT_TRUE(rig.dir.filesStartingWith("whisper_").empty());
}

TEST(Transcription, TwoRequestsSideBySideEachAnswerAndCleanUp) {
    FakeSpeechServer server(FakeSpeechServer::json(R"({"segments":[{"start":0,"end":1,"text":"egy"}]})"));
    Rig rig(server);
    rig.fake.app->currentVideoURL = media().video;
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    auto calls = rig.settle();
    const std::string result = R"(onWhisperResult([{"end":1,"start":0,"text":"egy"}]))";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), result), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), kCalling), 2);
    EXPECT_EQ(calls.size(), 6u);
    ASSERT_EQ(server.received().size(), 2u);
    EXPECT_EQ(server.received()[0].parts.at("file").content, server.received()[1].parts.at("file").content);
    EXPECT_TRUE(rig.dir.filesStartingWith("whisper_").empty());
}

struct FailingService {
    const char* name;
    FakeSpeechServer::Answer answer;  // nullptr: never answers
    std::string call;                 // empty: a transport error, whose text comes from the network layer
};

TEST(Transcription, EveryFailureOfTheServiceEndsInOneErrorCallAndNoStrayFile) {
    const std::string invalid = "onWhisperError('Érvénytelen API válasz!')";
    const std::string noSegments = "onWhisperError('Nem találhatók szegmensek!')";
    std::vector<FailingService> cases = {
        {"401 with a JSON error",
         FakeSpeechServer::json(
             R"({"error":{"message":"Incorrect API key provided: 'sk-te***9c'.","type":"invalid_request_error"}})",
             401),
         "onWhisperError('Incorrect API key provided: \\'sk-te***9c\\'.')"},
        {"500 with HTML",
         FakeSpeechServer::bytes("<html><body><h1>500 Internal Server Error</h1></body></html>", 500, "text/html"),
         invalid},
        {"not JSON", FakeSpeechServer::bytes("Szia! Ez nem JSON.", 200, "text/plain"), invalid},
        {"empty body", FakeSpeechServer::bytes("", 200, "application/json"), invalid},
        {"JSON array", FakeSpeechServer::json("[]"), invalid},
        {"segments a string", FakeSpeechServer::json(R"({"segments":"none"})"), noSegments},
        {"segments of numbers", FakeSpeechServer::json(R"({"segments":[1,2]})"), noSegments},
        {"text without segments", FakeSpeechServer::json(R"({"text":"Szia"})"), noSegments},
        {"never answers", nullptr, ""},
        {"closes mid-body", FakeSpeechServer::cutShort(), ""},
        {"huge body", FakeSpeechServer::bytes(std::string(2u * 1024 * 1024, '{')), ""},
        {"redirect to a file", FakeSpeechServer::redirectTo("file:///etc/passwd"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSpeechServer server(c.answer);
        Rig rig(server);
        rig.fake.app->currentVideoURL = media().video;
        startTranscription(*rig.fake.app, kKey, "", rig.settings);
        auto calls = rig.settle();
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[0], kExtracting);
        EXPECT_EQ(calls[1], kCalling);
        if (!c.call.empty()) {
            EXPECT_EQ(calls[2], c.call);
        } else {
            EXPECT_EQ(calls[2].rfind("onWhisperError('", 0), 0u) << calls[2];
            for (const auto& fixed : {invalid, noSegments}) EXPECT_NE(calls[2], fixed);
            EXPECT_GT(calls[2].size(), std::string("onWhisperError('')").size());
        }
        EXPECT_EQ(server.received().size(), 1u);
        EXPECT_EQ(server.received()[0].parts.count("language"), 0u);
        EXPECT_TRUE(rig.dir.filesStartingWith("whisper_").empty());
        rig.expectKeyNeverLogged();
        EXPECT_EQ(rig.log.lines(), std::vector<std::string>{"🎤 Audio extracted, calling Whisper API..."});
    }
}

TEST(Transcription, NothingIsSentWhenThereIsNothingToSend) {
    FakeSpeechServer server(FakeSpeechServer::json(R"({"segments":[]})"));
    struct Case {
        const char* name;
        std::optional<std::filesystem::path> video;
        std::vector<std::string> calls;
    };
    std::vector<Case> cases = {
        {"no video open", std::nullopt, {"onWhisperError('Nincs videó betöltve!')"}},
        {"video without sound", media().silent, {"onWhisperError('Nincs hangsáv a videóban!')"}},
        {"video deleted since it was opened",
         media().dir / "gone.mp4",
         {"onWhisperError('Nincs hangsáv a videóban!')"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(server);
        rig.fake.app->currentVideoURL = c.video;
        startTranscription(*rig.fake.app, kKey, "", rig.settings);
        EXPECT_EQ(rig.settle(), c.calls);
        EXPECT_TRUE(rig.log.lines().empty());
    }
    EXPECT_TRUE(server.received().empty());
}

TEST(Transcription, AFailedExtractionIsReportedAndSendsNothing) {
    FakeSpeechServer server(FakeSpeechServer::json(R"({"segments":[]})"));
    Rig rig(server);
    rig.fake.app->currentVideoURL = media().video;
    rig.settings.temporaryDirectory = rig.dir / "not-there";  // the sound file cannot be created
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    EXPECT_EQ(rig.settle(), (std::vector<std::string>{kExtracting, "onWhisperError('Hang kinyerés hiba!')"}));
    EXPECT_TRUE(server.received().empty());
    EXPECT_TRUE(rig.log.lines().empty());
}

TEST(Transcription, AnUnreadableOrEmptySoundFileIsReportedInsteadOfUploaded) {
    FakeSpeechServer server(FakeSpeechServer::json(R"({"segments":[]})"));
    Rig rig(server);
    auto empty = rig.dir / "whisper_empty.m4a";
    std::ofstream{empty};
    for (const auto& path : {rig.dir / "whisper_missing.m4a", empty}) {
        callWhisperAPI(rig.fake.app, rig.fake.app->beginWork(), path, kKey, "", rig.settings);
    }
    EXPECT_EQ(rig.settle(), (std::vector<std::string>{"onWhisperError('Hang kinyerés hiba!')",
                                                      "onWhisperError('Hang kinyerés hiba!')"}));
    EXPECT_TRUE(server.received().empty());
    EXPECT_TRUE(rig.dir.filesStartingWith("whisper_").empty());
}

TEST(Transcription, AResultArrivingAfterTheApplicationObjectIsGoneDoesNothingAndLeavesNoFile) {
    FakeSpeechServer server(FakeSpeechServer::json(R"({"segments":[{"start":0,"end":1,"text":"late"}]})"));
    Rig rig(server);
    rig.fake.app->currentVideoURL = media().video;
    startTranscription(*rig.fake.app, kKey, "", rig.settings);
    auto page = rig.fake.page;
    rig.fake.app.reset();
    rig.settle();
    EXPECT_EQ(page->calls, std::vector<std::string>{kExtracting});
    EXPECT_TRUE(rig.dir.filesStartingWith("whisper_").empty());
}

// ---------------------------------------------------------------- narration

TEST(Narration, TheAnswerBecomesTheNarrationAndReplacesThePreviousOne) {
    FakeSpeechServer server(FakeSpeechServer::bytes(media().narrationBytes));
    Rig rig(server);
    auto& app = *rig.fake.app;

    startSpeechSynthesis(app, "Helló, világ!", "alloy", 1.0, kKey, rig.settings);
    EXPECT_TRUE(rig.fake.page->calls.empty());  // nothing is said before the answer
    EXPECT_EQ(rig.settle(), std::vector<std::string>{"onNarrationReady({duration:3.0})"});
    auto first = rig.dir.filesStartingWith("narration_");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_TRUE(app.narrationAudioURL);
    EXPECT_EQ(*app.narrationAudioURL, rig.dir / first[0]);
    EXPECT_EQ(readFile(*app.narrationAudioURL), media().narrationBytes);
    EXPECT_EQ(first[0].size(), std::string("narration_").size() + 36 + 4);
    EXPECT_EQ(first[0].substr(first[0].size() - 4), ".mp3");

    startSpeechSynthesis(app, "Második", "nova", 1.25, kKey, rig.settings);
    rig.settle();
    auto second = rig.dir.filesStartingWith("narration_");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0], first[0]);
    EXPECT_EQ(*app.narrationAudioURL, rig.dir / second[0]);
    EXPECT_EQ(rig.log.lines(),
              (std::vector<std::string>{"🔊 TTS narration saved: 3.0s", "🔊 TTS narration saved: 3.0s"}));
    rig.expectKeyNeverLogged();

    auto received = server.received();
    ASSERT_EQ(received.size(), 2u);
    for (const auto& request : received) expectKeyOnlyInAuthorization(request);
    EXPECT_EQ(received[0].path, "/v1/audio/speech");
    EXPECT_EQ(nlohmann::json::parse(received[0].body),
              nlohmann::json::parse(
                  R"({"model":"tts-1","input":"Helló, világ!","voice":"alloy","speed":1.0,"response_format":"mp3"})"));
    EXPECT_EQ(nlohmann::json::parse(received[1].body)["speed"], 1.25);
}

TEST(Narration, EveryFailureEndsInOneErrorCallAndKeepsTheCurrentNarration) {
    std::string longMessage = "Rate limit reached for tts-1: " + std::string(1500, '.') + " It's busy.";
    std::vector<FailingService> cases = {
        {"401 with a JSON error", FakeSpeechServer::json(R"({"error":{"message":"Incorrect API key: 'sk'"}})", 401),
         "onNarrationError('Incorrect API key: \\'sk\\'')"},
        {"JSON error over 1000 bytes with status 200",
         FakeSpeechServer::json(nlohmann::json{{"error", {{"message", longMessage}}}}.dump()),
         "onNarrationError('" + std::string("Rate limit reached for tts-1: ") + std::string(1500, '.') +
             " It\\'s busy.')"},
        {"500 with long HTML", FakeSpeechServer::bytes("<html>" + std::string(3000, 'x') + "</html>", 500, "text/html"),
         kEmptyOrBad},
        {"exactly 1000 bytes of audio", FakeSpeechServer::bytes(media().narrationBytes.substr(0, 1000)), kEmptyOrBad},
        {"1001 bytes that are not sound", FakeSpeechServer::bytes(std::string(1001, 'z')), kEmptyOrBad},
        {"long text that is not sound", FakeSpeechServer::bytes(std::string(5000, 'a'), 200, "text/plain"),
         kEmptyOrBad},
        {"empty body", FakeSpeechServer::bytes(""), kEmptyOrBad},
        {"never answers", nullptr, ""},
        {"closes mid-body", FakeSpeechServer::cutShort(), ""},
        {"huge body", FakeSpeechServer::bytes(std::string(2u * 1024 * 1024, '\xff')), ""},
        {"redirect to a file", FakeSpeechServer::redirectTo("file:///etc/passwd"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSpeechServer server(c.answer);
        Rig rig(server);
        auto previous = rig.dir / "narration_PREVIOUS.mp3";
        std::ofstream(previous, std::ios::binary) << media().narrationBytes;
        rig.fake.app->narrationAudioURL = previous;

        startSpeechSynthesis(*rig.fake.app, "Szöveg", "alloy", 1.0, kKey, rig.settings);
        auto calls = rig.settle();
        ASSERT_EQ(calls.size(), 1u);
        if (!c.call.empty()) {
            EXPECT_EQ(calls[0], c.call);
        } else {
            EXPECT_EQ(calls[0].rfind("onNarrationError('", 0), 0u) << calls[0];
            EXPECT_NE(calls[0], kEmptyOrBad);
            EXPECT_GT(calls[0].size(), std::string("onNarrationError('')").size());
        }
        EXPECT_EQ(rig.fake.app->narrationAudioURL, previous);
        EXPECT_EQ(rig.dir.filesStartingWith("narration_"), std::vector<std::string>{"narration_PREVIOUS.mp3"});
        EXPECT_TRUE(rig.log.lines().empty());
    }
}

TEST(Narration, ANarrationArrivingAfterTheApplicationObjectIsGoneIsNotLeftBehind) {
    FakeSpeechServer server(FakeSpeechServer::bytes(media().narrationBytes));
    Rig rig(server);
    startSpeechSynthesis(*rig.fake.app, "Szia", "alloy", 1.0, kKey, rig.settings);
    auto page = rig.fake.page;
    rig.fake.app.reset();
    rig.settle();
    EXPECT_TRUE(page->calls.empty());
    EXPECT_TRUE(rig.dir.filesStartingWith("narration_").empty());
}

}  // namespace
}  // namespace tamo::speech
