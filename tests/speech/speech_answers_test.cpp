// The transcription upload form, and what the services' answers mean for the page.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bridge/speech_actions.h"
#include "platform/http.h"
#include "speech/narration_answer.h"
#include "speech/speech_settings.h"
#include "speech/transcription_request.h"

namespace tamo::speech {
namespace {

const std::string kBoundary = "0E984725-C51C-4BF4-9960-E1C80E27ABA0";

std::string commonParts(const std::string& audio) {
    return "--0E984725-C51C-4BF4-9960-E1C80E27ABA0\r\n"
           "Content-Disposition: form-data; name=\"file\"; filename=\"audio.m4a\"\r\n"
           "Content-Type: audio/m4a\r\n\r\n" +
           audio +
           "\r\n"
           "--0E984725-C51C-4BF4-9960-E1C80E27ABA0\r\n"
           "Content-Disposition: form-data; name=\"model\"\r\n\r\n"
           "whisper-1\r\n"
           "--0E984725-C51C-4BF4-9960-E1C80E27ABA0\r\n"
           "Content-Disposition: form-data; name=\"response_format\"\r\n\r\n"
           "verbose_json\r\n"
           "--0E984725-C51C-4BF4-9960-E1C80E27ABA0\r\n"
           "Content-Disposition: form-data; name=\"timestamp_granularities[]\"\r\n\r\n"
           "segment\r\n";
}

TEST(TranscriptionBody, WithoutLanguageHasFourPartsAndTheClosingLine) {
    // Binary sound with NUL bytes, CR LF and something that looks like a boundary must pass untouched.
    std::string audio("\x00\x01\r\n--0E98\xff\xfe", 10);
    EXPECT_EQ(buildTranscriptionBody(kBoundary, audio, ""),
              commonParts(audio) + "--0E984725-C51C-4BF4-9960-E1C80E27ABA0--\r\n");
}

TEST(TranscriptionBody, LanguageIsTheFifthPartUnchangedEvenWithAccents) {
    for (std::string language : {"hu", "magyar – ő", "中文"}) {
        EXPECT_EQ(buildTranscriptionBody(kBoundary, "AAC", language),
                  commonParts("AAC") +
                      "--0E984725-C51C-4BF4-9960-E1C80E27ABA0\r\n"
                      "Content-Disposition: form-data; name=\"language\"\r\n\r\n" +
                      language + "\r\n--0E984725-C51C-4BF4-9960-E1C80E27ABA0--\r\n")
            << language;
    }
}

TEST(TranscriptionRequest, HeadersCarryTheKeyAndBoundaryAndTheAddressFollowsTheBase) {
    SpeechSettings settings;
    settings.baseUrl = "http://127.0.0.1:9/";
    settings.idleTimeoutSeconds = 3;
    auto request = makeTranscriptionRequest(settings, "sk-test", kBoundary, "body");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "http://127.0.0.1:9/v1/audio/transcriptions");
    EXPECT_EQ(request.idleTimeoutSeconds, 3);
    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(request.headers, (Headers{{"Authorization", "Bearer sk-test"},
                                        {"Content-Type", "multipart/form-data; boundary=" + kBoundary}}));
    // An empty key still sends the header, with its trailing blank; line breaks cannot add headers.
    EXPECT_EQ(makeTranscriptionRequest(settings, "", kBoundary, "").headers[0].second, "Bearer ");
    EXPECT_EQ(makeTranscriptionRequest(settings, "sk\r\nX-Evil: 1", kBoundary, "").headers[0].second,
              "Bearer skX-Evil: 1");
}

HttpResponse answer(std::string body, long status = 200) {
    HttpResponse r;
    r.transportOk = true;
    r.status = status;
    r.body = std::move(body);
    return r;
}

struct TranscriptionCase {
    const char* name;
    HttpResponse response;
    std::string call;
    std::string log;  // empty: no log line
};

TEST(TranscriptionAnswerTable, EveryAnswerEndsInItsOneCall) {
    HttpResponse refused;
    refused.errorText = "Couldn't connect to server";
    const std::string noSegments = "onWhisperError('Nem találhatók szegmensek!')";
    const std::string invalid = "onWhisperError('Érvénytelen API válasz!')";
    std::vector<TranscriptionCase> cases = {
        {"transport error, escaped", refused, "onWhisperError('Couldn\\'t connect to server')", ""},
        {"empty body", answer(""), invalid, ""},
        {"html page", answer("<html><body>502 Bad Gateway</body></html>", 502), invalid, ""},
        {"json array", answer("[1,2]"), invalid, ""},
        {"json string", answer("\"segments\""), invalid, ""},
        {"truncated json", answer("{\"segments\": [{\"start\": 0,"), invalid, ""},
        {"service error with quote", answer(R"({"error":{"message":"Incorrect API key: 'sk-x'"}})", 401),
         "onWhisperError('Incorrect API key: \\'sk-x\\'')", ""},
        {"error wins over segments", answer(R"({"error":{"message":"quota"},"segments":[]})"),
         "onWhisperError('quota')", ""},
        {"error without text message", answer(R"({"error":{"message":5},"segments":[]})"), "onWhisperResult([])",
         "🎤 Whisper: 0 segments found"},
        {"error as text is ignored", answer(R"({"error":"bad"})"), noSegments, ""},
        {"text only", answer(R"({"text":"Szia"})"), noSegments, ""},
        {"segments not an array", answer(R"({"segments":{"start":0}})"), noSegments, ""},
        {"segments null", answer(R"({"segments":null})"), noSegments, ""},
        {"one element not an object", answer(R"({"segments":[{"start":0,"end":1,"text":"a"},3]})"), noSegments, ""},
        {"empty segments", answer(R"({"segments":[]})"), "onWhisperResult([])", "🎤 Whisper: 0 segments found"},
        {"trimmed blanks and tabs", answer(R"({"segments":[{"start":0,"end":2.5,"text":" \tSzia! "}]})"),
         R"(onWhisperResult([{"end":2.5,"start":0,"text":"Szia!"}]))", "🎤 Whisper: 1 segments found"},
        {"wrong kinds skipped, line break kept",
         answer(
             R"({"segments":[{"start":"0.0","end":1,"text":"a"},{"start":0,"end":1},{"start":0,"end":null,"text":"b"},
                    {"start":1.123456789,"end":0.5,"text":"\nő "},{"start":true,"end":1,"text":"c"}]})"),
         R"(onWhisperResult([{"end":0.5,"start":1.123456789,"text":"\nő"}]))", "🎤 Whisper: 1 segments found"},
        {"other members ignored",
         answer(R"({"task":"transcribe","segments":[{"id":0,"start":1,"end":2,"text":"x","seek":0}]})"),
         R"(onWhisperResult([{"end":2,"start":1,"text":"x"}]))", "🎤 Whisper: 1 segments found"},
    };
    for (const auto& c : cases) {
        auto result = transcriptionPageAnswer(interpretTranscriptionAnswer(c.response));
        ASSERT_TRUE(result.scriptCall) << c.name;
        EXPECT_EQ(*result.scriptCall, c.call) << c.name;
        EXPECT_EQ(result.logLine.value_or(""), c.log) << c.name;
    }
}

