// The real program with the real editor page, used the way a person would: click "Videó
// megnyitása", answer the chooser with a clip from a hidden home folder, click "Szöveg", export
// through the save chooser, then decode the file and look at its pixels and sound. Then the
// program is killed with the work unsaved; the next start offers it back and restoring brings the
// text and its clip into the preview. Controls are found on screenshots by their looks.
#include <cmath>
#include <cstdint>

#include "gui.h"

namespace {

using namespace gui;

struct Rgb {
    int r, g, b;
};
using Accept = std::function<bool(Rgb)>;
struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, pixels = 0;  // x1, y1 one past the last pixel
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
};
// A screenshot or a decoded frame as rows of RGB bytes.
struct Image {
    int width = 0, height = 0;
    std::string rgb;
    bool valid() const { return width > 0 && rgb.size() == std::size_t(width) * height * 3; }
    Rgb at(int x, int y) const {
        const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (std::size_t(y) * width + x);
        return {p[0], p[1], p[2]};
    }
};

bool near(Rgb p, Rgb want, int tolerance) {
    return std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
           std::abs(p.b - want.b) <= tolerance;
}
Accept like(Rgb want, int tolerance) {
    return [=](Rgb p) { return near(p, want, tolerance); };
}
constexpr Rgb kClip{0x2a, 0x6f, 0x4e};  // a green no control of the editor uses
bool violet(Rgb p) { return p.b >= 200 && p.r >= 90 && p.r <= 175 && p.g >= 55 && p.g <= 135 && p.b - p.g >= 90; }
bool white(Rgb p) { return p.r >= 215 && p.g >= 215 && p.b >= 215; }

// Connected areas (4-neighbourhood) of accepted pixels inside the region, wide and about one line
// of text tall as a button is when minHeight > 0.
std::vector<Box> areas(const Image& image, Box region, const Accept& accept, int minWidth = 0, int minHeight = 0,
                       int maxHeight = 1 << 20) {
    region.x1 = std::min(region.x1, image.width), region.y1 = std::min(region.y1, image.height);
    int w = region.width(), h = region.height();
    std::vector<Box> found;
    std::vector<char> seen(std::size_t(std::max(w, 0)) * std::max(h, 0), 0);
    for (int start = 0; start < w * h; ++start) {
        if (seen[start] || !accept(image.at(region.x0 + start % w, region.y0 + start / w))) continue;
        Box box{region.x1, region.y1, 0, 0, 0};
        std::vector<int> queue{start};
        seen[start] = 1;
        while (!queue.empty()) {
            int j = queue.back(), px = j % w, py = j / w;
            queue.pop_back();
            ++box.pixels;
            box.x0 = std::min(box.x0, region.x0 + px), box.x1 = std::max(box.x1, region.x0 + px + 1);
            box.y0 = std::min(box.y0, region.y0 + py), box.y1 = std::max(box.y1, region.y0 + py + 1);
            for (int k = 0; k < 4; ++k) {
                int nx = px + (k == 0) - (k == 1), ny = py + (k == 2) - (k == 3), n = ny * w + nx;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h || seen[n]) continue;
                if (accept(image.at(region.x0 + nx, region.y0 + ny))) seen[n] = 1, queue.push_back(n);
            }
        }
        if (box.width() >= minWidth && box.height() >= minHeight && box.height() <= maxHeight) found.push_back(box);
    }
    return found;
}

