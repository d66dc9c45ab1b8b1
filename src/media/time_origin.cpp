#include "media/time_origin.h"

#include <cmath>

#include "media/stream_decoder.h"

namespace tamo {

// A cover picture attached to a sound file is not a picture that plays.
bool hasPicture(const AVFormatContext& input) { return av::firstVideoStream(input) >= 0; }

double videoTimeOrigin(const AVFormatContext& input) {
    const int index = av::firstVideoStream(input);
    if (index < 0) return 0;
    const AVStream* s = input.streams[index];
    if (s->start_time == AV_NOPTS_VALUE) return 0;
    double seconds = static_cast<double>(s->start_time) * av_q2d(s->time_base);
    return std::isfinite(seconds) ? seconds : 0;
}

}  // namespace tamo
