#include "media/stream_decoder.h"

namespace tamo::av {

bool playsPicture(const AVStream& s) {
    return s.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s.disposition & AV_DISPOSITION_ATTACHED_PIC);
}

int firstVideoStream(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (playsPicture(*input.streams[i])) return static_cast<int>(i);
    return -1;
}

int firstAudioStream(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
    return -1;
}

CodecPtr openDecoder(const AVStream& stream, int threads) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) return {};
    CodecPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0) return {};
    decoder->pkt_timebase = stream.time_base;
    decoder->thread_count = threads;
    if (threads != 1) decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return {};
    return decoder;
}

void readOnlyStream(AVFormatContext& input, int streamIndex) {
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex) input.streams[i]->discard = AVDISCARD_ALL;
}

StreamDecoding openStreamDecoding(const std::string& path, AVMediaType kind, int threads, const char* formatWhitelist) {
    StreamDecoding d;
    InputPtr input = openInput(path, formatWhitelist);
    if (!input) return {};
    const int index = kind == AVMEDIA_TYPE_VIDEO   ? firstVideoStream(*input)
                      : kind == AVMEDIA_TYPE_AUDIO ? firstAudioStream(*input)
                                                   : -1;
    if (index < 0) return {};
    d.decoder = openDecoder(*input->streams[index], threads);
    if (!d.decoder) return {};
    readOnlyStream(*input, index);
    d.input = std::move(input);
    d.stream = index;
    return d;
}

}  // namespace tamo::av
