// Where sound lands on the picture's timeline, which track is read and how frames are converted is
// checked on decoded sound by the extraction and export tests; here are the clock faults no encoder
// writes on request.
#include <gtest/gtest.h>

#include <cmath>

#include "media/audio_placement.h"

namespace tamo {
namespace {

constexpr int kRate = 48000;

TEST(AudioPlacement, OverlapsAreCutButClockResetsContinueTheTimeline) {
    AudioPlacement p(kRate, 1.4, false);
    EXPECT_EQ(p.place(1.0, kRate / 10).skip, kRate / 10);  // wholly before the picture's first frame
    EXPECT_EQ(p.place(1.4, kRate).skip, 0);
    EXPECT_EQ(p.place(2.3, kRate / 5).skip, kRate / 10);  // 0.1 s overlapping what is placed
    EXPECT_EQ(p.place(NAN, 500).silence, 0);              // no timestamp: follows on
    const std::int64_t before = p.position();
    auto reset = p.place(0.0, 1000);  // more than a second back: the clock was reset
    EXPECT_EQ(reset.skip + reset.silence, 0);
    EXPECT_EQ(p.position(), before + 1000);
    EXPECT_EQ(p.place(1000.0 / kRate + 0.002, 1000).silence, 0) << "2 ms is rounding, not a hole";
    EXPECT_EQ(p.place(60.0, 1000).silence, std::llround(60.0 * kRate) - 2000) << "a long pause is silence";

    // A transport stream: any step back, or a leap over 10 s, is a reset; half a second is a hole.
    AudioPlacement ts(kRate, 1.4, true);
    ts.place(1.4, kRate);
    EXPECT_EQ(ts.place(1.4, kRate).silence, 0);
    EXPECT_EQ(ts.place(61.4, 1000).silence, 0);
    EXPECT_EQ(ts.place(61.4 + 1000.0 / kRate + 0.5, 1000).silence, kRate / 2);
    EXPECT_EQ(ts.position(), 2 * kRate + 2000 + kRate / 2);
}

}  // namespace
}  // namespace tamo
