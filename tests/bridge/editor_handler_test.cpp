#include "bridge/editor_handler.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace tamo {
namespace {

using nlohmann::json;

// Records each operation call as one text, with its arguments.
class RecordingOperations : public EditorOperations {
public:
    std::vector<std::string> calls;
    void openVideo() override { calls.push_back("openVideo"); }
    void exportVideo(const json& p) override { calls.push_back("exportVideo " + p.dump()); }
    void cancelExport() override { calls.push_back("cancelExport"); }
    void openExportResult(const std::string& t) override { calls.push_back("openExportResult " + t); }
    void saveProject(const json& p) override { calls.push_back("saveProject " + p.dump()); }
    void loadProject() override { calls.push_back("loadProject"); }
    void pickImage() override { calls.push_back("pickImage"); }
    void whisperTranscribe(const std::string& k, const std::string& l) override {
        calls.push_back("whisperTranscribe [" + k + "] [" + l + "]");
    }
    void reloadImage(const std::string& id) override { calls.push_back("reloadImage " + id); }
    void fetchUrl(const std::string& u) override { calls.push_back("fetchUrl " + u); }
    void generateBackgroundVideo(std::int64_t w, std::int64_t h, double d, const std::string& c,
                                 const std::optional<std::string>& img) override {
        calls.push_back("generateBackground " + std::to_string(w) + " " + std::to_string(h) + " " + json(d).dump() +
                        " " + c + " " + (img ? *img : "<none>"));
    }
    void downloadProductImage(const std::string& u) override { calls.push_back("downloadProductImage " + u); }
    void generateTTS(const std::string& t, const std::string& v, double s, const std::string& k) override {
        calls.push_back("generateTTS [" + t + "] " + v + " " + json(s).dump() + " [" + k + "]");
    }
    void saveSubtitles(const json& segments, const std::string& format) override {
        calls.push_back("saveSubtitles " + format + " " + segments.dump());
    }
    void restoreVideo(const std::string& url) override { calls.push_back("restoreVideo " + url); }
};

struct Dispatch {
    std::shared_ptr<RecordingOperations> ops = std::make_shared<RecordingOperations>();
    EditorHandler handler;
    Dispatch() { handler.delegate = ops; }
};

struct Case {
    const char* body;      // raw JSON text as the web view hands it over
    const char* expected;  // the one call made, or "" for none
};

void runCases(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        Dispatch d;
        test::LogCapture log;
        d.handler.didReceive(std::string_view(c.body));
        if (*c.expected) {
            ASSERT_EQ(d.ops->calls.size(), 1u);
            EXPECT_EQ(d.ops->calls[0], c.expected);
        } else {
            EXPECT_TRUE(d.ops->calls.empty());
        }
        EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
    }
}

TEST(EditorHandler, MalformedBodiesAreDroppedSilently) {
    runCases({
        {"\"openVideo\"", ""},
        {"42", ""},
        {"[\"openVideo\"]", ""},
        {"null", ""},
        {"{\"params\":{}}", ""},
        {"{\"action\":7}", ""},
        {"{\"action\":null}", ""},
        {"not json at all", ""},
        {"{\"action\":\"openVideo\"", ""},
        {"", ""},
        {"{\"action\":\"exportVideo\"}", ""},
        {"{\"action\":\"exportVideo\",\"params\":[1,2]}", ""},
        {"{\"action\":\"saveProject\",\"params\":\"x\"}", ""},
        {"{\"action\":\"reloadImage\",\"params\":{}}", ""},
        {"{\"action\":\"reloadImage\",\"params\":{\"imageId\":7}}", ""},
        {"{\"action\":\"fetchUrl\",\"params\":{\"url\":null}}", ""},
        {"{\"action\":\"downloadProductImage\",\"params\":{}}", ""},
        {"{\"action\":\"whisperTranscribe\"}", ""},
        {"{\"action\":\"generateTTS\",\"params\":null}", ""},
        {"{\"action\":\"generateBackground\"}", ""},
        {"{\"action\":\"saveSubtitles\",\"params\":[]}", ""},
        {"{\"action\":\"restoreVideo\",\"params\":{\"url\":5}}", ""},
        {"{\"action\":\"restoreVideo\"}", ""},
    });
}

TEST(EditorHandler, ActionsWithoutParamsIgnoreWhateverIsGiven) {
    runCases({
        {"{\"action\":\"openVideo\"}", "openVideo"},
        {"{\"action\":\"openVideo\",\"params\":[1]}", "openVideo"},
        {"{\"action\":\"loadProject\",\"params\":\"x\"}", "loadProject"},
        {"{\"action\":\"pickImage\"}", "pickImage"},
        {"{\"action\":\"exportVideo\",\"params\":{\"cropPreset\":\"9:16\"}}", "exportVideo {\"cropPreset\":\"9:16\"}"},
        {"{\"action\":\"saveProject\",\"params\":{}}", "saveProject {}"},
    });
}

