// The page's messages reaching their operations and the log, and the script calls going the other
// way, evaluated in a real JavaScript engine so a call that breaks or changes meaning is caught.
// Hostile and odd message bodies are seeds of the page_messages fuzz target.
#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "bridge/console_log_handler.h"
#include "bridge/editor_handler.h"
#include "bridge/script_calls.h"
#include "fuzz/recording_operations.h"
#include "support/fakes.h"
#include "support/hungarian_locale.h"

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

TEST(EditorHandler, MalformedMessagesCallNothingAndUnknownActionsAreLogged) {
    auto ops = std::make_shared<fuzz::RecordingOperations>();
    EditorHandler handler;
    handler.delegate = ops;
    test::LogCapture log;
    for (const char* body : {"not json", "[\"openVideo\"]", R"({"action":7})", R"({"action":"exportVideo"})",
                             R"({"action":"fetchUrl","params":{"url":null}})",
                             R"({"action":"openExportResult","params":{"target":"/etc/passwd"}})"})
        handler.didReceive(std::string_view(body));
    EXPECT_TRUE(ops->calls.empty());
    EXPECT_TRUE(log.lines().empty());
    handler.didReceive(std::string_view(R"({"action":"OpenVideo"})"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"⚠️ Unknown action: OpenVideo"});
    // Once the application object is gone, known actions go nowhere.
    ops.reset();
    handler.didReceive(std::string_view(R"({"action":"openVideo"})"));
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(ConsoleRelay, OneLinePerMessageWithTheLevelsMark) {
    test::LogCapture log;
    for (const char* body : {R"({"level":"error","message":"boom"})", R"({"level":"warn","message":"a\nb"})",
                             R"({"level":"debug","message":"x"})", R"({"level":3,"message":"x"})"})
        ConsoleLogHandler().didReceive(std::string_view(body));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"❌ JS[error]: boom", "⚠️ JS[warn]: a\\nb", "📋 JS[debug]: x"}));
}

// Page functions that record their arguments in a fresh JavaScript context.
class Page {
public:
    Page() : context_(jsc_context_new()) {
        eval("var calls = [];");
        for (const char* f : {"onExportError", "onVideoError", "onImageMissing", "onProjectSaved", "onUrlFetched",
                              "onNarrationReady", "onVideoLoaded", "onProjectLoaded", "showWhisperStatus"})
            eval(std::string("function ") + f + "() { calls.push({f: '" + f + "', args: Array.from(arguments)}); }");
    }
    ~Page() { g_object_unref(context_); }
    // The one recorded call as JSON ({"f":..., "args":[...]}); a script error fails the test.
    json run(const std::string& call) {
        eval("calls = [];");
        eval(call);
        return json::parse(eval("calls.length === 1 ? JSON.stringify(calls[0]) : 'null'"));
    }

private:
    std::string eval(const std::string& code) {
        JSCValue* v = jsc_context_evaluate(context_, code.c_str(), static_cast<gssize>(code.size()));
        if (JSCException* e = jsc_context_get_exception(context_)) {
            ADD_FAILURE() << "script error: " << jsc_exception_get_message(e) << " in " << code.substr(0, 200);
            jsc_context_clear_exception(context_);
        }
        char* s = jsc_value_to_string(v);
        std::string out = s ? s : "";
        g_free(s);
        g_object_unref(v);
        return out;
    }
    JSCContext* context_;
};

TEST(ScriptCalls, HostileTextsArriveLiterallyAndNeverRun) {
    Page page;
    const std::string hostile = std::string("\\'); calls.push('pwned'); ('\n\r\n\t\x1b\x7f ") + '\0' +
                                " sep\u2028\u2029 </script> \"q\" 👩‍👩‍👧 árvíztűrő";
    for (const auto& call : {scriptcall::onExportError(hostile), scriptcall::onVideoError(hostile),
                             scriptcall::onImageMissing(hostile), scriptcall::onProjectSaved(hostile)})
        EXPECT_EQ(page.run(call)["args"], json::array({hostile})) << call;
    EXPECT_EQ(page.run(scriptcall::onUrlFetchedError(hostile))["args"][0], json({{"error", hostile}}));
    EXPECT_EQ(page.run(scriptcall::showWhisperStatus("<b>x</b>"))["args"], json::array({"<b>x</b>", false}));
    // Invalid UTF-8 (a stray byte, an overlong form, a cut sequence) becomes replacement characters.
    EXPECT_EQ(page.run(scriptcall::onExportError("a\xff\xe0\x80\x80 \xe2\x80"))["args"][0],
              "a\uFFFD\uFFFD\uFFFD\uFFFD \uFFFD\uFFFD");
    const json project = {{"textObjects", json::array({{{"text", hostile}}})}};
    EXPECT_EQ(page.run(*scriptcall::onProjectLoaded(project))["args"][0], project);
    EXPECT_FALSE(scriptcall::onProjectLoaded(json{{"bad", std::string("\xff\xfe")}}).has_value());
}

// A Hungarian desktop writes 3.0 as "3,0", and "{duration:3,0}" would not mean the same.
TEST(ScriptCalls, NumbersStayJavaScriptUnderTheHungarianLocale) {
    test::HungarianLocale hungarian;
    Page page;
    EXPECT_DOUBLE_EQ(page.run(scriptcall::onNarrationReady(2.26))["args"][0]["duration"].get<double>(), 2.3);
    const json video = {{"url", "file:///v.mp4"}, {"width", 1080}, {"height", 1920}, {"duration", 12.75}};
    EXPECT_EQ(page.run(*scriptcall::onVideoLoaded(video))["args"][0], video);
}

}  // namespace
}  // namespace tamo
