// Numbers written into script calls and read from user text keep a decimal point under a Hungarian desktop.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/number_text.h"
#include "support/hungarian_locale.h"

namespace tamo {
namespace {

TEST(NumberText, PointNotCommaAndAlwaysAValidNumber) {
    test::HungarianLocale hu;
    EXPECT_EQ(fixedDecimalText(2.345, 2), "2.35");
    EXPECT_EQ(fixedDecimalText(-0.04, 1), "0.0");  // no "-0.0"
    EXPECT_EQ(fixedDecimalText(-3, -1), "-3");
    EXPECT_EQ(fixedDecimalText(NAN, 1), "0.0");
    EXPECT_EQ(fixedDecimalText(std::numeric_limits<double>::max(), 0).size(), 309u);
    double v = 0;
    EXPECT_TRUE(parseDecimalText("12.75", v));
    EXPECT_EQ(v, 12.75);
    for (const char* bad : {"", "3,5", "1.5x", " 2"}) EXPECT_FALSE(parseDecimalText(bad, v)) << bad;
    EXPECT_FALSE(parseDecimalText(nullptr, v));
    EXPECT_EQ(v, 12.75);
}

}  // namespace
}  // namespace tamo
