// Overlays burnt into synthetic frames: progress bar, pictures, texts, emoji, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "export/overlay_renderer.h"
#include "frame_fixture.h"

namespace tamo {
namespace {

using testing::Bgra;
using testing::Box;
using testing::findBox;
using testing::plainText;
using testing::TestFrame;

constexpr Bgra kBlack{0, 0, 0, 255};
constexpr Bgra kGrey{128, 128, 128, 255};

void render(TestFrame& f, const OverlaySet& set, double t, double duration = 10) {
    OverlayRenderer r(std::make_shared<const OverlaySet>(set), f.width(), f.height(), duration);
    r.processFrame(f.view(), t);
}

bool isRed(const Bgra& p) { return p.r > 200 && p.g < 60 && p.b < 60; }
bool isBright(const Bgra& p) { return p.r > 128 && p.g > 128 && p.b > 128; }
bool differs(const Bgra& a, const Bgra& b) {
    return std::abs(a.r - b.r) > 8 || std::abs(a.g - b.g) > 8 || std::abs(a.b - b.b) > 8;
}

// --- Progress bar ---------------------------------------------------------------------------

struct BarCase {
    const char* what;
    std::string position;
    double t, duration;
    int fillEnd;   // first column not filled
    bool topRows;  // bar at rows 0..19 (else at the bottom 20 rows)
};

class ProgressBar : public ::testing::TestWithParam<BarCase> {};

TEST_P(ProgressBar, FillsItsShareOfTheWidth) {
    const BarCase& c = GetParam();
    TestFrame f(1080, 200);
    f.fill(kBlack);
    OverlaySet set;
    ProgressBarDrawInfo bar;
    bar.color = RgbaColor{1, 0, 0, 1};
    bar.bgColor = RgbaColor{0, 0, 1, 1};
    bar.bgOpacity = 0.5;
    bar.heightPercent = 10;  // 20 rows
    bar.position = c.position;
    set.progressBar = bar;
    render(f, set, c.t, c.duration);

    const int barTop = c.topRows ? 0 : 180;
    const Bgra track{128, 0, 0, 255};  // blue at half opacity over black
    for (int y : {barTop, barTop + 10, barTop + 19}) {
        if (c.fillEnd > 0) {
            EXPECT_TRUE(isRed(f.at(c.fillEnd - 2, y))) << c.what << " row " << y;
            EXPECT_TRUE(isRed(f.at(0, y))) << c.what;
        }
        if (c.fillEnd < 1078) {
            EXPECT_EQ(f.at(c.fillEnd + 1, y), track) << c.what << " row " << y;
            EXPECT_EQ(f.at(1079, y), track) << c.what;
        }
    }
    const int outsideRow = c.topRows ? 25 : 170;
    EXPECT_EQ(f.at(540, outsideRow), kBlack) << c.what;
    EXPECT_EQ(f.at(5, outsideRow), kBlack) << c.what;
    EXPECT_TRUE(f.guardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressBar,
                         ::testing::Values(BarCase{"half way", "bottom", 5, 10, 540, false},
                                           BarCase{"top", "top", 5, 10, 540, true},
                                           BarCase{"Top is not top", "Top", 5, 10, 540, false},
                                           BarCase{"beyond the end", "bottom", 15, 10, 1080, false},
                                           BarCase{"no duration", "bottom", 5, 0, 0, false}));

// --- Pictures -------------------------------------------------------------------------------

TEST(PictureOverlay, StretchedIntoItsRectangleWithItsOpacity) {
    TestFrame f(400, 200);
    f.fill(Bgra{255, 0, 0, 255});  // blue
    OverlaySet set;
    ImageDrawInfo img;
    img.cgImage = testing::solidPicture(8, 4, 1, 0, 0);  // a tiny red picture, stretched
    img.aspectRatio = 2;
    img.xPercent = 25, img.yPercent = 30, img.scalePercent = 25, img.opacity = 50;
    img.timeStart = 0, img.timeEnd = 10;
    set.images.push_back(img);
    render(f, set, 1);
    // h = 50, w = 100, centred on (100, 60): columns 50..149, rows 35..84 (from the top).
    const Box b = findBox(f, [](const Bgra& p) { return p.r > 60; });
    EXPECT_EQ(b.x0, 50);
    EXPECT_EQ(b.x1, 149);
    EXPECT_EQ(b.y0, 35);
    EXPECT_EQ(b.y1, 84);
    const Bgra mid = f.at(100, 60);
    EXPECT_NEAR(mid.r, 128, 2);  // half red over blue
    EXPECT_NEAR(mid.b, 128, 2);
    EXPECT_EQ(f.at(160, 60), (Bgra{255, 0, 0, 255}));
}

TEST(PictureOverlay, ZoomScalesAboutTheCentre) {
    TestFrame f(400, 200);
    f.fill(kBlack);
    OverlaySet set;
    ImageDrawInfo img;
    img.cgImage = testing::solidPicture(10, 10, 1, 1, 1);
    img.aspectRatio = 1, img.xPercent = 50, img.yPercent = 50, img.scalePercent = 50;  // 100 × 100
    img.timeStart = 0, img.timeEnd = 10, img.animationIn = "zoomIn", img.animationDuration = 2;
    set.images.push_back(img);
    render(f, set, 1);  // p = 0.5: scale 0.5, opacity 0.5
    const Box b = findBox(f, [](const Bgra& p) { return p.r > 60; });
    EXPECT_EQ(b.x0, 175);
    EXPECT_EQ(b.x1, 224);
    EXPECT_EQ(b.y0, 75);
    EXPECT_EQ(b.y1, 124);
    EXPECT_NEAR(f.at(200, 100).r, 128, 2);
}

TEST(PictureOverlay, InvisibleAtFirstFadeFrameAndOutsideItsWindow) {
    OverlaySet set;
    ImageDrawInfo img;
    img.cgImage = testing::solidPicture(10, 10, 1, 1, 1);
    img.timeStart = 2, img.timeEnd = 4, img.animationIn = "fadeIn", img.animationDuration = 1;
    set.images.push_back(img);
    for (auto [t, drawn] :
         std::vector<std::pair<double, bool>>{{2, false}, {2.5, true}, {4, true}, {4.000001, false}}) {
        TestFrame f(100, 100);
        f.fill(kBlack);
        render(f, set, t);
        EXPECT_EQ(testing::countPixels(f, [](const Bgra& p) { return !(p == kBlack); }) > 0, drawn) << t;
    }
}

// --- Text -----------------------------------------------------------------------------------

TEST(TextOverlay, CentredOnItsAnchor) {
    TestFrame f(600, 400);
    f.fill(kBlack);
    OverlaySet set;
    set.texts.push_back(plainText("HHHH HHHH", 300, 100, 40, 540));  // a quarter down the frame
    render(f, set, 1);
    const Box ink = findBox(f, isBright);
    ASSERT_FALSE(ink.empty());
    EXPECT_NEAR(ink.cx(), 300, 2);
    // The ink of capitals sits a little above the centre of the line box (room for descenders).
    EXPECT_NEAR(ink.cy(), 100, 0.2 * 40);
    EXPECT_GT(ink.x1 - ink.x0, 150);
}

TEST(TextOverlay, WrapsAtTheBoxWidthAndKeepsTheBlockCentred) {
    TestFrame f(600, 400);
    f.fill(kBlack);
    OverlaySet set;
    set.texts.push_back(plainText("HHHH HHHH HHHH HHHH", 300, 200, 40, 200));
    render(f, set, 1);
    const Box ink = findBox(f, isBright);
    EXPECT_LE(ink.x1 - ink.x0, 200);
    EXPECT_GT(ink.y1 - ink.y0, 3 * 40);  // four lines
    EXPECT_NEAR(ink.cy(), 200, 10);
    EXPECT_NEAR(ink.cx(), 300, 2);
}

struct AlignCase {
    TextAlignment alignment;
    const char* name;
};

class BackgroundBox : public ::testing::TestWithParam<AlignCase> {};

TEST_P(BackgroundBox, SitsBehindTheLaidOutLine) {
    TestFrame f(800, 300);
    f.fill(kBlack);
    OverlaySet set;
    TextDrawInfo t = plainText("HIH", 400, 150, 50, 600);  // layout box x 100..700
    t.alignment = GetParam().alignment;
    t.bgEnabled = true, t.bgColor = RgbaColor{1, 0, 0, 1}, t.bgOpacity = 1;
    set.texts.push_back(t);
    render(f, set, 1);
    const Box box = findBox(f, isRed);
    const Box ink = findBox(f, isBright);
    ASSERT_FALSE(box.empty());
    ASSERT_FALSE(ink.empty());
    // The words lie inside the box with at least most of the 8-pixel side margins.
    EXPECT_GE(ink.x0 - box.x0, 6) << GetParam().name;
    EXPECT_GE(box.x1 - ink.x1, 6) << GetParam().name;
    EXPECT_LE(ink.x0 - box.x0, 16) << GetParam().name;
    EXPECT_LE(box.x1 - ink.x1, 16) << GetParam().name;
    EXPECT_NEAR(box.cy(), 150, 1) << GetParam().name;
    switch (GetParam().alignment) {
    case TextAlignment::Left: EXPECT_EQ(box.x0, 92); break;  // drawX - 8
    case TextAlignment::Center: EXPECT_NEAR(box.cx(), 400, 1); break;
    case TextAlignment::Right: EXPECT_EQ(box.x1, 707); break;  // drawX + textWidth + 8, exclusive 708
    }
}

INSTANTIATE_TEST_SUITE_P(Alignments, BackgroundBox,
                         ::testing::Values(AlignCase{TextAlignment::Left, "left"},
                                           AlignCase{TextAlignment::Center, "centre"},
                                           AlignCase{TextAlignment::Right, "right"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextOverlay, OutlineOnAllEightSides) {
    TestFrame f(300, 300);
    f.fill(kBlack);
    OverlaySet set;
    TextDrawInfo t = plainText("I", 150, 150, 120, 270);
    t.strokeEnabled = true, t.strokeColor = RgbaColor{1, 0, 0, 1}, t.strokeWidth = 8;
    set.texts.push_back(t);
    TestFrame plain = f;
    TextDrawInfo noOutline = t;
    noOutline.strokeEnabled = false;
    render(plain, OverlaySet{{noOutline}, {}, {}, {}}, 1);
    render(f, set, 1);

    const Box glyph = findBox(plain, isBright);
    ASSERT_FALSE(glyph.empty());
    const int s = 4;  // half the outline width out from the glyph's ink
    const int midX = static_cast<int>(glyph.cx()), midY = static_cast<int>(glyph.cy());
    const std::vector<std::pair<int, int>> probes{{glyph.x1 + s, midY},         {glyph.x0 - s, midY},
                                                  {midX, glyph.y0 - s},         {midX, glyph.y1 + s},
                                                  {glyph.x1 + s, glyph.y0 - s}, {glyph.x0 - s, glyph.y1 + s},
                                                  {glyph.x1 + s, glyph.y1 + s}, {glyph.x0 - s, glyph.y0 - s}};
    for (auto [x, y] : probes) EXPECT_TRUE(isRed(f.at(x, y))) << x << "," << y << " " << f.at(x, y);
    EXPECT_TRUE(isBright(f.at(midX, midY)));       // the text itself is on top
    EXPECT_EQ(f.at(glyph.x1 + 12, midY), kBlack);  // and the outline ends at its width
}

TEST(TextOverlay, GlowOnlyWithoutOutline) {
    auto textWith = [](bool stroke) {
        TextDrawInfo t = plainText("I", 150, 150, 100, 270);
        t.color = RgbaColor{1, 1, 1, 1};
        t.shadowEnabled = true, t.shadowColor = RgbaColor{0, 0, 0, 1}, t.shadowBlur = 12;
        t.strokeEnabled = stroke, t.strokeColor = RgbaColor{1, 1, 1, 1}, t.strokeWidth = 2;
        return t;
    };
    TestFrame glow(300, 300), outlined(300, 300);
    glow.fill(kGrey);
    outlined.fill(kGrey);
    render(glow, OverlaySet{{textWith(false)}, {}, {}, {}}, 1);
    render(outlined, OverlaySet{{textWith(true)}, {}, {}, {}}, 1);

    const Box g = findBox(glow, isBright);
    ASSERT_FALSE(g.empty());
    // Just beyond the glyph the glow darkens the grey; with an outline nothing is there.
    const int y = static_cast<int>(g.cy());
    EXPECT_LT(glow.at(g.x1 + 6, y).g, 110) << glow.at(g.x1 + 6, y);
    EXPECT_LT(glow.at(g.x0 - 6, y).g, 110);
    EXPECT_EQ(glow.at(g.x1 + 60, y), kGrey);
    const Box o = findBox(outlined, isBright);
    EXPECT_EQ(outlined.at(o.x1 + 6, y), kGrey);
    EXPECT_EQ(outlined.at(o.x0 - 6, y), kGrey);
}

TEST(TextOverlay, TypewriterFirstFrameDrawsNothing) {
    TextDrawInfo t = plainText("Szia vil\xC3\xA1g", 150, 100, 30, 270);
    t.animationIn = "typewriter", t.animationDuration = 2, t.timeStart = 1;
    t.bgEnabled = true, t.bgColor = RgbaColor{1, 0, 0, 1};
    t.strokeEnabled = true, t.strokeWidth = 3;
    TestFrame first(300, 200), later(300, 200);
    first.fill(kGrey);
    later.fill(kGrey);
    const TestFrame untouched = first;
    render(first, OverlaySet{{t}, {}, {}, {}}, 1);
    EXPECT_TRUE(first.samePixels(untouched));
    render(later, OverlaySet{{t}, {}, {}, {}}, 2);  // half typed
    EXPECT_GT(testing::countPixels(later, isRed), 50);
}

TEST(TextOverlay, NearlyTransparentDrawsNothing) {
    TextDrawInfo t = plainText("Hello", 150, 100, 30, 270);
    t.animationIn = "fadeIn", t.animationDuration = 1, t.timeStart = 1;
    t.bgEnabled = true, t.bgColor = RgbaColor{1, 1, 1, 1};
    // ease(p) = 2p²: p = 0.07 gives 0.0098 (hidden), p = 0.1 gives 0.02 (faintly drawn).
    for (auto [t0, drawn] : std::vector<std::pair<double, bool>>{{1, false}, {1.07, false}, {1.1, true}}) {
        TestFrame f(300, 200);
        f.fill(kBlack);
        render(f, OverlaySet{{t}, {}, {}, {}}, t0);
        EXPECT_EQ(testing::countPixels(f, [](const Bgra& p) { return !(p == kBlack); }) > 0, drawn) << t0;
    }
}

TEST(TextOverlay, ColourEmojiIsInColour) {
    TestFrame f(200, 200);
    f.fill(kBlack);
    TextDrawInfo t = plainText("\xF0\x9F\x98\x80", 100, 100, 80, 180);  // grinning face
    render(f, OverlaySet{{t}, {}, {}, {}}, 1);
    const int coloured = testing::countPixels(f, [](const Bgra& p) {
        return std::abs(p.r - p.g) > 60 || std::abs(p.g - p.b) > 60 || std::abs(p.r - p.b) > 60;
    });
    EXPECT_GT(coloured, 500) << "the emoji came out grey";
}

TEST(TextOverlay, CachedDrawingMatchesAFreshRenderer) {
    OverlaySet set;
    TextDrawInfo a = plainText("Szia \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD vil\xC3\xA1g", 150, 120, 28, 270);
    a.shadowEnabled = true, a.shadowBlur = 6, a.animationIn = "typewriter", a.animationDuration = 3;
    TextDrawInfo b = plainText("Second line of text", 150, 60, 20, 270);
    b.strokeEnabled = true, b.strokeWidth = 2, b.bgEnabled = true, b.animationOut = "slideLeft";
    b.animationDuration = 2;
    set.texts = {a, b};
    ImageDrawInfo img;
    img.cgImage = testing::solidPicture(30, 20, 0.2, 0.8, 0.4);
    img.aspectRatio = 1.5, img.timeStart = 0, img.timeEnd = 10, img.animationIn = "zoomIn", img.animationDuration = 1;
    set.images = {img};
    auto shared = std::make_shared<const OverlaySet>(set);

    OverlayRenderer warm(shared, 300, 200, 10);
    for (double t : {0.5, 1.0, 2.0, 4.0, 4.0, 9.0, 4.0, 8.5, 2.0}) {
        TestFrame scratch(300, 200);
        scratch.fill(kGrey);
        warm.processFrame(scratch.view(), t);
        TestFrame fresh(300, 200);
        fresh.fill(kGrey);
        OverlayRenderer cold(shared, 300, 200, 10);
        cold.processFrame(fresh.view(), t);
        EXPECT_TRUE(scratch.samePixels(fresh)) << "t " << t;
    }
}

// --- Bad input ------------------------------------------------------------------------------

struct BadCase {
    const char* what;
    std::function<void(OverlaySet&)> spoil;
};

OverlaySet decentSet() {
    OverlaySet set;
    TextDrawInfo t = plainText("Hello", 120, 80, 20, 216);
    t.shadowEnabled = true, t.shadowBlur = 4, t.bgEnabled = true;
    set.texts.push_back(t);
    ImageDrawInfo img;
    img.cgImage = testing::solidPicture(20, 10, 1, 0, 0);
    img.aspectRatio = 2, img.timeStart = 0, img.timeEnd = 10;
    set.images.push_back(img);
    BlurDrawInfo blur;
    blur.timeStart = 0, blur.timeEnd = 10;
    set.blurs.push_back(blur);
    set.progressBar = ProgressBarDrawInfo{};
    return set;
}

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, NeverWritesOutsideTheFrameAndStillDrawsTheRest) {
    OverlaySet set = decentSet();
    GetParam().spoil(set);
    // The decent text is drawn last, so the frame shows whether the context survived.
    TextDrawInfo witness = plainText("W", 200, 140, 24, 216);
    witness.color = RgbaColor{0, 1, 0, 1};
    witness.shadowEnabled = false;
    set.texts.push_back(witness);
    TestFrame f(240, 160, 12);  // padded rows
    f.fill([](int x, int y) { return Bgra{x % 256, y % 256, 90, 255}; });
    OverlayRenderer r(std::make_shared<const OverlaySet>(set), 240, 160, 10);
    for (double t : {0.0, 0.25, 5.0, 10.0}) r.processFrame(f.view(), t);
    EXPECT_TRUE(f.guardsIntact()) << GetParam().what;
    const Box w = findBox(f, [](const Bgra& p) { return p.g > 200 && p.r < 60 && p.b < 60; });
    EXPECT_FALSE(w.empty()) << GetParam().what << ": later overlays were lost";
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInput,
    ::testing::Values(
        BadCase{"huge font", [](OverlaySet& s) { s.texts[0].font.pixelSize = 100 * 160; }},
        BadCase{"NaN font", [](OverlaySet& s) { s.texts[0].font.pixelSize = kNaN; }},
        BadCase{"negative font", [](OverlaySet& s) { s.texts[0].font.pixelSize = -5; }},
        BadCase{"NaN anchor", [](OverlaySet& s) { s.texts[0].x = kNaN; }},
        BadCase{"infinite anchor", [](OverlaySet& s) { s.texts[0].y = -kInf; }},
        BadCase{"far away text", [](OverlaySet& s) { s.texts[0].x = 1e300; }},
        BadCase{"zero-width box", [](OverlaySet& s) { s.texts[0].textWidth = 0; }},
        BadCase{"NaN box width", [](OverlaySet& s) { s.texts[0].textWidth = kNaN; }},
        BadCase{"huge outline", [](OverlaySet& s) {
            s.texts[0].strokeEnabled = true;
            s.texts[0].strokeWidth = 1e12;
        }},
        BadCase{"NaN outline", [](OverlaySet& s) {
            s.texts[0].strokeEnabled = true;
            s.texts[0].strokeWidth = kNaN;
        }},
        BadCase{"huge glow", [](OverlaySet& s) { s.texts[0].shadowBlur = 1e9; }},
        BadCase{"NaN opacity and colours", [](OverlaySet& s) {
            s.texts[0].bgOpacity = kNaN;
            s.texts[0].color = RgbaColor{kNaN, 2, -1, kNaN};
            s.images[0].opacity = kNaN;
        }},
        BadCase{"invalid UTF-8", [](OverlaySet& s) { s.texts[0].text = std::string("ab\xFF\xFE\xC3\0z", 7); }},
        BadCase{"emoji sequences with modifiers",
                [](OverlaySet& s) {
                    s.texts[0].text = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9"
                                      "\xE2\x80\x8D\xF0\x9F\x91\xA7\xF0\x9F\x8F\xBF\xE2\x80\x8D\xF0\x9F\x87\xAD";
                    s.texts[0].animationIn = "typewriter";
                    s.texts[0].animationDuration = 1;
                }},
        BadCase{"empty text", [](OverlaySet& s) { s.texts[0].text.clear(); }},
        BadCase{"100 000 characters", [](OverlaySet& s) {
            s.texts[0].text = std::string(100000, 'x');
            s.texts[0].animationIn = "typewriter";
            s.texts[0].animationDuration = 1;
        }},
        BadCase{"100 000 characters in a huge font", [](OverlaySet& s) {
            std::string words;
            for (int i = 0; i < 20000; ++i) words += "word ";
            s.texts[0].text = words;
            s.texts[0].font.pixelSize = 1e6;
        }},
        BadCase{"blur radius 1e9", [](OverlaySet& s) { s.blurs[0].blurAmount = 1e9; }},
        BadCase{"NaN blur", [](OverlaySet& s) {
            s.blurs[0].blurAmount = kNaN;
            s.blurs[0].xPercent = kNaN;
        }},
        BadCase{"blur far outside", [](OverlaySet& s) {
            s.blurs[0].xPercent = -1e308;
            s.blurs[0].widthPercent = 1e308;
        }},
        BadCase{"picture scale 0", [](OverlaySet& s) { s.images[0].scalePercent = 0; }},
        BadCase{"picture scale huge", [](OverlaySet& s) { s.images[0].scalePercent = 1e9; }},
        BadCase{"picture far outside", [](OverlaySet& s) { s.images[0].xPercent = 1e12; }},
        BadCase{"picture NaN aspect", [](OverlaySet& s) { s.images[0].aspectRatio = kNaN; }},
        BadCase{"picture negative size", [](OverlaySet& s) { s.images[0].scalePercent = -30; }},
        BadCase{"picture missing", [](OverlaySet& s) { s.images[0].cgImage.reset(); }},
        BadCase{"zoom on every overlay", [](OverlaySet& s) {
            s.images[0].animationIn = "zoomIn";
            s.images[0].animationDuration = kInf;
            s.texts[0].animationOut = "zoomOut";
            s.texts[0].animationDuration = 1e-300;
        }},
        BadCase{"progress bar nonsense", [](OverlaySet& s) {
            s.progressBar->heightPercent = 1e300;
            s.progressBar->bgOpacity = kInf;
        }},
        BadCase{"progress bar NaN", [](OverlaySet& s) { s.progressBar->heightPercent = kNaN; }}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(BadFrames, AFrameOfAnotherSizeIsLeftAlone) {
    OverlaySet set = decentSet();
    TestFrame f(100, 80);
    f.fill(kGrey);
    const TestFrame before = f;
    OverlayRenderer r(std::make_shared<const OverlaySet>(set), 240, 160, 10);
    r.processFrame(f.view(), 1);
    EXPECT_TRUE(f.samePixels(before));
    EXPECT_TRUE(f.guardsIntact());
}

TEST(BadFrames, OddSizedFramesAreDrawnWithinTheirRows) {
    OverlaySet set = decentSet();
    set.blurs[0].xPercent = 100, set.blurs[0].yPercent = 100;  // at the corner
    TestFrame f(607, 81, 4);
    f.fill(kGrey);
    OverlayRenderer r(std::make_shared<const OverlaySet>(set), 607, 81, 10);
    r.processFrame(f.view(), 5);
    EXPECT_TRUE(f.guardsIntact());
    EXPECT_GT(testing::countPixels(f, [](const Bgra& p) { return differs(p, kGrey); }), 100);
}

}  // namespace
}  // namespace tamo
