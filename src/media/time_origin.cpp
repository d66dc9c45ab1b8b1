#include "media/time_origin.h"

#include <cmath>

#include "media/ffmpeg_ptr.h"

namespace tamo {

namespace {

// A cover picture is not the picture that plays.
bool playsPicture(const AVStream& s) {
    return s.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s.disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace

bool hasPicture(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (playsPicture(*input.streams[i])) return true;
    return false;
}

double videoTimeOrigin(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream* s = input.streams[i];
        if (!playsPicture(*s)) continue;
        if (s->start_time == AV_NOPTS_VALUE) return 0;
        double seconds = static_cast<double>(s->start_time) * av_q2d(s->time_base);
        return std::isfinite(seconds) ? seconds : 0;
    }
    return 0;
}

double videoTimeOrigin(const std::filesystem::path& source) {
    auto input = av::openInput(source.string());
    return input ? videoTimeOrigin(*input) : 0;
}

}  // namespace tamo