// One picture through ffmpeg: the X screen (without the pointer) or a frame of a file.
Image grab(std::vector<std::string> input, int width = 1280, int height = 800) {
    input.insert(input.begin(), {"ffmpeg", "-v", "error"});
    input.insert(input.end(), {"-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    return {width, height, run(input).second};
}
Image screen() { return grab({"-f", "x11grab", "-draw_mouse", "0", "-s", "1280x800", "-i", std::getenv("DISPLAY")}); }

// Polls screenshots until look finds something; the last screenshot stays in last.
template <typename T>
std::optional<T> watch(const std::function<std::optional<T>(const Image&)>& look, Image& last, int seconds = 30) {
    for (auto until = Clock::now() + std::chrono::seconds(seconds); Clock::now() < until;) {
        if ((last = screen()).valid())
            if (auto seen = look(last)) return seen;
        std::this_thread::sleep_for(250ms);
    }
    return std::nullopt;
}
std::optional<Box> first(const std::vector<Box>& b) { return b.empty() ? std::nullopt : std::optional(b.front()); }
bool click(const Box& b) {
    return xdotool(
        {"mousemove", "--sync", std::to_string((b.x0 + b.x1) / 2), std::to_string((b.y0 + b.y1) / 2), "click", "1"});
}

// The clip in the preview: the largest area of its green in the middle of the screen.
std::optional<Box> clipIn(const Image& s) {
    auto found = areas(s, {s.width / 5, 60, s.width * 4 / 5, s.height}, like(kClip, 24));
    auto best = std::max_element(found.begin(), found.end(), [](auto& a, auto& b) { return a.pixels < b.pixels; });
    if (best == found.end() || best->width() < 100 || best->height() < 50) return std::nullopt;
    return *best;
}

// White (text) pixels in the box: how many, their centre and extent as shares of the box.
struct Spot {
    int count = 0;
    double x = 0, y = 0, width = 0, height = 0;
};
Spot whiteIn(const Image& image, const Box& box) {
    Spot s;
    int x0 = box.x1, y0 = box.y1, x1 = box.x0, y1 = box.y0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x)
            if (white(image.at(x, y)))
                ++s.count, s.x += x, s.y += y, x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1),
                                               y1 = std::max(y1, y + 1);
    double w = box.width(), h = box.height();
    if (s.count)
        s = {s.count, (s.x / s.count - box.x0) / w, (s.y / s.count - box.y0) / h, (x1 - x0) / w, (y1 - y0) / h};
    return s;
}
std::optional<Spot> textOnClip(const Image& s) {
    auto box = clipIn(s);
    if (!box) return std::nullopt;
    Spot spot = whiteIn(s, *box);
    return spot.count >= 30 ? std::optional<Spot>(spot) : std::nullopt;
}

struct Sound {
    double rms = 0, frequency = 0, seconds = 0;  // loudness of full scale, pitch from upward zero crossings
};
Sound listen(const fs::path& file) {
    std::string pcm =
        run({"ffmpeg", "-v", "error", "-i", file.string(), "-ac", "1", "-ar", "16000", "-f", "s16le", "-"}).second;
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
    std::size_t n = pcm.size() / 2;
    Sound s{0, 0, n / 16000.0};
    for (std::size_t i = 0; i < n; ++i) {
        s.rms += double(samples[i]) * samples[i];
        if (i && samples[i - 1] < 0 && samples[i] >= 0) s.frequency += 1 / s.seconds;
    }
    s.rms = n ? std::sqrt(s.rms / n) / 32768.0 : 0;
    return s;
}

