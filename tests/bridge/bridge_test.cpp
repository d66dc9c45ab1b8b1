// The page's messages reaching their operations and the log. Hostile and odd message bodies are seeds
// of the page_messages fuzz target.
#include <gtest/gtest.h>

#include "bridge/console_log_handler.h"
#include "bridge/editor_handler.h"
#include "bridge/script_calls.h"
#include "fuzz/recording_operations.h"
#include "support/fakes.h"

namespace tamo {
namespace {

using nlohmann::json;

TEST(EditorHandler, EachActionReachesItsOperationWithItsArguments) {
    // The recording writes reals with std::to_string, in the environment's locale.
    const std::string fifteen = std::to_string(15.0), two = std::to_string(2.0);
    const std::pair<std::string, std::string> cases[] = {
        {R"({"action":"openVideo","params":[1]})", "openVideo"},
        {R"({"action":"loadProject"})", "loadProject"},
        {R"({"action":"pickImage"})", "pickImage"},
        {R"({"action":"cancelExport"})", "cancelExport"},
        {R"({"action":"exportVideo","params":{"cropPreset":"9:16"}})", R"(exportVideo:{"cropPreset":"9:16"})"},
        {R"({"action":"saveProject","params":{}})", "saveProject:{}"},
        {R"({"action":"openExportResult","params":{"target":"folder"}})", "openExportResult:folder"},
        {R"({"action":"whisperTranscribe","params":{"apiKey":"sk","language":"hu"}})", "whisperTranscribe:sk:hu"},
        {R"({"action":"reloadImage","params":{"imageId":"img_0A"}})", "reloadImage:img_0A"},
        {R"({"action":"reloadImage","params":{"imageId":"img_0A","choose":true}})", "chooseImageAgain:img_0A"},
        {R"({"action":"fetchUrl","params":{"url":" not trimmed "}})", "fetchUrl: not trimmed "},
        {R"({"action":"downloadProductImage","params":{"url":"https://s/x.webp"}})", "download:https://s/x.webp"},
        {R"({"action":"restoreVideo","params":{"url":"file:///a%20b.mp4"}})", "restoreVideo:file:///a%20b.mp4"},
        {R"({"action":"saveSubtitles","params":{"segments":{"start":1},"format":3}})", "saveSubtitles:srt"},
        // Missing or wrongly kinded parameters take the defaults; huge numbers do not overflow.
        {R"({"action":"generateBackground","params":{"width":1e300,"height":-5,"color":"#fff","imageURL":"http://x/y.png"}})",
         "generateBackground:1080x-5:" + fifteen + ":#fff:http://x/y.png"},
        {R"({"action":"generateTTS","params":{"text":1,"voice":"nova","speed":2,"apiKey":"k"}})",
         "tts::nova:" + two + ":k"},
    };
    for (const auto& [body, expected] : cases) {
        auto ops = std::make_shared<fuzz::RecordingOperations>();
        EditorHandler handler;
        handler.delegate = ops;
        test::LogCapture log;
        handler.didReceive(std::string_view(body));
        EXPECT_EQ(ops->calls, std::vector<std::string>{expected}) << body;
        EXPECT_TRUE(log.lines().empty()) << body;
    }
}

TEST(EditorHandler, MalformedMessagesCallNothingAndUnknownActionsAndConsoleMessagesAreLogged) {
    auto ops = std::make_shared<fuzz::RecordingOperations>();
    EditorHandler handler;
    handler.delegate = ops;
    test::LogCapture log;
    for (const char* body : {"not json", "[\"openVideo\"]", R"({"action":7})", R"({"action":"exportVideo"})",
                             R"({"action":"fetchUrl","params":{"url":null}})",
                             R"({"action":"openExportResult","params":{"target":"/etc/passwd"}})"})
        handler.didReceive(std::string_view(body));
    for (const char* action :
         {"openExportResult", "saveProject", "whisperTranscribe", "reloadImage", "fetchUrl", "generateBackground",
          "downloadProductImage", "generateTTS", "saveSubtitles", "restoreVideo"}) {  // without the params they need
        handler.didReceive(json{{"action", action}});
        handler.didReceive(json{{"action", action}, {"params", {{"imageId", 1}, {"url", 2}}}});
    }
    EXPECT_EQ(ops->calls,
              (std::vector<std::string>{R"(saveProject:{"imageId":1,"url":2})", "whisperTranscribe::",
                                        "generateBackground:1080x1920:" + std::to_string(15.0) + ":#1a1a2e:-",
                                        "tts::alloy:" + std::to_string(1.0) + ":", "saveSubtitles:srt"}));
    ops->calls.clear();
    EXPECT_TRUE(log.lines().empty());
    handler.didReceive(std::string_view(R"({"action":"OpenVideo"})"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"⚠️ Unknown action: OpenVideo"});
    // Once the application object is gone, known actions go nowhere.
    ops.reset();
    handler.didReceive(std::string_view(R"({"action":"openVideo"})"));
    // The console relay: one line per message, with the level's mark and its breaks escaped.
    for (const char* body : {R"({"level":"error","message":"boom"})", R"({"level":"warn","message":"a\nb"})",
                             R"({"level":"debug","message":"x"})", R"({"level":3,"message":"x"})"})
        ConsoleLogHandler().didReceive(std::string_view(body));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"⚠️ Unknown action: OpenVideo", "❌ JS[error]: boom",
                                                     "⚠️ JS[warn]: a\\nb", "📋 JS[debug]: x"}));
}

// The texts reach the page in the editor page's own test (native_agreement.test.mjs); here what it
// cannot send: bytes that are no UTF-8 and payloads that cannot be written.
TEST(ScriptCalls, InvalidTextBecomesReplacementCharactersAndAnUnwritablePayloadNoCall) {
    // A stray byte, an overlong form and a cut sequence.
    EXPECT_EQ(scriptcall::onExportError("a\xff\xe0\x80\x80 \xe2\x80"),
              "onExportError('a\\uFFFD\\uFFFD\\uFFFD\\uFFFD \\uFFFD\\uFFFD')");
    EXPECT_FALSE(scriptcall::onProjectLoaded(json{{"bad", std::string("\xff\xfe")}}).has_value());
}

}  // namespace
}  // namespace tamo