struct NarrationCase {
    const char* name;
    HttpResponse response;
    std::optional<std::string> refusal;  // nothing: the body is tried as audio
};

TEST(NarrationAnswerTable, ErrorsAreRecognisedWhateverTheirLength) {
    HttpResponse timedOut;
    timedOut.errorText = "Operation timed out after 1000 milliseconds";
    std::string longMessage(3000, 'x');
    const std::string emptyOrBad = "Üres vagy hibás válasz!";
    std::vector<NarrationCase> cases = {
        {"transport error", timedOut, timedOut.errorText},
        {"no body", answer(""), emptyOrBad},
        {"1000 bytes", answer(std::string(1000, '\xff')), emptyOrBad},
        {"1001 bytes", answer(std::string(1001, '\xff')), std::nullopt},
        {"small json error", answer(R"({"error":{"message":"Invalid key"}})", 401), "Invalid key"},
        {"long json error with OK status", answer(R"({"error":{"message":")" + longMessage + R"("}})"), longMessage},
        {"long json object without message", answer(R"({"detail":")" + longMessage + R"("})"), emptyOrBad},
        {"long html with error status", answer("<html>" + longMessage + "</html>", 500), emptyOrBad},
        // Not an error report: left to the audio check, which it fails (see the server tests).
        {"long json array", answer("[" + std::string(1200, '1') + "]"), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(narrationRefusal(c.response), c.refusal) << c.name;
}

TEST(SpeechRequest, BodyHasExactlyTheFiveMembersAndSpeedIsANumber) {
    SpeechSettings settings;
    auto request = makeSpeechRequest(settings, "sk-1", buildSpeechRequestBody("Helló 'világ'", "alloy", 1.0));
    EXPECT_EQ(request.url, "https://api.openai.com/v1/audio/speech");
    auto body = nlohmann::json::parse(request.body);
    EXPECT_EQ(body,
              nlohmann::json::parse(
                  R"({"model":"tts-1","input":"Helló 'világ'","voice":"alloy","speed":1.0,"response_format":"mp3"})"));
    EXPECT_TRUE(body["speed"].is_number_float());
    EXPECT_EQ(request.body.find(' '), request.body.find("Helló 'világ'") + 6);  // compact: the only blank is the text's
    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(request.headers, (Headers{{"Authorization", "Bearer sk-1"}, {"Content-Type", "application/json"}}));
}

}  // namespace
}  // namespace tamo::speech
