#include "media/audio_placement.h"

#include <algorithm>
#include <cmath>

namespace tamo {

AudioPlacement::AudioPlacement(int sampleRate, PictureClock clock, bool timestampsMayJump)
    : rate_(sampleRate),
      origin_(clock.originSeconds),
      pictureShifts_(std::move(clock.resetShiftSeconds)),
      mayJump_(timestampsMayJump) {}

AudioPlacement::Step AudioPlacement::place(double seconds, std::int64_t count) {
    Step step;
    count = std::max<std::int64_t>(count, 0);
    if (!std::isfinite(seconds)) {
        started_ = started_ || count > 0;
        position_ += count;
        return step;
    }
    if (!std::isfinite(origin_)) origin_ = seconds;
    const double at = (seconds - origin_) * rate_;
    if (!std::isfinite(at) || std::fabs(at) > 9.0e15) {  // nonsense timestamps: continue the timeline
        position_ += count;
        return step;
    }
    const std::int64_t target = std::llround(at) + shift_;
    std::int64_t delta = target - position_;
    if (started_ && std::llabs(delta) <= std::llround(kJitterSeconds * rate_)) delta = 0;  // jitter, not a hole
    if (started_ && delta != 0) {
        const bool reset = delta < -std::llround(kOverlapSeconds * rate_) || (mayJump_ && delta < 0) ||
                           (mayJump_ && delta > std::llround(kJumpSeconds * rate_));
        if (reset) {
            // The picture's shift for the same reset keeps the two together; without one the sound
            // continues the timeline.
            if (resetsSeen_ < pictureShifts_.size())
                shift_ = std::llround(pictureShifts_[resetsSeen_++] * rate_);
            else
                shift_ -= delta;
            delta = std::llround(at) + shift_ - position_;
        }
    }
    // Later than the timeline leaves silence before the piece; earlier is cut off (the first sound
    // before the origin, or overlapping sound: what was placed first stays).
    if (delta > 0)
        step.silence = delta;
    else
        step.skip = std::min(-delta, count);
    position_ += step.silence + (count - step.skip);
    started_ = started_ || count > step.skip;
    return step;
}

}  // namespace tamo
