// The real editor page in the real window: work is never saved, the program is killed, and the
// next start offers the work back; restoring brings the overlay and its clip back into the
// preview. The clip lies in a hidden folder of the home made after start-up, so the preview
// also shows that the page plays media the sandbox cannot read. Ctrl+Q still quits at once.
// Run through run_gui_test.sh (xvfb-run).
#include <gtest/gtest.h>

#include <memory>

#include "editor_screen.h"

namespace {

using namespace gui;

constexpr Rgb kClipColour{0x2a, 0x6f, 0x4e};  // a green no control of the editor uses

// Whether any file below dir holds the text, as UTF-8 or as UTF-16 (the page's storage keeps either).
bool storedBelow(const fs::path& dir, const std::string& ascii) {
    std::string wide;
    for (char c : ascii) wide += std::string{c, '\0'};
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->path().filename() == "stderr.txt") continue;
        std::string bytes = readFile(it->path());
        if (bytes.find(ascii) != std::string::npos || bytes.find(wide) != std::string::npos) return true;
    }
    return false;
}

class UnsavedWork : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
        dir_ = makeTempDir("unsaved_work");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        if (HasFailure() && program_) savePng(grabScreen(), dir_ / "at-failure.png");
        program_.reset();
        if (!HasFailure())
            fs::remove_all(dir_);
        else
            std::printf("kept for inspection: %s\n", dir_.c_str());
    }

    // The same user data on every start: the page's storage lives there.
    void start() {
        program_.reset();
        program_ = std::make_unique<Program>(TAMOVID_BIN, editorEnvironment(E2E_RESOURCE_DIR, dir_), dir_,
                                             dir_ / "stderr.txt");
    }
    std::string context() const {
        return "output:\n" + (program_ ? program_->dump() : std::string()) + "stderr:\n" +
               readFile(dir_ / "stderr.txt").substr(0, 3000);
    }

    // The clip in the preview with the added text on it, where the export puts it.
    static std::optional<Spot> clipWithText(const Image& s) {
        auto box = previewedColour(s, kClipColour, 100, 50);
        if (!box) return std::nullopt;
        Spot spot = whitePixels(s, *box);
        return spot.count >= 30 ? std::optional<Spot>(spot) : std::nullopt;
    }

    fs::path dir_;
    std::unique_ptr<Program> program_;
};

TEST_F(UnsavedWork, KilledWithoutSavingThenRestoredAtTheNextStart) {
    const std::string loaded = "📹 Video loaded: klip.mp4 (640x360, 2.0s)";
    start();
    ASSERT_TRUE(program_->waitForLine("🚀 TamoVideoEditor starting...", 30s)) << context();
    auto openButton = watchScreen<Box>(60s, emptyEditorOpenButton);
    ASSERT_TRUE(openButton) << "the editor page never showed its buttons; " << context();

    HiddenHomeFolder hidden;
    ASSERT_FALSE(hidden.path().empty()) << "no home folder to test in";
    fs::path clip = hidden.path() / "klip.mp4";
    ASSERT_TRUE(makeColourClip(clip, "2a6f4e", 640, 360, 2));
    ASSERT_TRUE(click(*openButton));
    ASSERT_TRUE(answerChooser("Videó megnyitása", clip, false)) << context();
    ASSERT_TRUE(program_->waitForLine(loaded, 30s)) << context();
    Image screen;
    auto clipBox = watchScreen<Box>(
        30s, [](const Image& s) { return previewedColour(s, kClipColour, 100, 50); }, &screen);
    ASSERT_TRUE(clipBox) << "the clip from the hidden folder never appeared in the preview; " << context();
    EXPECT_NEAR(double(clipBox->width()) / clipBox->height(), 640.0 / 360.0, 0.05);

    auto tile = textTile(screen);
    ASSERT_TRUE(tile) << "no add tile in the left column";
    ASSERT_TRUE(click(*tile));
    ASSERT_TRUE(watchScreen<Spot>(20s, clipWithText)) << "the preview never showed the added text";

    // The page keeps the work by itself, shortly after the change; then the program dies unsaved.
    auto deadline = Clock::now() + 30s;
    bool stored = false;
    // A list with an entry: the added text (a key of overlays alone would also match the caption
    // style, which is kept from the start).
    while (!(stored = storedBelow(dir_, "\"textObjects\":[{")) && Clock::now() < deadline)
        std::this_thread::sleep_for(250ms);
    ASSERT_TRUE(stored) << "the page's storage never got the work; " << context();
    program_->kill();

    // Next start: the offer, then the work and its clip back in the preview.
    start();
    ASSERT_TRUE(program_->waitForLine("🚀 TamoVideoEditor starting...", 30s)) << context();
    auto restoreButton = watchScreen<Box>(
        60s,
        [](const Image& s) -> std::optional<Box> {
            // Filled, unlike the offer's outline in the same colour.
            for (const auto& b : buttonShaped(findAreas(s, {0, 0, s.width, s.height / 2}, restoreAmber), 60, 18, 56))
                if (b.pixels * 2 >= b.width() * b.height()) return b;
            return std::nullopt;
        },
        &screen);
    ASSERT_TRUE(restoreButton) << "no restore offer at the next start; " << context();
    EXPECT_FALSE(previewedColour(screen, kClipColour, 100, 50)) << "nothing is restored before the user says so";
    ASSERT_TRUE(click(*restoreButton));
    ASSERT_TRUE(program_->waitForLine(loaded, 30s)) << context();
    auto text = watchScreen<Spot>(30s, clipWithText, &screen);
    ASSERT_TRUE(text) << "the restored text and clip never showed in the preview; " << context();
    EXPECT_NEAR(text->x, 0.5, 0.08);
    EXPECT_NEAR(text->y, 0.8, 0.08);
    EXPECT_TRUE(program_->linesStartingWith("❌").empty()) << context();
    EXPECT_TRUE(program_->linesStartingWith("⚠️").empty()) << context();

    // Quitting asks nothing, unsaved work or not.
    std::string window = findWindow("^Tamo Video Editor$", 10s);
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", window}));
    ASSERT_TRUE(xdotool({"key", "--clearmodifiers", "ctrl+q"}));
    auto code = program_->waitForExit(20s);
    ASSERT_TRUE(code.has_value()) << "still running after Ctrl+Q; " << context();
    EXPECT_EQ(*code, 0);
}

}  // namespace
