#pragma once
// Where decoded sound goes on an output timeline counted in samples from a time origin: by the
// sound's own timestamps, so sound that starts late stays late and a hole stays a hole.
#include <cstdint>

namespace tamo {

class AudioPlacement {
public:
    // originSeconds: the output's time 0 on the sound's clock; NaN makes the first sound time 0.
    // timestampsMayJump: the container's clock may reset or leap (transport streams).
    AudioPlacement(int sampleRate, double originSeconds, bool timestampsMayJump);

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
    bool mayJump_;
    bool started_ = false;    // some sound is on the timeline
    std::int64_t shift_ = 0;  // samples added to timestamps after resets of the clock
    std::int64_t position_ = 0;
};

}  // namespace tamo
