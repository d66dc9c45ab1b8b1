// The real desktop program with a test page (pages/editor.html) that exercises the native side:
// console relay, garbage messages, navigation refused, a clicked web link, shortcuts, GTK choosers
// and the replace question, subtitles written, a clip outside the sandbox read through the media
// scheme; then the window is closed while a request and an export run. Run through run_gui_test.sh.
#include <future>
#include <mutex>

#include "gui.h"
#include "support/loopback_server.h"

namespace {

using namespace gui;

// The page's summary of some bytes: their count and a position-weighted sum.
std::string summary(const std::string& bytes) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) sum = (sum + (unsigned char)bytes[i] * (i + 1)) % 1000000007ULL;
    return std::to_string(bytes.size()) + " " + std::to_string(sum);
}

TEST(TestPage, NativeSideEndToEndAndClosingDuringWork) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
    TestFolder t("page");
    fs::copy(E2E_PAGES_DIR, t.dir / "res", fs::copy_options::recursive);
    writeFile(t.dir / "res/hostile.html", "<script>console.log('HOSTILE PAGE LOADED')</script>");
    writeFile(t.dir / "out/felirat.srt", "an earlier file");
    std::promise<void> asked;
    std::once_flag once;
    tamo::test::LoopbackServer* self = nullptr;
    tamo::test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/page", [&](const httplib::Request&, httplib::Response& res) {
            std::call_once(once, [&] { asked.set_value(); });
            self->stall();
            res.set_content("late", "text/html");
        });
    });
    self = &server;
    writeFile(t.dir / "res/config.js", "window.silentServer = '" + server.url("/page") + "';");
    // A default browser for http and https that only records the addresses it is asked to open.
    writeFile(t.dir / "browser.sh", "#!/bin/sh\necho \"$1\" >> '" + (t.dir / "opened.txt").string() + "'\n");
    fs::permissions(t.dir / "browser.sh", fs::perms::owner_all);
    writeFile(t.dir / "xdg-data/applications/b.desktop",
              "[Desktop Entry]\nType=Application\nName=B\nExec=" + (t.dir / "browser.sh").string() +
                  " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
    writeFile(t.dir / "xdg-config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/http=b.desktop\nx-scheme-handler/https=b.desktop\n");

    Program program(t.env(t.dir / "res"), TAMOVID_BIN, t.dir.string());
    ASSERT_TRUE(program.waitForLine(kLog + "page ready", 90s)) << dump(program);
    auto lines = program.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "🚀 TamoVideoEditor starting..."), 1);
    for (const char* relayed :
         {R"(📋 JS[log]: hello {"a":1})", "⚠️ JS[warn]: low disk 3", "❌ JS[error]: boom",
          "❌ JS[error]: Promise: nope", "⚠️ Unknown action: noSuchAction", "📋 JS[log]: from frame"})
        EXPECT_TRUE(program.waitForLine(relayed, 10s)) << relayed << "\n" << dump(program);
    EXPECT_TRUE(anyContains(program, "❌ JS[error]: Uncaught: ") && anyContains(program, "undefinedFunctionCall"));
    EXPECT_FALSE(anyContains(program, "info is not relayed"));
    // Everything posted after the garbage still arrives, in order; no garbage became a line of its own.
    auto big = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind(kLog + "yyy", 0) == 0; });
    EXPECT_LT(big, std::find(lines.begin(), lines.end(), kLog + "after garbage"));
    EXPECT_FALSE(anyContains(program, "JS[debug]") || anyContains(program, "Unknown action: 12"));
    EXPECT_TRUE(program.waitForLine("⚠️ Navigation refused: file://" + (t.dir / "res/hostile.html").string()));
    EXPECT_TRUE(program.waitForLine("⚠️ Navigation refused: https://example.com/scripted-location"));
    EXPECT_FALSE(anyContains(program, "HOSTILE PAGE LOADED"));

    // Subtitles: typed without the extension, which the file gets; it exists, so the program asks.
    HiddenHomeFolder hidden;
    ASSERT_TRUE(answerChooser("Feliratok mentése", t.dir / "out/felirat", true)) << dump(program);
    ASSERT_TRUE(focus("A fájl már létezik")) << "no replace question";
    ASSERT_TRUE(key("alt+c"));  // "Csere"
    ASSERT_TRUE(program.waitForLine(kLog + "subtitles saved felirat.srt", 30s)) << dump(program);
    EXPECT_EQ(readFile(t.dir / "out/felirat.srt"),
              "1\n00:00:00,500 --> 00:00:02,250\nÁrvíztűrő tükörfúrógép\n\n2\n00:00:03,000 --> 00:00:04,500\n"
              "második\nsor --> vége\n\n3\n00:00:07,000 --> 01:01:11,200\negy óra múlva 🎬\n\n");

    // A clip made after start-up in a hidden home folder: the sandbox cannot read it, the scheme serves it.
    fs::path clip = hidden.path / "klip 1.mp4";
    // Long, so that the export below is still running when the window closes; one colour and no sound,
    // so that the player gets a small file (a 9 MB one was at times refused under a loaded X server).
    ASSERT_TRUE(makeClip(clip, "color=c=0x336699:s=640x360", 40, false));
    writeFile(hidden.path / "neighbour.mp4", "never handed to the page");
    ASSERT_TRUE(answerChooser("Videó megnyitása", clip, false)) << dump(program);
    ASSERT_TRUE(program.waitForLine("📹 Video loaded: klip 1.mp4 (640x360, 40.0s)", 30s)) << dump(program);
    ASSERT_TRUE(program.waitForLine(kLog + "requests done", 60s)) << dump(program);
    EXPECT_TRUE(program.waitForLine(kLog + "video 640x360 40.0", 60s)) << dump(program);
    std::string bytes = readFile(clip), size = std::to_string(bytes.size());
    for (const std::string& answer :
         {"range 206 [bytes 100-199/" + size + "] " + summary(bytes.substr(100, 100)),
          "tail 206 [bytes " + std::to_string(bytes.size() - 16) + "-" + std::to_string(bytes.size() - 1) + "/" + size +
              "] " + summary(bytes.substr(bytes.size() - 16)),
          "whole 200 [] " + summary(bytes), "beyond 416 [bytes */" + size + "] " + summary(""),
          "neighbour 403 [] " + summary(""), "system 403 [] " + summary("")})
        EXPECT_TRUE(program.waitForLine(kLog + answer)) << answer << "\n" << dump(program);
    EXPECT_FALSE(anyContains(program, "video error")) << dump(program);

    // Ctrl+O asks for a project; cancelling answers nothing.
    std::string window = editorWindow();
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", window}));
    ASSERT_TRUE(key("ctrl+o"));
    ASSERT_TRUE(focus("Projekt megnyitása"));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(windowGone("^Projekt megnyitása$", 10s));

    // A clicked web link goes to the browser (only it: the script's attempts opened nothing); the page stays.
    ASSERT_TRUE(xdotool({"mousemove", "--window", window, "400", "200", "click", "1"}));
    for (auto until = Clock::now() + 20s; Clock::now() < until && readFile(t.dir / "opened.txt").empty();)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(readFile(t.dir / "opened.txt"), "https://example.com/clicked\n");
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", window}));
    ASSERT_TRUE(key("ctrl+e"));
    ASSERT_TRUE(program.waitForLine(kLog + "triggerExport reached", 20s)) << dump(program);
    // The editing shortcuts act on the page's field; Ctrl+S asks the page, which starts the work.
    for (const char* k : {"ctrl+a", "ctrl+c", "Tab", "ctrl+v", "ctrl+s"}) {
        ASSERT_TRUE(key(k));
        std::this_thread::sleep_for(300ms);
    }
    EXPECT_TRUE(program.waitForLine(kLog + "fields: copy me|copy me", 20s)) << dump(program);
    ASSERT_EQ(asked.get_future().wait_for(30s), std::future_status::ready) << "the request never arrived";
    ASSERT_TRUE(answerChooser("Videó exportálása", t.dir / "out/new.mp4", true)) << dump(program);
    ASSERT_TRUE(program.waitFor(
        [](const std::string& l) {
            return l.rfind(kLog + "onExportProgress ", 0) == 0 && l != kLog + "onExportProgress 0";
        },
        60s))
        << dump(program);

    // Closing the window: both are cancelled, the program ends at once and the folder is as it was.
    ASSERT_TRUE(askWindowToClose(window));
    EXPECT_EQ(program.waitForExit(3s), std::optional<int>(0)) << "not ended, with status 0, about a second after";
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(t.dir / "out"), {}), std::vector{t.dir / "out/felirat.srt"});
    for (const char* absent :
         {"onUrlFetched", "onExportComplete", "did not end in time", "runtime error:", "AddressSanitizer"})
        EXPECT_FALSE(anyContains(program, absent)) << absent << "\n" << dump(program);
}

}  // namespace
