// Script calls are evaluated in a real JavaScript engine with page functions that record their
// arguments, so a call text that breaks or changes its meaning is caught.
#include "bridge/script_calls.h"

#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "bridge/js_quote.h"
#include "support/hungarian_locale.h"

namespace tamo {
namespace {

using nlohmann::json;

const char* kPageFunctions[] = {
    "onVideoLoaded",       "onImagePicked",     "onImageReloaded",   "showWhisperStatus",  "onWhisperError",
    "onWhisperResult",     "onUrlFetched",      "onNarrationReady",  "onNarrationError",   "onProductImageReady",
    "onProductImageError", "onBackgroundReady", "onBackgroundError", "onExportProgress",   "onExportComplete",
    "onExportError",       "onProjectLoaded",   "triggerExport",     "triggerSaveProject", "onSubtitlesSaved",
    "onSubtitlesError",    "onProjectSaved",    "onProjectOpened",   "onVideoError",       "onImageMissing"};

class Page {
public:
    Page() : context_(jsc_context_new()) {
        std::string setup = "var calls = [];\n";
        for (const char* f : kPageFunctions)
            setup +=
                std::string("function ") + f + "() { calls.push({f: '" + f + "', args: Array.from(arguments)}); }\n";
        eval(setup);
    }
    ~Page() { g_object_unref(context_); }

    // Evaluates a call; returns the recorded call as JSON text ({"f":..., "args":[...]}) or "" when it failed.
    std::string run(const std::string& call) {
        eval("calls = [];");
        JSCValue* r = jsc_context_evaluate(context_, call.c_str(), static_cast<gssize>(call.size()));
        g_clear_object(&r);
        if (JSCException* e = jsc_context_get_exception(context_)) {
            ADD_FAILURE() << "script error: " << jsc_exception_get_message(e) << " in " << call.substr(0, 200);
            jsc_context_clear_exception(context_);
            return "";
        }
        return eval("calls.length === 1 ? JSON.stringify(calls[0]) : ''");
    }

