#pragma once
// Where decoded sound goes on an output timeline counted in samples from a time origin: by the
// sound's own timestamps, so sound that starts late stays late and a hole stays a hole.
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace tamo {

// The picture's timeline on a file's clock: where it starts and, for a clock that resets or leaps
// (transport streams), the shift in seconds the picture took at each reset, in order. Sound that
// comes after the same reset takes the same shift, so it stays where it was against the picture.
struct PictureClock {
    PictureClock(double origin = NAN, std::vector<double> shifts = {})
        : originSeconds(origin), resetShiftSeconds(std::move(shifts)) {}
    double originSeconds;  // NaN: the first sound is time 0
    std::vector<double> resetShiftSeconds;
};

class AudioPlacement {
public:
    // clock.originSeconds: the output's time 0 on the sound's clock; NaN makes the first sound
    // time 0. timestampsMayJump: the container's clock may reset or leap (transport streams); after
    // a reset the sound takes the picture's shift for it, or without one continues the timeline.
    AudioPlacement(int sampleRate, PictureClock clock, bool timestampsMayJump);

    struct Step {
        std::int64_t silence = 0;  // samples of silence to put down before the piece
        std::int64_t skip = 0;     // samples at the piece's start that are dropped
    };
    // A decoded piece of `count` samples that starts at `seconds` on the sound's clock (NaN when
    // it has no timestamp: it follows the previous piece).
    Step place(double seconds, std::int64_t count);

    // Samples put on the timeline so far, silence included.
    std::int64_t position() const { return position_; }

    // Timing differences up to this many seconds are jitter (rounding of frame times), not holes.
    static constexpr double kJitterSeconds = 0.005;
    // A clock that goes back by more than this, or that may jump and leaps forward by more than
    // kJumpSeconds, has been reset: the sound after it continues the timeline.
    static constexpr double kOverlapSeconds = 1.0;
    static constexpr double kJumpSeconds = 10.0;

private:
    int rate_;
    double origin_;
    std::vector<double> pictureShifts_;
    std::size_t resetsSeen_ = 0;
    bool mayJump_;
    bool started_ = false;    // some sound is on the timeline
    std::int64_t shift_ = 0;  // samples added to timestamps after resets of the clock
    std::int64_t position_ = 0;
};

}  // namespace tamo