TEST(Editor, OpenAddTextExportDecodeThenRestoreUnsavedWork) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through run_gui_test.sh (xvfb-run)";
    TestFolder t("editor");
    auto program = std::make_unique<Program>(t.env(E2E_RESOURCE_DIR), TAMOVID_BIN, t.dir.string());
    Image shot;
    // The editor page drawn: a violet export button in the top bar and "Videó megnyitása" in the preview.
    auto openButton = watch<Box>(
        [](const Image& s) {
            auto top = areas(s, {s.width / 2, 0, s.width, 90}, violet, 80, 24, 56);
            return top.empty() ? std::nullopt
                               : first(areas(s, {s.width / 5, 90, s.width * 4 / 5, s.height}, violet, 80, 24, 56));
        },
        shot, 90);
    ASSERT_TRUE(openButton) << "the editor page never showed its buttons; " << dump(*program);

    HiddenHomeFolder hidden;
    fs::path clip = hidden.path / "klip.mp4";
    const std::string loaded = "📹 Video loaded: klip.mp4 (640x360, 2.0s)";
    ASSERT_TRUE(makeClip(clip, "color=c=0x2a6f4e:s=640x360", 2));
    ASSERT_TRUE(click(*openButton));
    ASSERT_TRUE(answerChooser("Videó megnyitása", clip, false)) << dump(*program);
    ASSERT_TRUE(program->waitForLine(loaded, 30s)) << dump(*program);
    auto clipBox = watch<Box>(clipIn, shot);
    ASSERT_TRUE(clipBox) << "the clip never appeared in the preview";
    EXPECT_NEAR(double(clipBox->width()) / clipBox->height(), 640.0 / 360, 0.05);
    EXPECT_LT(whiteIn(shot, *clipBox).count, 5) << "white in the preview before any text";

    // "Szöveg", the top-left tile of the add grid; the preview draws the text where the export will.
    auto tiles = areas(shot, {0, 60, shot.width / 4, shot.height * 3 / 4}, like({0x1b, 0x1f, 0x2a}, 2), 50, 36, 90);
    ASSERT_FALSE(tiles.empty()) << "no add tile in the left column";
    ASSERT_TRUE(click(*std::min_element(tiles.begin(), tiles.end(),
                                        [](auto& a, auto& b) { return std::tie(a.y0, a.x0) < std::tie(b.y0, b.x0); })));
    auto text = watch<Spot>(textOnClip, shot);
    ASSERT_TRUE(text) << "the preview never showed the added text";
    EXPECT_NEAR(text->x, 0.5, 0.08);
    EXPECT_NEAR(text->y, 0.8, 0.08);

    auto exportButton = first(areas(shot, {shot.width / 2, 0, shot.width, 90}, violet, 80, 24, 56));
    ASSERT_TRUE(exportButton);
    fs::path output = t.dir / "exported.mp4";
    ASSERT_TRUE(click(*exportButton));
    ASSERT_TRUE(answerChooser("Videó exportálása", output, true)) << dump(*program);
    ASSERT_TRUE(program->waitForLine("✅ Export complete: " + output.string(), 90s)) << dump(*program);

    // The file: the clip's size and frames, the text burnt in where the preview showed it, the tone kept.
    EXPECT_EQ(run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                   "stream=codec_name,width,height,nb_read_frames", "-of", "csv=p=0", output.string()})
                  .second,
              "h264,640,360,50\n");
    Image before = grab({"-ss", "1", "-i", clip.string()}, 640, 360),
          after = grab({"-ss", "1", "-i", output.string()}, 640, 360);
    ASSERT_TRUE(before.valid() && after.valid());
    Spot burnt = whiteIn(after, {0, 0, 640, 360});
    EXPECT_GE(burnt.count, 100);
    EXPECT_NEAR(burnt.x, 0.5, 0.05);
    EXPECT_NEAR(burnt.y, 0.8, 0.05);
    EXPECT_NEAR(burnt.width, text->width, text->width * 0.15);
    EXPECT_NEAR(burnt.height, text->height, text->height * 0.25);
    int changedElsewhere = 0;
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 640; ++x)
            changedElsewhere += (y < 216 || y > 342) && !near(after.at(x, y), before.at(x, y), 16);
    EXPECT_EQ(changedElsewhere, 0);
    EXPECT_TRUE(near(after.at(5, 5), kClip, 12));
    Sound heard = listen(output), original = listen(clip);
    EXPECT_NEAR(heard.frequency, 440, 15);
    EXPECT_NEAR(heard.rms, original.rms, original.rms * 0.2);
    EXPECT_NEAR(heard.seconds, 2.0, 0.15);

    // The page keeps the work by itself shortly after a change (a list with the added text); then the
    // program dies without saving.
    auto stored = [&] {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(t.dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string bytes = it->is_regular_file(ec) ? readFile(it->path()) : "", ascii = "\"textObjects\":[{", wide;
            for (char c : ascii) wide += std::string{c, '\0'};  // the storage keeps UTF-8 or UTF-16
            if (bytes.find(ascii) != std::string::npos || bytes.find(wide) != std::string::npos) return true;
        }
        return false;
    };
    for (auto until = Clock::now() + 30s; !stored() && Clock::now() < until;) std::this_thread::sleep_for(250ms);
    ASSERT_TRUE(stored()) << "the page's storage never got the work";
    for (const auto& l : program->lines())
        EXPECT_TRUE(l.rfind("❌", 0) != 0 && l.rfind("⚠️", 0) != 0 &&
                    l.find("runtime error:") == std::string::npos && l.find("AddressSanitizer") == std::string::npos)
            << l;
    program.reset();

    // The next start offers the work back (the offer's filled amber button); nothing comes back before.
    program = std::make_unique<Program>(t.env(E2E_RESOURCE_DIR), TAMOVID_BIN, t.dir.string());
    auto restore = watch<Box>(
        [](const Image& s) -> std::optional<Box> {
            for (const auto& b : areas(s, {0, 0, s.width, s.height / 2}, like({0xf0, 0xa8, 0x30}, 12), 60, 18, 56))
                if (b.pixels * 2 >= b.width() * b.height()) return b;
            return std::nullopt;
        },
        shot, 90);
    ASSERT_TRUE(restore) << "no restore offer at the next start; " << dump(*program);
    EXPECT_FALSE(clipIn(shot));
    ASSERT_TRUE(click(*restore));
    ASSERT_TRUE(program->waitForLine(loaded, 30s)) << dump(*program);
    auto restored = watch<Spot>(textOnClip, shot);
    ASSERT_TRUE(restored) << "the restored text and clip never showed in the preview";
    EXPECT_NEAR(restored->x, 0.5, 0.08);
    EXPECT_NEAR(restored->y, 0.8, 0.08);

    // Ctrl+Q quits at once, unsaved work or not.
    ASSERT_TRUE(focus("Tamo Video Editor"));
    ASSERT_TRUE(key("ctrl+q"));
    EXPECT_EQ(program->waitForExit(20s), std::optional<int>(0));
}

}  // namespace
