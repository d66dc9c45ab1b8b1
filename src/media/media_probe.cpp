#include "media/media_probe.h"

extern "C" {
#include <libavformat/avformat.h>
}
static_assert(AV_CODEC_ID_NONE == 0, "MediaInfo::audioCodecId uses 0 for no audio");

#include <cmath>
#include <memory>
#include <system_error>

#include "media/display_matrix.h"
#include "media/ffmpeg_ptr.h"
#include "media/stream_decoder.h"

namespace tamo {
namespace {

std::optional<double> seconds(int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE || value <= 0 || timeBase.num <= 0 || timeBase.den <= 0) return std::nullopt;
    // One division, so a whole number of microseconds such as 1320000 gives 1.32 and not 1.3199999999999998.
    double s = static_cast<double>(value) * timeBase.num / timeBase.den;
    if (!std::isfinite(s) || s <= 0) return std::nullopt;
    return s;
}

}  // namespace

std::optional<MediaInfo> probeMedia(const std::filesystem::path& path) {
    // A pipe or device could block the caller for ever; media lives in regular files.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    // Opened without reading stream information yet: the prober decides when that is worth it.
    av::InputPtr input = av::openContainer(path.string());
    if (!input) return std::nullopt;
    // Some containers only learn sizes and lengths by reading a few packets; a failure here still
    // leaves whatever the header gave.
    avformat_find_stream_info(input.get(), nullptr);

    MediaInfo info;
    const AVStream* video = nullptr;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (!stream->codecpar) continue;
        // Cover pictures in audio files are not the video of the file.
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        if (av::playsPicture(*stream) && !video) video = stream;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && !info.hasAudio) {
            info.hasAudio = true;
            info.audioCodecId = static_cast<int>(stream->codecpar->codec_id);
        }
    }

    if (video) {
        info.hasVideo = true;
        DisplaySize size = streamDisplaySize(video);
        info.width = size.width;
        info.height = size.height;
        info.rotationDegrees = streamRotationDegrees(video);
    }

    info.duration = seconds(input->duration, AVRational{1, AV_TIME_BASE});
    if (!info.duration && video) info.duration = seconds(video->duration, video->time_base);
    return info;
}

}  // namespace tamo