    // The single text argument received by the page, or nullopt.
    std::optional<std::string> textArgument(const std::string& call) {
        auto recorded = run(call);
        if (recorded.empty()) return std::nullopt;
        auto j = json::parse(recorded);
        if (!j["args"][0].is_string()) return std::nullopt;
        return j["args"][0].get<std::string>();
    }

private:
    std::string eval(const std::string& code) {
        JSCValue* v = jsc_context_evaluate(context_, code.c_str(), static_cast<gssize>(code.size()));
        char* s = jsc_value_to_string(v);
        std::string out = s ? s : "";
        g_free(s);
        g_object_unref(v);
        return out;
    }
    JSCContext* context_;
};

const std::vector<std::string>& hostileTexts() {
    static const std::vector<std::string> texts = {
        "The file couldn't be opened.",
        "C:\\path\\to\\file",
        "trailing backslash \\",
        "\\'); alert(1); ('",
        "'); calls.push('pwned'); ('",
        "line one\nline two\r\nline three",
        std::string("nul\0inside", 10),
        "sep\u2028and\u2029para",
        "tab\tbell\a escape\x1b del\x7f",
        "emoji 🎬👩‍👩‍👧 and Hungarian: árvíztűrő tükörfúrógép ÁRVÍZTŰRŐ",
        "double \"quotes\" and </script><script>alert(1)</script>",
        "",
    };
    return texts;
}

TEST(ScriptCalls, QuotedTextsReachThePageExactly) {
    Page page;
    for (const auto& text : hostileTexts()) {
        SCOPED_TRACE(text);
        EXPECT_EQ(page.textArgument(scriptcall::onExportError(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onWhisperError(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onNarrationError(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onProductImageError(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onBackgroundError(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onSubtitlesError(text)), text);
        // File names can hold any of it too.
        EXPECT_EQ(page.textArgument(scriptcall::onSubtitlesSaved(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onProjectSaved(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onProjectOpened(text)), text);
        // File paths and picture identifiers from a project file reach the page through these two.
        EXPECT_EQ(page.textArgument(scriptcall::onVideoError(text)), text);
        EXPECT_EQ(page.textArgument(scriptcall::onImageMissing(text)), text);
        auto fetched = page.run(scriptcall::onUrlFetchedError(text));
        ASSERT_FALSE(fetched.empty());
        EXPECT_EQ(json::parse(fetched)["args"][0], json({{"error", text}}));
    }
}

TEST(ScriptCalls, InvalidUtf8StillGivesACallThatParses) {
    Page page;
    auto got = page.textArgument(scriptcall::onExportError("bad \xff\xfe bytes \xe2\x80"));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, "bad \uFFFD\uFFFD bytes \uFFFD\uFFFD");
}

TEST(ScriptCalls, ApostropheStaysBackslashApostrophe) {
    EXPECT_EQ(scriptcall::onExportError("can't"), "onExportError('can\\'t')");
    EXPECT_EQ(scriptcall::onExportError("Nincs videó betöltve!"), "onExportError('Nincs videó betöltve!')");
    EXPECT_EQ(scriptcall::showWhisperStatus("<span class=\"ai-loading\"></span> Hang kinyerése..."),
              "showWhisperStatus('<span class=\"ai-loading\"></span> Hang kinyerése...', false)");
}

TEST(ScriptCalls, FixedFormsAreExact) {
    EXPECT_EQ(scriptcall::onExportProgress(0), "onExportProgress(0)");
    EXPECT_EQ(scriptcall::onExportProgress(95), "onExportProgress(95)");
    EXPECT_EQ(scriptcall::onExportComplete(), "onExportComplete()");
    EXPECT_EQ(scriptcall::triggerExport(), "triggerExport()");
    EXPECT_EQ(scriptcall::triggerSaveProject(), "triggerSaveProject()");
    EXPECT_EQ(scriptcall::onNarrationReady(7), "onNarrationReady({duration:7.0})");
    EXPECT_EQ(scriptcall::onNarrationReady(12.34), "onNarrationReady({duration:12.3})");
    EXPECT_EQ(scriptcall::onImagePicked("img_0A1B2C3D", "QUJD", 640, 480),
              "onImagePicked({imageId:'img_0A1B2C3D',dataURL:'data:image/png;base64,QUJD',width:640,height:480})");
    EXPECT_EQ(scriptcall::onImageReloaded("img_0A1B2C3D", "QUJD"),
              "onImageReloaded({imageId:'img_0A1B2C3D',dataURL:'data:image/png;base64,QUJD'})");
}

TEST(ScriptCalls, EveryPayloadArrivesAsTheIntendedObject) {
    Page page;
    const json video = {
        {"url", "file:///tmp/%C3%A1rv%C3%ADz%20t.mp4"}, {"width", 1080}, {"height", 1920}, {"duration", 12.5}};
    const json segments = json::array({{{"start", 0.0}, {"end", 1.5}, {"text", "Szia 'világ' \\ \n 🎉 \u2028"}}});
    const json fetched = {{"html", "<html>\u2028\u2029</script>'\"\\</html>"}, {"url", "https://x/ő"}};
    const json project = {{"textObjects", json::array({{{"text", "árvíztűrő 👍"}}})}, {"nested", {{"a", nullptr}}}};

    struct PayloadCase {
        std::optional<std::string> call;
        std::string function;
        json expected;
    } cases[] = {
        {scriptcall::onVideoLoaded(video), "onVideoLoaded", video},
        {scriptcall::onWhisperResult(segments), "onWhisperResult", segments},
        {scriptcall::onUrlFetched(fetched), "onUrlFetched", fetched},
        {scriptcall::onBackgroundReady(video), "onBackgroundReady", video},
        {scriptcall::onProjectLoaded(project), "onProjectLoaded", project},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        ASSERT_TRUE(c.call.has_value());
        auto recorded = json::parse(page.run(*c.call));
        EXPECT_EQ(recorded["f"], c.function);
        EXPECT_EQ(recorded["args"][0], c.expected);
    }

    auto picked = json::parse(page.run(scriptcall::onProductImageReady("product_ABCD1234", "iVBO+/=", 3, 4)));
    EXPECT_EQ(picked["args"][0], json({{"imageId", "product_ABCD1234"},
                                       {"dataURL", "data:image/png;base64,iVBO+/="},
                                       {"width", 3},
                                       {"height", 4}}));
    auto narration = json::parse(page.run(scriptcall::onNarrationReady(3.25)));
    EXPECT_DOUBLE_EQ(narration["args"][0]["duration"].get<double>(), 3.2);
    auto status = json::parse(page.run(scriptcall::showWhisperStatus("<b>x</b>")));
    EXPECT_EQ(status["args"], json::array({"<b>x</b>", false}));
}

// GTK gives the window the desktop's locale; a Hungarian one writes 3.0 as "3,0", and
// "{duration:3,0}" is no JavaScript at all. Every call that carries a number must still parse
// and mean the same under it.
TEST(ScriptCalls, NumbersStayJavaScriptUnderTheHungarianLocale) {
    test::HungarianLocale hungarian;
    Page page;
    for (double seconds : {3.0, 2.26, 0.04, 125.55}) {
        SCOPED_TRACE(seconds);
        auto recorded = page.run(scriptcall::onNarrationReady(seconds));
        ASSERT_FALSE(recorded.empty());
        EXPECT_NEAR(json::parse(recorded)["args"][0]["duration"].get<double>(), seconds, 0.05);
    }
    const json video = {{"url", "file:///v.mp4"}, {"width", 1080}, {"height", 1920}, {"duration", 12.75}};
    auto loaded = page.run(*scriptcall::onVideoLoaded(video));
    ASSERT_FALSE(loaded.empty());
    EXPECT_EQ(json::parse(loaded)["args"][0], video);
    auto picture = page.run(scriptcall::onProductImageReady("product_1", "QUJD", 1080, 1920));
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(json::parse(picture)["args"][0]["width"], 1080);
    EXPECT_EQ(page.run(scriptcall::onExportProgress(45)), R"({"f":"onExportProgress","args":[45]})");
}

TEST(ScriptCalls, APayloadThatCannotBeWrittenSuppressesTheCall) {
    EXPECT_FALSE(scriptcall::onProjectLoaded(json{{"bad", std::string("\xff\xfe")}}).has_value());
}

}  // namespace
}  // namespace tamo
