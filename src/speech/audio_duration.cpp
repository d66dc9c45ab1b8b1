#include "speech/audio_duration.h"

#include "media/audio_decoder.h"

namespace tamo::speech {

std::optional<double> decodedAudioDuration(const std::filesystem::path& file) {
    auto decoder = AudioStreamDecoder::open(file.string(), "mp3,wav,ogg,flac,aac,mov,mp4,m4a,matroska,webm");
    if (!decoder) return std::nullopt;
    // Only what decodes counts as sound; damaged packets are skipped.
    double seconds = 0;
    while (const AVFrame* frame = decoder->next())
        if (frame->sample_rate > 0) seconds += static_cast<double>(frame->nb_samples) / frame->sample_rate;
    if (!(seconds > 0)) return std::nullopt;
    return seconds;
}

}  // namespace tamo::speech
