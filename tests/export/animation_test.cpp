// Entry and exit animation states, and counting characters for the typewriter.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "export/animation.h"
#include "export/text_segments.h"

namespace tamo {
namespace {

constexpr int W = 1080, H = 1920;  // dx = 54, dy = 96
constexpr double dx = 54, dy = 96;

TEST(Ease, EndsMiddleAndBranches) {
    EXPECT_DOUBLE_EQ(ease(0), 0);
    EXPECT_DOUBLE_EQ(ease(1), 1);
    EXPECT_DOUBLE_EQ(ease(0.5), 0.5);  // second branch: -1 + 3 * 0.5
    EXPECT_DOUBLE_EQ(ease(0.25), 0.125);
    EXPECT_DOUBLE_EQ(ease(0.75), 0.875);
}

struct Case {
    const char* what;
    const char* in;
    const char* out;
    double phase, t, start, end;
    long textLength;
    AnimState expected;
};

class AnimStateTable : public ::testing::TestWithParam<Case> {};

TEST_P(AnimStateTable, MatchesTable) {
    const Case& c = GetParam();
    const AnimState s = animState(W, H, c.in, c.out, c.phase, c.t, c.start, c.end, c.textLength);
    EXPECT_NEAR(s.opacity, c.expected.opacity, 1e-12) << c.what;
    EXPECT_NEAR(s.tx, c.expected.tx, 1e-9) << c.what;
    EXPECT_NEAR(s.ty, c.expected.ty, 1e-9) << c.what;
    EXPECT_NEAR(s.scale, c.expected.scale, 1e-12) << c.what;
    EXPECT_EQ(s.textLen, c.expected.textLen) << c.what;
}

const double e25 = ease(0.25), f25 = ease(0.25);

INSTANTIATE_TEST_SUITE_P(
    Cases, AnimStateTable,
    ::testing::Values(
        // First frame of the window, phase 2 s.
        Case{"fadeIn first frame", "fadeIn", "none", 2, 10, 10, 20, 0, {0, 0, 0, 1, -1}},
        Case{"slideUp first frame", "slideUp", "none", 2, 10, 10, 20, 0, {1, 0, dy, 1, -1}},
        Case{"slideDown first frame", "slideDown", "none", 2, 10, 10, 20, 0, {1, 0, -dy, 1, -1}},
        Case{"slideLeft first frame", "slideLeft", "none", 2, 10, 10, 20, 0, {1, dx, 0, 1, -1}},
        Case{"slideRight first frame", "slideRight", "none", 2, 10, 10, 20, 0, {1, -dx, 0, 1, -1}},
        Case{"zoomIn first frame", "zoomIn", "none", 2, 10, 10, 20, 0, {0, 0, 0, 0, -1}},
        Case{"typewriter first frame", "typewriter", "none", 2, 10, 10, 20, 7, {1, 0, 0, 1, 0}},
        Case{"bounce first frame", "bounce", "none", 2, 10, 10, 20, 0, {1, 0, 0, 1, -1}},
        // Bounce peaks at p = 0.2 (0.6 dy up) and rests at p = 0.4.
        Case{"bounce peak", "bounce", "none", 1, 10.2, 10, 20, 0, {1, 0, -0.6 * dy, 1, -1}},
        Case{"bounce rest", "bounce", "none", 1, 10.4, 10, 20, 0, {1, 0, 0, 1, -1}},
        // Elapsed equal to the phase length: the entry is over (strict comparison).
        Case{"fadeIn at phase end", "fadeIn", "none", 2, 12, 10, 20, 0, {1, 0, 0, 1, -1}},
        Case{"typewriter at phase end", "typewriter", "none", 2, 12, 10, 20, 7, {1, 0, 0, 1, -1}},
        Case{"typewriter half way", "typewriter", "none", 2, 11, 10, 20, 7, {1, 0, 0, 1, 3}},
        Case{"typewriter on a picture", "typewriter", "none", 2, 10.5, 10, 20, 0, {1, 0, 0, 1, 0}},
        Case{"slideUp quarter way", "slideUp", "none", 4, 11, 10, 20, 0, {1, 0, (1 - e25) * dy, 1, -1}},
        // Last frame of the window.
        Case{"fadeOut last frame", "none", "fadeOut", 2, 20, 10, 20, 0, {0, 0, 0, 1, -1}},
        Case{"slideUp exit last frame", "none", "slideUp", 2, 20, 10, 20, 0, {1, 0, -dy, 1, -1}},
        Case{"slideDown exit last frame", "none", "slideDown", 2, 20, 10, 20, 0, {1, 0, dy, 1, -1}},
        Case{"slideLeft exit last frame", "none", "slideLeft", 2, 20, 10, 20, 0, {1, -dx, 0, 1, -1}},
        Case{"slideRight exit last frame", "none", "slideRight", 2, 20, 10, 20, 0, {1, dx, 0, 1, -1}},
        Case{"zoomOut last frame", "none", "zoomOut", 2, 20, 10, 20, 0, {0, 0, 0, 0, -1}},
        Case{"remaining equal to phase", "none", "fadeOut", 2, 18, 10, 20, 0, {1, 0, 0, 1, -1}},
        // Both phases active in a window shorter than two phase lengths (window 10..14, phase 4, t 11).
        Case{"fadeIn with fadeOut", "fadeIn", "fadeOut", 4, 11, 10, 14, 0, {e25, 0, 0, 1, -1}},
        Case{"fadeIn with fadeOut, exit smaller", "fadeIn", "fadeOut", 4, 13, 10, 14, 0, {f25, 0, 0, 1, -1}},
        Case{"zoomIn with zoomOut", "zoomIn", "zoomOut", 4, 13, 10, 14, 0, {f25, 0, 0, f25, -1}},
        Case{"slideLeft in, slideUp out",
             "slideLeft",
             "slideUp",
             4,
             11,
             10,
             14,
             0,
             {1, (1 - e25) * dx, -(1 - ease(0.75)) * dy, 1, -1}},
        Case{"slideUp in, slideDown out: exit replaces",
             "slideUp",
             "slideDown",
             4,
             11,
             10,
             14,
             0,
             {1, 0, (1 - ease(0.75)) * dy, 1, -1}},
        // Entry-only names do nothing as exits; unknown and differently cased names are "none".
        Case{"fadeIn as exit", "none", "fadeIn", 2, 20, 10, 20, 0, {1, 0, 0, 1, -1}},
        Case{"case differs", "FadeIn", "FADEOUT", 2, 10, 10, 10, 0, {1, 0, 0, 1, -1}},
        Case{"empty names", "", "", 2, 10, 10, 10, 0, {1, 0, 0, 1, -1}},
        // No phase length: neutral everywhere in the window.
        Case{"phase zero", "fadeIn", "fadeOut", 0, 10, 10, 20, 0, {1, 0, 0, 1, -1}},
        Case{"phase negative", "zoomIn", "zoomOut", -1, 20, 10, 20, 0, {1, 0, 0, 1, -1}},
        Case{"phase NaN", "zoomIn", "zoomOut", std::nan(""), 20, 10, 20, 0, {1, 0, 0, 1, -1}}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(AnimState, TypewriterNeverReachesTheFullLengthWhileTyping) {
    for (double t = 0; t < 2; t += 0.01) {
        const AnimState s = animState(W, H, "typewriter", "none", 2, t, 0, 10, 5);
        EXPECT_GE(s.textLen, 0);
        EXPECT_LT(s.textLen, 5) << t;
    }
}

TEST(AnimState, HugeValuesStayDefined) {
    const double inf = std::numeric_limits<double>::infinity();
    const AnimState a = animState(W, H, "typewriter", "none", 1e-300, 0, 0, 1, std::numeric_limits<long>::max());
    EXPECT_EQ(a.textLen, 0);
    const AnimState b = animState(W, H, "typewriter", "none", inf, 5, 0, 10, 1000);
    EXPECT_EQ(b.textLen, 0);  // p = 0 for an endless phase
    const AnimState c = animState(W, H, "typewriter", "none", 1, -inf, 0, 10, 1000);
    EXPECT_LE(c.textLen, 0);
}

struct CountCase {
    const char* what;
    std::string text;
    std::size_t characters;
};

class GraphemeCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(GraphemeCount, CountsUserPerceivedCharacters) {
    const auto ends = graphemeEnds(GetParam().text, 1000);
    EXPECT_EQ(ends.size(), GetParam().characters) << GetParam().what;
    if (!ends.empty()) {
        EXPECT_EQ(ends.back(), GetParam().text.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GraphemeCount,
    ::testing::Values(
        CountCase{"ascii", "Hello", 5}, CountCase{"accented", "\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91", 9},
        CountCase{"combining accent", "e\xCC\x81", 1},
        // family: man ZWJ woman ZWJ girl, 3 emoji and 2 joiners
        CountCase{"zwj family", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1},
        // thumbs up with a skin tone modifier, then a flag of two regional indicators
        CountCase{"modifier and flag", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD\xF0\x9F\x87\xAD\xF0\x9F\x87\xBA", 2},
        CountCase{"empty", "", 0}));

TEST(GraphemeCount, TypewriterShowsWholeEmojiSequences) {
    // "A", a family emoji, "B": half way the typewriter shows "A" and the whole family or "A" alone.
    const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    const std::string text = "A" + family + "B";
    const auto ends = graphemeEnds(text, 1000);
    ASSERT_EQ(ends.size(), 3u);
    const AnimState s = animState(W, H, "typewriter", "none", 1, 0.7, 0, 10, static_cast<long>(ends.size()));
    ASSERT_EQ(s.textLen, 2);
    EXPECT_EQ(text.substr(0, ends[s.textLen - 1]), "A" + family);
}

TEST(GraphemeCount, CapLimitsTheCount) { EXPECT_EQ(graphemeEnds(std::string(50, 'x'), 7).size(), 7u); }

TEST(SanitizeUtf8, ReplacesInvalidBytesAndDropsNul) {
    const std::string bad("a\xFF\xC3(b\0c", 7);
    const std::string good = sanitizeUtf8(bad);
    EXPECT_EQ(good, "a\xEF\xBF\xBD\xEF\xBF\xBD(bc");
    EXPECT_EQ(sanitizeUtf8("\xC3\xA1"), "\xC3\xA1");
}

}  // namespace
}  // namespace tamo
