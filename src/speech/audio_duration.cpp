#include "speech/audio_duration.h"

#include "media/ffmpeg_ptr.h"

namespace tamo::speech {

std::optional<double> decodedAudioDuration(const std::filesystem::path& file) {
    av::InputPtr input = av::openInput(file.string(), "mp3,wav,ogg,flac,aac,mov,mp4,m4a,matroska,webm");
    if (!input) return std::nullopt;
    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return std::nullopt;
    av::CodecPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), input->streams[index]->codecpar) < 0) return std::nullopt;
    decoder->pkt_timebase = input->streams[index]->time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return std::nullopt;

    av::PacketPtr packet(av_packet_alloc());
    av::FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return std::nullopt;
    double seconds = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            if (frame->sample_rate > 0) seconds += static_cast<double>(frame->nb_samples) / frame->sample_rate;
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            // Damaged packets are skipped; only what decodes counts as sound.
            avcodec_send_packet(decoder.get(), packet.get());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    if (!(seconds > 0)) return std::nullopt;
    return seconds;
}

}  // namespace tamo::speech
