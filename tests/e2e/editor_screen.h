// Finding the editor page's controls on a screenshot by their looks, clicking them, and answering
// GTK choosers by typing, for the GUI tests that drive the real editor page.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "gui_program.h"

namespace gui {

// The editor's primary buttons: a violet gradient (#8b6cff → #6c4cf0) with white text.
inline bool primaryViolet(Rgb p) {
    return p.b >= 200 && p.r >= 90 && p.r <= 175 && p.g >= 55 && p.g <= 135 && p.b - p.g >= 90;
}
// The tiles of the "Elem hozzáadása" grid (#1b1f2a).
inline bool addTile(Rgb p) { return near(p, {0x1b, 0x1f, 0x2a}, 2); }
// The chosen crop preset's pill (#2a2450), marked by the page's script once it has started.
inline bool activePreset(Rgb p) { return near(p, {0x2a, 0x24, 0x50}, 3); }
// The restore offer's own button (#f0a830).
inline bool restoreAmber(Rgb p) { return near(p, {0xf0, 0xa8, 0x30}, 12); }
inline bool whiteText(Rgb p) { return p.r >= 215 && p.g >= 215 && p.b >= 215; }

// Areas a button could be: wide and about one line of text tall.
inline std::vector<Box> buttonShaped(std::vector<Box> areas, int minWidth, int minHeight, int maxHeight) {
    areas.erase(std::remove_if(areas.begin(), areas.end(),
                               [&](const Box& b) {
                                   return b.width() < minWidth || b.height() < minHeight || b.height() > maxHeight;
                               }),
                areas.end());
    return areas;
}

// The empty editor, its script running: one violet button in the top bar (export), one in the
// preview ("Videó megnyitása", the one returned), and the active crop preset above the preview.
inline std::optional<Box> emptyEditorOpenButton(const Image& screen) {
    auto presets =
        buttonShaped(findAreas(screen, {screen.width / 5, 60, screen.width * 4 / 5, 160}, activePreset), 30, 16, 44);
    if (presets.empty()) return std::nullopt;
    auto violet = buttonShaped(findAreas(screen, {0, 0, screen.width, screen.height}, primaryViolet), 80, 24, 56);
    std::optional<Box> top, middle;
    for (const auto& b : violet) {
        if (b.y1 <= 90 && b.x0 > screen.width / 2)
            top = b;
        else if (b.y0 > 90 && b.x0 > screen.width / 5 && b.x1 < screen.width * 4 / 5)
            middle = b;
    }
    if (!top || !middle) return std::nullopt;
    return middle;
}

// The top-left tile of the add grid in the left column: "Szöveg".
inline std::optional<Box> textTile(const Image& screen) {
    auto tiles = buttonShaped(findAreas(screen, {0, 60, screen.width / 4, screen.height * 3 / 4}, addTile), 50, 36, 90);
    if (tiles.empty()) return std::nullopt;
    return *std::min_element(tiles.begin(), tiles.end(),
                             [](const Box& a, const Box& b) { return std::tie(a.y0, a.x0) < std::tie(b.y0, b.x0); });
}

// The largest area of the colour in the middle of the screen, when it is at least minW × minH.
inline std::optional<Box> previewedColour(const Image& screen, Rgb colour, int minW, int minH) {
    auto areas = findAreas(screen, {screen.width / 5, 60, screen.width * 4 / 5, screen.height},
                           [&](Rgb p) { return near(p, colour, 24); });
    auto best =
        std::max_element(areas.begin(), areas.end(), [](const Box& a, const Box& b) { return a.pixels < b.pixels; });
    if (best == areas.end() || best->width() < minW || best->height() < minH) return std::nullopt;
    return *best;
}

struct Spot {
    int count = 0;
    double x = 0, y = 0;           // centre of the counted pixels as shares of the box
    double width = 0, height = 0;  // their extent as shares of the box
};

inline Spot whitePixels(const Image& image, const Box& box) {
    Spot s;
    double sx = 0, sy = 0;
    int x0 = box.x1, y0 = box.y1, x1 = box.x0, y1 = box.y0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x)
            if (whiteText(image.at(x, y))) {
                ++s.count;
                sx += x - box.x0;
                sy += y - box.y0;
                x0 = std::min(x0, x), x1 = std::max(x1, x + 1), y0 = std::min(y0, y), y1 = std::max(y1, y + 1);
            }
    if (s.count) {
        s.x = sx / s.count / box.width();
        s.y = sy / s.count / box.height();
        s.width = double(x1 - x0) / box.width();
        s.height = double(y1 - y0) / box.height();
    }
    return s;
}