TEST(EditorHandler, ParametersFollowTheKindRulesAndDefaults) {
    runCases({
        {"{\"action\":\"generateBackground\",\"params\":{}}", "generateBackground 1080 1920 15.0 #1a1a2e <none>"},
        {"{\"action\":\"generateBackground\",\"params\":{\"width\":720.5,\"height\":\"720\",\"duration\":8}}",
         "generateBackground 1080 1920 8.0 #1a1a2e <none>"},
        {"{\"action\":\"generateBackground\",\"params\":{\"width\":720.0,\"height\":-5,\"color\":\"#fff\",\"imageURL\":"
         "\"http://x/y.png\"}}",
         "generateBackground 720 -5 15.0 #fff http://x/y.png"},
        // Huge and odd numbers fall back without undefined behaviour.
        {"{\"action\":\"generateBackground\",\"params\":{\"width\":1e300,\"height\":18446744073709551615,\"duration\":"
         "true}}",
         "generateBackground 1080 1920 15.0 #1a1a2e <none>"},
        {"{\"action\":\"generateBackground\",\"params\":{\"width\":-9223372036854775808,\"imageURL\":5}}",
         "generateBackground -9223372036854775808 1920 15.0 #1a1a2e <none>"},
        {"{\"action\":\"generateBackground\",\"params\":{\"width\":9.3e18,\"duration\":-1e308}}",
         "generateBackground 1080 1920 -1e+308 #1a1a2e <none>"},
        {"{\"action\":\"generateTTS\",\"params\":{\"text\":\"Szia világ 👋\"}}",
         "generateTTS [Szia világ 👋] alloy 1.0 []"},
        {"{\"action\":\"generateTTS\",\"params\":{\"text\":1,\"voice\":\"nova\",\"speed\":2,\"apiKey\":\"k\"}}",
         "generateTTS [] nova 2.0 [k]"},
        {"{\"action\":\"whisperTranscribe\",\"params\":{}}", "whisperTranscribe [] []"},
        {"{\"action\":\"whisperTranscribe\",\"params\":{\"apiKey\":\"sk\",\"language\":\"hu\"}}",
         "whisperTranscribe [sk] [hu]"},
        {"{\"action\":\"reloadImage\",\"params\":{\"imageId\":\"img_0A1B2C3D\"}}", "reloadImage img_0A1B2C3D"},
        {"{\"action\":\"fetchUrl\",\"params\":{\"url\":\" not trimmed \"}}", "fetchUrl  not trimmed "},
        {"{\"action\":\"downloadProductImage\",\"params\":{\"url\":\"https://shop/x.webp\"}}",
         "downloadProductImage https://shop/x.webp"},
        // Subtitles: the format defaults to SubRip; segments that are not a list count as none.
        {"{\"action\":\"saveSubtitles\",\"params\":{\"segments\":[{\"start\":1,\"end\":2,\"text\":\"a\"}],\"format\":"
         "\"vtt\"}}",
         "saveSubtitles vtt [{\"end\":2,\"start\":1,\"text\":\"a\"}]"},
        {"{\"action\":\"saveSubtitles\",\"params\":{\"segments\":{\"start\":1},\"format\":3}}", "saveSubtitles srt []"},
        {"{\"action\":\"restoreVideo\",\"params\":{\"url\":\"file:///a%20b.mp4\"}}", "restoreVideo file:///a%20b.mp4"},
    });
}

TEST(EditorHandler, ExportControlActions) {
    runCases({
        {"{\"action\":\"cancelExport\"}", "cancelExport"},
        {"{\"action\":\"cancelExport\",\"params\":[1]}", "cancelExport"},
        {"{\"action\":\"openExportResult\",\"params\":{\"target\":\"video\"}}", "openExportResult video"},
        {"{\"action\":\"openExportResult\",\"params\":{\"target\":\"folder\"}}", "openExportResult folder"},
        // The page names what to open, never a path: anything else is dropped.
        {"{\"action\":\"openExportResult\",\"params\":{\"target\":\"/etc/passwd\"}}", ""},
        {"{\"action\":\"openExportResult\",\"params\":{\"target\":1}}", ""},
        {"{\"action\":\"openExportResult\"}", ""},
    });
}

TEST(EditorHandler, UnknownActionsAreLoggedCaseSensitively) {
    for (const char* action : {"OpenVideo", "openvideo", "", "deleteEverything", "openVideo "}) {
        Dispatch d;
        test::LogCapture log;
        d.handler.didReceive(json{{"action", action}, {"params", json::object()}});
        EXPECT_TRUE(d.ops->calls.empty());
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0], std::string("⚠️ Unknown action: ") + action);
    }
}

TEST(EditorHandler, AfterTheApplicationObjectIsGoneOnlyUnknownActionsAreLogged) {
    EditorHandler handler;
    {
        auto ops = std::make_shared<RecordingOperations>();
        handler.delegate = ops;
    }
    test::LogCapture log;
    handler.didReceive(std::string_view(R"({"action":"openVideo"})"));
    handler.didReceive(std::string_view(R"({"action":"generateBackground","params":{}})"));
    EXPECT_TRUE(log.lines().empty());
    handler.didReceive(std::string_view(R"({"action":"nope"})"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "⚠️ Unknown action: nope");
}

TEST(EditorHandler, DeeplyNestedAndHugeBodiesDoNotCrash) {
    Dispatch d;
    test::LogCapture log;
    std::string deep = std::string(100000, '[') + std::string(100000, ']');
    d.handler.didReceive(std::string_view(deep));
    std::string nested =
        "{\"action\":\"openVideo\",\"params\":" + std::string(50000, '[') + std::string(50000, ']') + "}";
    d.handler.didReceive(std::string_view(nested));
    std::string huge = "{\"action\":\"" + std::string(5'000'000, 'x') + "\"}";
    d.handler.didReceive(std::string_view(huge));
    ASSERT_EQ(d.ops->calls.size(), 1u);
    EXPECT_EQ(d.ops->calls[0], "openVideo");
    EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace tamo
