// The real program with the real editor page, used the way a person would on a private X server:
// click "Videó megnyitása", answer the GTK chooser by typing a path, click "Szöveg", click
// "Exportálás", answer the save chooser, then decode the exported file and look at its pixels and
// its sound. Buttons are found on a screenshot by their looks (colour and size), so the test sees
// what a user sees. Screenshots of the program are kept in the artifacts folder.
// Run through run_gui_test.sh (xvfb-run, 1280×800 screen).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <tuple>

#include "editor_screen.h"

namespace {

using namespace gui;

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr Rgb kClipColour{0x2a, 0x6f, 0x4e};  // a green no control of the editor uses
const std::string kLoadedLine = "📹 Video loaded: clip.mp4 (640x360, 2.0s)";

// Success messages (#3ddc97).
bool okGreen(Rgb p) { return near(p, {0x3d, 0xdc, 0x97}, 30); }

// The clip in the preview: the largest green area in the middle of the screen.
std::optional<Box> previewedClip(const Image& screen) { return previewedColour(screen, kClipColour, 100, 50); }

// ---------------------------------------------------------------- reading the produced file

std::map<std::string, std::string> probe(const fs::path& file, const std::string& stream, const std::string& entries,
                                         bool countFrames = false) {
    std::vector<std::string> args{"ffprobe", "-v", "error", "-select_streams", stream};
    if (countFrames) args.push_back("-count_frames");
    std::vector<std::string> rest{"-show_entries", "stream=" + entries, "-of", "default=noprint_wrappers=1",
                                  file.string()};
    args.insert(args.end(), rest.begin(), rest.end());
    std::map<std::string, std::string> values;
    std::istringstream lines(runCommand(args, 60s).out);
    std::string line;
    while (std::getline(lines, line))
        if (auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

Image frameAt(const fs::path& file, double seconds, int width, int height) {
    Image image{width, height, {}};
    image.rgb = runCommand({"ffmpeg", "-v", "error", "-ss", std::to_string(seconds), "-i", file.string(), "-frames:v",
                            "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                           60s)
                    .out;
    return image;
}

struct Sound {
    double rms = 0;        // of full scale
    double frequency = 0;  // from upward zero crossings
    double seconds = 0;
};

Sound listen(const fs::path& file) {
    constexpr int rate = 16000;
    std::string pcm = runCommand({"ffmpeg", "-v", "error", "-i", file.string(), "-vn", "-ac", "1", "-ar",
                                  std::to_string(rate), "-f", "s16le", "-"},
                                 60s)
                          .out;
    Sound s;
    std::size_t n = pcm.size() / 2;
    if (n < 2) return s;
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
    double sum = 0;
    int crossings = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += double(samples[i]) * samples[i];
        if (i && samples[i - 1] < 0 && samples[i] >= 0) ++crossings;
    }
    s.seconds = double(n) / rate;
    s.rms = std::sqrt(sum / n) / 32768.0;
    s.frequency = crossings / s.seconds;
    return s;
}

// ---------------------------------------------------------------- the run

class EditorEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
        dir_ = makeTempDir("editor_e2e");
        ASSERT_FALSE(dir_.empty());
        fs::create_directories(dir_ / "media");
        fs::create_directories(dir_ / "out");
        clip_ = dir_ / "media/clip.mp4";
        ASSERT_TRUE(makeColourClip(clip_, "2a6f4e", kWidth, kHeight, 2)) << "ffmpeg could not make the clip";
        fs::remove_all(artifacts());
        fs::create_directories(artifacts());
    }

    void TearDown() override {
        if (program_) {
            // Whatever happened, the last picture of the screen is kept for whoever looks into a failure.
            if (HasFailure()) savePng(grabScreen(), artifacts() / "editor-at-failure.png");
            program_.reset();  // kills the program and its helpers
        }
        if (!HasFailure())
            fs::remove_all(dir_);
        else
            std::printf("kept for inspection: %s\n", dir_.c_str());
    }

    static fs::path artifacts() { return E2E_ARTIFACTS_DIR; }

    void start() {
        program_ = std::make_unique<Program>(TAMOVID_BIN, editorEnvironment(E2E_RESOURCE_DIR, dir_), dir_,
                                             dir_ / "stderr.txt");
    }

    std::string context() const {
        return "output:\n" + (program_ ? program_->dump() : std::string()) + "stderr:\n" +
               readFile(dir_ / "stderr.txt").substr(0, 3000);
    }

    fs::path dir_;
    fs::path clip_;
    std::unique_ptr<Program> program_;
};

TEST_F(EditorEndToEnd, OpenAddTextExportAndDecode) {
    start();
    ASSERT_TRUE(program_->waitForLine("🚀 TamoVideoEditor starting...", 30s)) << context();
    std::string window = findWindow("^Tamo Video Editor$", 60s);
    ASSERT_FALSE(window.empty()) << "no editor window; " << context();

    // 1. The editor page is drawn: its two violet buttons are on the screen.
    Image screen;
    auto openButton = watchScreen<Box>(60s, emptyEditorOpenButton, &screen);
    savePng(screen, artifacts() / "editor-start.png");
    ASSERT_TRUE(openButton) << "the editor page never showed its buttons; " << context();

    // 2. Open the clip through the page's button and the GTK chooser.
    ASSERT_TRUE(click(*openButton));
    ASSERT_TRUE(answerChooser("Videó megnyitása", clip_, false)) << "could not drive the open chooser; " << context();
    ASSERT_TRUE(program_->waitForLine(kLoadedLine, 30s)) << context();

    // The clip shows in the preview, without text yet.
    auto clipBox = watchScreen<Box>(30s, previewedClip, &screen);
    savePng(screen, artifacts() / "editor-video-loaded.png");
    ASSERT_TRUE(clipBox) << "the clip never appeared in the preview";
    EXPECT_NEAR(double(clipBox->width()) / clipBox->height(), double(kWidth) / kHeight, 0.05);
    EXPECT_LT(whitePixels(screen, *clipBox).count, 5) << "white pixels in the preview before any text";

    // 3. "Szöveg" adds a text; the preview draws it where the export will: centred, at 80 % height.
    auto tileBox = textTile(screen);
    ASSERT_TRUE(tileBox) << "no add tile in the left column";
    ASSERT_TRUE(click(*tileBox));
    auto text = watchScreen<Spot>(
        20s,
        [&](const Image& s) -> std::optional<Spot> {
            auto box = previewedClip(s);
            if (!box) return std::nullopt;
            Spot spot = whitePixels(s, *box);
            return spot.count >= 30 ? std::optional<Spot>(spot) : std::nullopt;
        },
        &screen);
    savePng(screen, artifacts() / "editor-text-added.png");
    ASSERT_TRUE(text) << "the preview never showed the added text";
    EXPECT_NEAR(text->x, 0.5, 0.08);
    EXPECT_NEAR(text->y, 0.8, 0.08);

    // 4. Export through the page's button and the save chooser.
    auto exportButton = watchScreen<Box>(10s, [](const Image& s) -> std::optional<Box> {
        for (const auto& b : buttonShaped(findAreas(s, {s.width / 2, 0, s.width, 90}, primaryViolet), 80, 24, 56))
            return b;
        return std::nullopt;
    });
    ASSERT_TRUE(exportButton) << "no export button in the top bar";
    fs::path output = dir_ / "out/exported.mp4";
    ASSERT_TRUE(click(*exportButton));
    ASSERT_TRUE(answerChooser("Videó exportálása", output, true)) << "could not drive the save chooser; " << context();
    ASSERT_TRUE(program_->waitForLine("✅ Export complete: " + output.string(), 90s)) << context();
    // The page tells the user: its dialog and a message in the success colour.
    auto told = watchScreen<int>(
        15s,
        [](const Image& s) -> std::optional<int> {
            int n = 0;
            for (const auto& a : findAreas(s, {0, 0, s.width, s.height}, okGreen)) n += a.pixels;
            return n >= 150 ? std::optional<int>(n) : std::nullopt;
        },
        &screen);
    savePng(screen, artifacts() / "editor-exported.png");
    EXPECT_TRUE(told) << "no success message on the page";

    // Nothing went wrong along the way, in the page or the native side.
    EXPECT_TRUE(program_->linesStartingWith("❌").empty()) << context();
    EXPECT_TRUE(program_->linesStartingWith("⚠️").empty()) << context();
    // In the sanitizer build, reports go to standard error without ending the program.
    std::string errors = readFile(dir_ / "stderr.txt");
    EXPECT_EQ(errors.find("runtime error:"), std::string::npos) << errors.substr(0, 4000);
    EXPECT_EQ(errors.find("AddressSanitizer"), std::string::npos) << errors.substr(0, 4000);

    // 5. The file: the clip's size and frames, the text burnt in, the tone kept.
    auto video = probe(output, "v:0", "codec_name,width,height,nb_read_frames", true);
    auto source = probe(clip_, "v:0", "nb_read_frames", true);
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["width"], std::to_string(kWidth));
    EXPECT_EQ(video["height"], std::to_string(kHeight));
    ASSERT_FALSE(source["nb_read_frames"].empty());
    EXPECT_NEAR(std::atoi(video["nb_read_frames"].c_str()), std::atoi(source["nb_read_frames"].c_str()), 1);

    Image before = frameAt(clip_, 1.0, kWidth, kHeight);
    Image after = frameAt(output, 1.0, kWidth, kHeight);
    ASSERT_TRUE(before.valid() && after.valid()) << "could not decode a frame at 1 s";
    Spot burnt = whitePixels(after, {0, 0, kWidth, kHeight});
    EXPECT_GE(burnt.count, 100) << "too few text pixels in the exported frame";
    EXPECT_NEAR(burnt.x, 0.5, 0.05);
    EXPECT_NEAR(burnt.y, 0.8, 0.05);
    // What the preview showed is what was exported: the same size relative to the picture.
    EXPECT_NEAR(burnt.width, text->width, text->width * 0.15);
    EXPECT_NEAR(burnt.height, text->height, text->height * 0.25);
    EXPECT_EQ(whitePixels(before, {0, 0, kWidth, kHeight}).count, 0);
    // Away from the text the picture is the clip's own.
    int changedElsewhere = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if ((y < kHeight * 6 / 10 || y > kHeight * 95 / 100) && !near(after.at(x, y), before.at(x, y), 16))
                ++changedElsewhere;
    EXPECT_EQ(changedElsewhere, 0);
    EXPECT_TRUE(near(after.at(5, 5), kClipColour, 12));

    auto audio = probe(output, "a:0", "codec_name,sample_rate");
    EXPECT_EQ(audio["codec_name"], "aac");
    Sound heard = listen(output);
    Sound original = listen(clip_);
    EXPECT_NEAR(heard.frequency, 440, 15);
    EXPECT_NEAR(heard.rms, original.rms, original.rms * 0.2);
    EXPECT_NEAR(heard.seconds, 2.0, 0.15);
    std::printf("preview text: %d pixels at (%.3f, %.3f), %.3f x %.3f of the picture\n", text->count, text->x, text->y,
                text->width, text->height);
    std::printf("exported: %s frames, text %d pixels at (%.3f, %.3f), %.3f x %.3f; tone %.1f Hz rms %.3f over %.2f s\n",
                video["nb_read_frames"].c_str(), burnt.count, burnt.x, burnt.y, burnt.width, burnt.height,
                heard.frequency, heard.rms, heard.seconds);
}

}  // namespace
