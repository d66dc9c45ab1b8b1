// Subtitles saved through the save chooser: the file lands where the user said, in the format
// asked for, in one piece, and the page hears how it went.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/fakes.h"

namespace tamo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const json kSegments = json::parse(R"([
    {"start": 1, "end": 2.5, "text": "Helló, világ!"},
    {"start": 3.0004, "end": 61.25, "text": "  második <sor> & vége  "},
    {"start": 70, "end": 71, "text": "   "},
    {"start": "x", "end": 2, "text": "bad"}
])");

class SubtitleFiles : public ::testing::Test {
protected:
    SubtitleFiles() {
        dir_ = fs::temp_directory_path() / ("tamo_subtitle_files_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~SubtitleFiles() override {
        std::error_code ec;
        fs::permissions(dir_ / "locked", fs::perms::owner_all, ec);
        fs::remove_all(dir_);
    }
    test::FakeApp fake_;
    test::LogCapture log_;
    fs::path dir_;
};

TEST_F(SubtitleFiles, SubRipThroughTheChooser) {
    fake_.dialogs->answers.push_back(dir_ / "film.srt");
    fake_.app->editorHandler->didReceive(
        json{{"action", "saveSubtitles"}, {"params", {{"segments", kSegments}, {"format", "srt"}}}});

    ASSERT_EQ(fake_.dialogs->requests.size(), 1u);
    EXPECT_EQ(fake_.dialogs->requests[0].kind, "save");
    EXPECT_EQ(fake_.dialogs->requests[0].options.suggestedName, "feliratok.srt");
    EXPECT_EQ(fake_.dialogs->requests[0].options.extensions, std::vector<std::string>{"srt"});
    EXPECT_EQ(slurp(dir_ / "film.srt"),
              "1\n00:00:01,000 --> 00:00:02,500\nHelló, világ!\n\n"
              "2\n00:00:03,000 --> 00:01:01,250\nmásodik <sor> & vége\n\n");
    EXPECT_EQ(fake_.page->calls, std::vector<std::string>{"onSubtitlesSaved('film.srt')"});
    // Nothing beside it: the temporary file of the atomic write is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SubtitleFiles, WebVttGetsItsExtensionAndReplacesAChosenFile) {
    std::ofstream(dir_ / "régi.vtt") << "old contents that are longer than the new ones will be, surely, yes";
    fake_.dialogs->answers.push_back(dir_ / "régi.VTT");  // what the chooser asked about, any case
    fake_.dialogs->answers.push_back(dir_ / "új");
    for (int i = 0; i < 2; ++i) fake_.app->saveSubtitles(kSegments, "vtt");

    EXPECT_EQ(fake_.dialogs->requests[0].options.suggestedName, "feliratok.vtt");
    const std::string expected =
        "WEBVTT\n\n00:00:01.000 --> 00:00:02.500\nHelló, világ!\n\n"
        "00:00:03.000 --> 00:01:01.250\nmásodik &lt;sor&gt; &amp; vége\n\n";
    EXPECT_EQ(slurp(dir_ / "régi.VTT"), expected);
    EXPECT_EQ(slurp(dir_ / "új.vtt"), expected);
    EXPECT_FALSE(fs::exists(dir_ / "új"));
    EXPECT_EQ(fake_.page->calls,
              (std::vector<std::string>{"onSubtitlesSaved('régi.VTT')", "onSubtitlesSaved('új.vtt')"}));
}

TEST_F(SubtitleFiles, ATypedNameReplacesTheFileItsExtensionWouldNameOnlyAfterAYes) {
    std::ofstream(dir_ / "vázlat.srt") << "keep me";
    fake_.dialogs->answers.push_back(dir_ / "vázlat");
    fake_.dialogs->questionAnswers.push_back(false);
    fake_.app->saveSubtitles(kSegments, "srt");
    EXPECT_EQ(slurp(dir_ / "vázlat.srt"), "keep me");
    EXPECT_EQ(fake_.dialogs->questions.size(), 1u);
    EXPECT_TRUE(fake_.page->calls.empty());

    fake_.dialogs->answers.push_back(dir_ / "vázlat");
    fake_.dialogs->questionAnswers.push_back(true);
    fake_.app->saveSubtitles(kSegments, "srt");
    EXPECT_EQ(slurp(dir_ / "vázlat.srt").rfind("1\n00:00:01,000 --> 00:00:02,500\n", 0), 0u);
    EXPECT_EQ(fake_.page->calls, std::vector<std::string>{"onSubtitlesSaved('vázlat.srt')"});
}

TEST_F(SubtitleFiles, FailuresAndCancelsLeaveNothingBehind) {
    // Cancelled: no file, no answer.
    fake_.app->saveSubtitles(kSegments, "srt");
    EXPECT_TRUE(fake_.page->calls.empty());

    // Nothing to save: no chooser at all.
    fake_.app->saveSubtitles(json::array({{{"start", 1}, {"end", 2}, {"text", " "}}}), "srt");
    fake_.app->saveSubtitles(json::array(), "vtt");
    EXPECT_EQ(fake_.dialogs->requests.size(), 1u);
    EXPECT_EQ(fake_.page->calls, (std::vector<std::string>{"onSubtitlesError('Nincs menthető felirat.')",
                                                           "onSubtitlesError('Nincs menthető felirat.')"}));

    // A folder that cannot be written to (as root every folder can).
    fs::create_directories(dir_ / "locked");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    fs::path missing = dir_ / "no such folder" / "a.srt";
    fake_.dialogs->answers.push_back(missing);
    fake_.app->saveSubtitles(kSegments, "srt");
    EXPECT_FALSE(fs::exists(missing));
    ASSERT_EQ(fake_.page->calls.size(), 3u);
    EXPECT_EQ(fake_.page->calls[2].rfind("onSubtitlesError('A feliratfájl nem menthető: ", 0), 0u)
        << fake_.page->calls[2];
    if (::geteuid() != 0) {
        fake_.dialogs->answers.push_back(dir_ / "locked" / "a.srt");
        fake_.app->saveSubtitles(kSegments, "srt");
        EXPECT_FALSE(fs::exists(dir_ / "locked" / "a.srt"));
        ASSERT_EQ(fake_.page->calls.size(), 4u);
        EXPECT_EQ(fake_.page->calls[3].rfind("onSubtitlesError(", 0), 0u);
    }
    bool logged = false;
    for (const auto& line : log_.lines()) logged |= line.rfind("❌ Subtitles not saved: ", 0) == 0;
    EXPECT_TRUE(logged);
}

}  // namespace
}  // namespace tamo