inline bool click(const Box& b) {
    return xdotool({"mousemove", "--sync", std::to_string(b.centerX()), std::to_string(b.centerY()), "click", "1"});
}

// Answers a GTK file chooser like a user: wait for it, focus it, type the path into its location
// field (Ctrl+L opens it in the open chooser; the save chooser has its name field focused, where
// Ctrl+A replaces the proposed name) and press Return. Keys sent before the chooser has taken the
// focus can be lost: while it stays open, the answer is typed again.
inline bool answerChooser(const std::string& title, const fs::path& path, bool save) {
    const std::string pattern = "^" + title + "$";
    std::string window = findWindow(pattern, 30s);
    if (window.empty()) return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!xdotool({"windowfocus", "--sync", window})) return false;
        std::this_thread::sleep_for(400ms);
        if (!save && !xdotool({"key", "--clearmodifiers", "ctrl+l"})) return false;
        std::this_thread::sleep_for(200ms);
        if (!xdotool({"key", "--clearmodifiers", "ctrl+a"})) return false;
        if (!xdotool({"type", "--delay", "15", path.string()})) return false;
        std::this_thread::sleep_for(300ms);
        if (!xdotool({"key", "--clearmodifiers", "Return"})) return false;
        auto deadline = Clock::now() + 8s;
        while (Clock::now() < deadline) {
            if (runCommand({"xdotool", "search", "--onlyvisible", "--name", pattern}, 10s).out.empty()) return true;
            std::this_thread::sleep_for(200ms);
        }
        std::printf("the chooser \"%s\" is still open; typing the answer again\n", title.c_str());
    }
    return false;
}

// Polls screenshots until the test accepts one.
template <typename T>
std::optional<T> watchScreen(std::chrono::seconds timeout, const std::function<std::optional<T>(const Image&)>& look,
                             Image* last = nullptr) {
    auto deadline = Clock::now() + timeout;
    do {
        Image screen = grabScreen();
        if (screen.valid()) {
            if (last) *last = screen;
            if (auto seen = look(screen)) return seen;
        }
        std::this_thread::sleep_for(250ms);
    } while (Clock::now() < deadline);
    return std::nullopt;
}

// A folder in the user's home that the program did not know at start: hidden, made by the test
// once the program runs, removed at the end.
class HiddenHomeFolder {
public:
    HiddenHomeFolder() {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return;
        std::string pattern = (fs::path(home) / ".tamo-test-XXXXXX").string();
        if (char* made = mkdtemp(pattern.data())) path_ = made;
    }
    ~HiddenHomeFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    HiddenHomeFolder(const HiddenHomeFolder&) = delete;
    HiddenHomeFolder& operator=(const HiddenHomeFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A clip of one flat colour with a 440 Hz tone, made with the ffmpeg command.
inline bool makeColourClip(const fs::path& file, const std::string& hexColour, int width, int height, int seconds) {
    return runCommand({"ffmpeg",
                       "-v",
                       "error",
                       "-f",
                       "lavfi",
                       "-i",
                       "color=c=0x" + hexColour + ":s=" + std::to_string(width) + "x" + std::to_string(height) +
                           ":r=25:d=" + std::to_string(seconds),
                       "-f",
                       "lavfi",
                       "-i",
                       "sine=f=440:d=" + std::to_string(seconds),
                       "-c:v",
                       "libx264",
                       "-pix_fmt",
                       "yuv420p",
                       "-c:a",
                       "aac",
                       "-shortest",
                       "-y",
                       file.string()},
                      60s)
               .exitCode == 0;
}

}  // namespace gui
