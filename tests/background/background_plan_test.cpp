// What a background request turns into, and which requests cannot make a clip.
#include "background/background_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tamo {
namespace {

TEST(BackgroundPlan, ImpossibleSizesAndLengthsAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::int64_t width, height;
        double duration;
    };
    const Case cases[] = {
        {0, 1920, 15},     {1080, 0, 15},      {-1080, 1920, 15},     {1080, -1, 15},
        {8193, 1920, 15},  {1080, 8193, 15},   {INT64_MAX, 1920, 15}, {1080, INT64_MIN, 15},
        {1080, 1920, -1},  {1080, 1920, 0},    {1080, 1920, 0.02},    {1080, 1920, nan},
        {1080, 1920, inf}, {1080, 1920, -inf}, {1080, 1920, 3600.01}, {1080, 1920, 1e300},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(planBackground(c.width, c.height, c.duration, "#fff"))
            << c.width << "x" << c.height << " " << c.duration;
}

TEST(BackgroundPlan, FramesBitRateAndEncodedSize) {
    struct Case {
        std::int64_t width, height;
        double duration;
        std::int64_t frames, bitRate;
        int encodeWidth, encodeHeight;
    };
    const Case cases[] = {
        {1080, 1920, 15.0, 450, 4147200, 1080, 1920},
        {1080, 1920, 2.5, 75, 4147200, 1080, 1920},
        {1080, 1920, 1.0 / 30, 1, 4147200, 1080, 1920},
        {1080, 1920, 0.999, 29, 4147200, 1080, 1920},  // truncated, not rounded
        {1081, 1921, 1, 30, 1081 * 1921 * 2, 1080, 1920},
        {1, 1, 1, 30, 2, 2, 2},
        {8192, 8192, 3600, 108000, 8192LL * 8192 * 2, 8192, 8192},
    };
    for (const auto& c : cases) {
        auto plan = planBackground(c.width, c.height, c.duration, "#1a1a2e");
        ASSERT_TRUE(plan) << c.width << "x" << c.height;
        EXPECT_EQ(plan->width, c.width);
        EXPECT_EQ(plan->height, c.height);
        EXPECT_EQ(plan->frames, c.frames) << c.duration;
        EXPECT_EQ(plan->bitRate, c.bitRate);
        EXPECT_EQ(plan->encodeWidth, c.encodeWidth);
        EXPECT_EQ(plan->encodeHeight, c.encodeHeight);
        EXPECT_EQ(plan->duration, c.duration);
    }
    EXPECT_EQ(planBackground(10, 10, 1, " #FF0000\n")->color, (RgbaColor{1, 0, 0, 1}));
    EXPECT_EQ(planBackground(10, 10, 1, "no colour")->color, (RgbaColor{0, 0, 0, 1}));
}

TEST(BackgroundPlan, SecondsAreWrittenWithAFractionalDigit) {
    EXPECT_EQ(secondsText(15), "15.0");
    EXPECT_EQ(secondsText(2.5), "2.5");
    EXPECT_EQ(secondsText(0.1), "0.1");
    EXPECT_EQ(secondsText(3600), "3600.0");
    EXPECT_EQ(secondsText(1.0 / 3), "0.3333333333333333");
}

}  // namespace
}  // namespace tamo
