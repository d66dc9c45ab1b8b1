// The real program with a small test page: subtitles saved through the GTK save chooser, then a
// clip in a hidden folder of the home made after start-up, which the web process's sandbox cannot
// read, played and read in byte ranges through the program's media scheme; files the program
// never handed to the page are refused. Run through run_gui_test.sh (xvfb-run).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <regex>

#include "editor_screen.h"

namespace {

using namespace gui;

const std::string kLog = "📋 JS[log]: ";

// The page's summary of some bytes: count, first eight in hex, a position-weighted sum.
std::string summary(const std::string& bytes) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        sum = (sum + static_cast<unsigned char>(bytes[i]) * (i + 1)) % 1000000007ULL;
    std::string head;
    char hex[3];
    for (std::size_t i = 0; i < std::min<std::size_t>(8, bytes.size()); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
        head += hex;
    }
    return std::to_string(bytes.size()) + " " + head + " " + std::to_string(sum);
}

struct SrtCue {
    int number = 0;
    std::string from, to;
    std::vector<std::string> lines;
};

// Reads SubRip text strictly: number line, time line, text lines, one blank line after each cue.
std::optional<std::vector<SrtCue>> parseSrt(const std::string& text) {
    std::vector<SrtCue> cues;
    std::istringstream in(text);
    std::string line;
    const std::regex timing(R"((\d\d:\d\d:\d\d,\d\d\d) --> (\d\d:\d\d:\d\d,\d\d\d))");
    while (std::getline(in, line)) {
        SrtCue cue;
        try {
            cue.number = std::stoi(line);
        } catch (...) {
            return std::nullopt;
        }
        std::smatch m;
        if (!std::getline(in, line) || !std::regex_match(line, m, timing)) return std::nullopt;
        cue.from = m[1];
        cue.to = m[2];
        while (std::getline(in, line) && !line.empty()) cue.lines.push_back(line);
        if (cue.lines.empty()) return std::nullopt;
        cues.push_back(cue);
    }
    return cues;
}

TEST(LocalMedia, SubtitlesSavedAndAClipOutsideTheSandboxPlayedInRanges) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
    fs::path dir = makeTempDir("local_media");
    ASSERT_FALSE(dir.empty());
    fs::copy(E2E_PAGES_DIR "/media", dir / "res", fs::copy_options::recursive);
    fs::create_directories(dir / "out");

    auto program = std::make_unique<Program>(TAMOVID_BIN, editorEnvironment(dir / "res", dir), dir, dir / "stderr.txt");
    auto context = [&] {
        return "output:\n" + program->dump() + "stderr:\n" + readFile(dir / "stderr.txt").substr(0, 3000);
    };
    ASSERT_TRUE(program->waitForLine(kLog + "media page ready", 60s)) << context();

    // 1. Subtitles: the name is typed without its extension; the file gets it and parses as SubRip.
    ASSERT_TRUE(answerChooser("Feliratok mentése", dir / "out/felirat", true)) << context();
    ASSERT_TRUE(program->waitForLine(kLog + "subtitles saved felirat.srt", 30s)) << context();
    fs::path srtFile = dir / "out/felirat.srt";
    EXPECT_TRUE(program->has("💾 Subtitles saved: " + srtFile.string())) << context();
    EXPECT_FALSE(fs::exists(dir / "out/felirat"));
    auto cues = parseSrt(readFile(srtFile));
    ASSERT_TRUE(cues) << readFile(srtFile);
    ASSERT_EQ(cues->size(), 3u) << "the blank segment is left out";
    EXPECT_EQ((*cues)[0].number, 1);
    EXPECT_EQ((*cues)[0].from, "00:00:00,500");
    EXPECT_EQ((*cues)[0].to, "00:00:02,250");
    EXPECT_EQ((*cues)[0].lines, std::vector<std::string>{"Árvíztűrő tükörfúrógép"});
    EXPECT_EQ((*cues)[1].lines, (std::vector<std::string>{"második", "sor --> vége"}));
    EXPECT_EQ((*cues)[2].number, 3);
    EXPECT_EQ((*cues)[2].to, "01:01:11,200");
    EXPECT_EQ((*cues)[2].lines, std::vector<std::string>{"egy óra múlva 🎬"});

    // 2. Made now, after start-up, hidden, in the home: no sandbox mount covers it.
    HiddenHomeFolder hidden;
    ASSERT_FALSE(hidden.path().empty()) << "no home folder to test in";
    fs::path clip = hidden.path() / "klip 1.mp4";  // typed by xdotool: ASCII only
    ASSERT_TRUE(makeColourClip(clip, "2a6f4e", 320, 180, 2));
    ASSERT_TRUE(makeColourClip(hidden.path() / "neighbour.mp4", "903030", 160, 90, 1));
    ASSERT_TRUE(answerChooser("Videó megnyitása", clip, false)) << context();
    ASSERT_TRUE(program->waitForLine("📹 Video loaded: klip 1.mp4 (320x180, 2.0s)", 30s)) << context();

    ASSERT_TRUE(program->waitForLine(kLog + "requests done", 60s)) << context();
    EXPECT_TRUE(program->has(kLog + "scheme tamo-media")) << context();
    ASSERT_TRUE(program->waitForLine(kLog + "video 320x180 2.0", 60s))
        << "the page never played the clip; " << context();
    EXPECT_TRUE(program->waitForLine(kLog + "seeked 1.5", 30s)) << context();

    std::string bytes = readFile(clip);
    ASSERT_GT(bytes.size(), 200u);
    const std::string size = std::to_string(bytes.size());
    EXPECT_TRUE(program->has(kLog + "range 206 [bytes 100-199/" + size + "] " + summary(bytes.substr(100, 100))))
        << context();
    EXPECT_TRUE(program->has(kLog + "tail 206 [bytes " + std::to_string(bytes.size() - 16) + "-" +
                             std::to_string(bytes.size() - 1) + "/" + size + "] " +
                             summary(bytes.substr(bytes.size() - 16))))
        << context();
    EXPECT_TRUE(program->has(kLog + "whole 200 [] " + summary(bytes))) << context();
    EXPECT_TRUE(program->has(kLog + "beyond 416 [bytes */" + size + "] " + summary(""))) << context();
    // Never handed to the page: refused, even beside an allowed file.
    EXPECT_TRUE(program->has(kLog + "neighbour 403 [] " + summary(""))) << context();
    EXPECT_TRUE(program->has(kLog + "system 403 [] " + summary(""))) << context();
    EXPECT_TRUE(program->anyContains("⚠️ Media request refused: tamo-media:///etc/passwd")) << context();
    EXPECT_FALSE(program->anyContains("video error")) << context();
    EXPECT_TRUE(program->linesStartingWith("❌").empty()) << context();

    program.reset();
    if (!::testing::Test::HasFailure())
        fs::remove_all(dir);
    else
        std::printf("kept for inspection: %s\n", dir.c_str());
}

}  // namespace
