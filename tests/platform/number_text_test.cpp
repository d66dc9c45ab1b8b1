// Numbers the program writes (script calls, log lines) and reads (settings) under the Hungarian
// locale, whose decimal mark is a comma.
#include "platform/number_text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <limits>

#include "support/hungarian_locale.h"

namespace tamo {
namespace {

TEST(NumberText, DecimalsKeepAPointUnderTheHungarianLocale) {
    test::HungarianLocale hungarian;
    EXPECT_EQ(fixedDecimalText(3.0, 1), "3.0");
    EXPECT_EQ(fixedDecimalText(2.26, 1), "2.3");
    EXPECT_EQ(fixedDecimalText(0.05, 2), "0.05");
    EXPECT_EQ(fixedDecimalText(1234567.0, 1), "1234567.0");  // no grouping of thousands either
    EXPECT_EQ(fixedDecimalText(7.5, 0), "8");
    EXPECT_EQ(fixedDecimalText(-1.25, 1), "-1.2");
}

TEST(NumberText, UnwritableValuesBecomeAPlainZero) {
    EXPECT_EQ(fixedDecimalText(std::numeric_limits<double>::quiet_NaN(), 1), "0.0");
    EXPECT_EQ(fixedDecimalText(std::numeric_limits<double>::infinity(), 1), "0.0");
    EXPECT_EQ(fixedDecimalText(-std::numeric_limits<double>::infinity(), 2), "0.00");
    EXPECT_EQ(fixedDecimalText(-0.0, 1), "0.0");
    EXPECT_EQ(fixedDecimalText(-0.04, 1), "0.0");
    EXPECT_EQ(fixedDecimalText(1e308, 1).size(), 311u);  // the largest values still fit
}

TEST(NumberText, ReadingTakesAPointAndNothingElse) {
    test::HungarianLocale hungarian;
    double v = -1;
    EXPECT_TRUE(parseDecimalText("1.5", v));
    EXPECT_EQ(v, 1.5);
    EXPECT_TRUE(parseDecimalText("20", v));
    EXPECT_EQ(v, 20);
    for (const char* bad : {"1,5", "", "1.5s", " 1.5", "abc"}) {
        double kept = 42;
        EXPECT_FALSE(parseDecimalText(bad, kept)) << bad;
        EXPECT_EQ(kept, 42) << bad;
    }
    EXPECT_FALSE(parseDecimalText(nullptr, v));
}

// Payloads, project files and request bodies go through the JSON library: it must not follow
// the locale in either direction.
TEST(NumberText, JsonNumbersIgnoreTheLocale) {
    test::HungarianLocale hungarian;
    nlohmann::json value = {{"duration", 2.5}, {"speed", 1.25}, {"width", 1080}};
    EXPECT_EQ(value.dump(), R"({"duration":2.5,"speed":1.25,"width":1080})");
    EXPECT_EQ(value.dump(2).find(','), value.dump(2).find(",\n"));  // commas only between members
    auto parsed = nlohmann::json::parse(R"({"d":2.5,"e":1e-3})");
    EXPECT_EQ(parsed["d"].get<double>(), 2.5);
    EXPECT_EQ(parsed["e"].get<double>(), 0.001);
}

}  // namespace
}  // namespace tamo
