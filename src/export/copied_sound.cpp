#include "export/copied_sound.h"

#include <cmath>
#include <cstdlib>

#include "media/mp4_output.h"
#include "media/stream_decoder.h"

namespace tamo {
namespace {

// Whether the packets of a stream, as its index lists them (edit lists already applied by the
// demuxer), follow each other without a hole from `originSeconds` to the stream's end. Packets the
// demuxer marks for discarding (the encoder's priming) may come first. An index that does not reach
// the end (a fragmented file indexed as it is read) says nothing about the rest.
bool laidDownWithoutHoles(AVStream& stream, double originSeconds) {
    const int count = avformat_index_get_entries_count(&stream);
    int first = 0;
    while (first < count && (avformat_index_get_entry(&stream, first)->flags & AVINDEX_DISCARD_FRAME)) ++first;
    if (count - first < 2) return false;
    const double tick = av_q2d(stream.time_base);
    const std::int64_t start = avformat_index_get_entry(&stream, first)->timestamp;
    if (std::fabs(start * tick - originSeconds) > AudioPlacement::kJitterSeconds) return false;
    const std::int64_t step = avformat_index_get_entry(&stream, first + 1)->timestamp - start;
    if (step <= 0) return false;
    // A packet length that is not a whole number of ticks alternates by one.
    std::int64_t previous = start;
    for (int i = first + 1; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(&stream, i);
        if (e->flags & AVINDEX_DISCARD_FRAME) return false;
        if (std::llabs(e->timestamp - previous - step) > 1) return false;
        previous = e->timestamp;
    }
    if (stream.duration <= 0) return false;
    const std::int64_t end = (stream.start_time != AV_NOPTS_VALUE ? stream.start_time : start) + stream.duration;
    return std::llabs(previous + step - end) <= step;
}

}  // namespace

std::unique_ptr<CopiedSound> CopiedSound::open(const std::string& path, const PictureClock& clock, double seconds) {
    if (!clock.resetShiftSeconds.empty()) return {};
    av::InputPtr input = av::openInput(path);
    if (!input || (input->iformat->flags & AVFMT_TS_DISCONT)) return {};
    const int index = av::firstAudioStream(*input);
    if (index < 0) return {};
    AVStream& stream = *input->streams[index];
    const AVCodecParameters& p = *stream.codecpar;
    // MPEG-4 style AAC only (its header apart from the packets); ADTS would need rewriting.
    if (p.codec_id != AV_CODEC_ID_AAC || p.extradata_size <= 0 || p.sample_rate <= 0 || p.ch_layout.nb_channels <= 0)
        return {};
    const double origin = std::isfinite(clock.originSeconds) ? clock.originSeconds : 0.0;
    if (stream.time_base.num <= 0 || stream.time_base.den <= 0 || !laidDownWithoutHoles(stream, origin)) return {};
    av::readOnlyStream(*input, index);

    std::unique_ptr<CopiedSound> sound(new CopiedSound());
    sound->origin_ = std::llround(origin / av_q2d(stream.time_base));
    sound->endSeconds_ = seconds;
    sound->input_ = std::move(input);
    sound->stream_ = index;
    return sound;
}

AVStream* CopiedSound::addStreamTo(AVFormatContext& output) const {
    if (avformat_query_codec(output.oformat, AV_CODEC_ID_AAC, FF_COMPLIANCE_NORMAL) != 1) return nullptr;
    AVStream* out = avformat_new_stream(&output, nullptr);
    if (!out || av::copyStreamSetup(*out, stream()) < 0) return nullptr;
    return out;
}

int CopiedSound::next(AVPacket& packet) {
    for (;;) {
        // A file that cannot be read further simply ends its sound there, as a decoded one would.
        if (av_read_frame(input_.get(), &packet) < 0) return AVERROR_EOF;
        if (packet.stream_index != stream_ || packet.pts == AV_NOPTS_VALUE) {
            av_packet_unref(&packet);
            continue;
        }
        packet.pts -= origin_;
        packet.dts = packet.dts == AV_NOPTS_VALUE ? packet.pts : packet.dts - origin_;
        packet.pos = -1;
        // The sound is cut at the picture's end, to the packet.
        if (packet.pts * av_q2d(stream().time_base) >= endSeconds_) {
            av_packet_unref(&packet);
            return AVERROR_EOF;
        }
        return 0;
    }
}

}  // namespace tamo
