#include "export/hex_color.h"

#include <gtest/gtest.h>

namespace tamo {
namespace {

RgbaColor rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0, 1.0}; }

TEST(HexColor, ReadsTheLastSixDigitsAsRrggbb) {
    struct Case {
        const char* text;
        RgbaColor expected;
    } cases[] = {
        {"#6c5ce7", rgb(108, 92, 231)},
        {"6c5ce7", rgb(108, 92, 231)},
        {"  #ffffff\n", rgb(255, 255, 255)},
        {"\u00a0#ffffff\u2028", rgb(255, 255, 255)},  // Unicode white space is trimmed too
        {"#fff", rgb(0, 15, 255)},                    // no shorthand expansion
        {"#11223344", rgb(0x22, 0x33, 0x44)},         // no alpha from the text
        {"#00ff0080", rgb(255, 0, 0x80)},
        {"#12zz", rgb(0, 0, 0x12)},
        {"##ffffff", rgb(0, 0, 0)},
        {"", rgb(0, 0, 0)},
        {"red", rgb(0, 0, 0)},
        {"none", rgb(0, 0, 0)},
        {"#0x00ff00", rgb(0, 255, 0)},
        {"#0X00FF00", rgb(0, 255, 0)},
        {"#ffffffffffffffffff", rgb(255, 255, 255)},  // saturates
        {"#00000000000000000000ff", rgb(0, 0, 255)},  // leading zeros are not significant
        {"# 1a1a2e", rgb(0x1a, 0x1a, 0x2e)},          // the scanner skips white space
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RgbaColor got = colorFromHex(c.text);
        EXPECT_DOUBLE_EQ(got.red, c.expected.red);
        EXPECT_DOUBLE_EQ(got.green, c.expected.green);
        EXPECT_DOUBLE_EQ(got.blue, c.expected.blue);
        EXPECT_EQ(got.alpha, 1.0);
    }
}

}  // namespace
}  // namespace tamo
