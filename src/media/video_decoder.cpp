#include "media/video_decoder.h"

namespace tamo::av {

CodecPtr openVideoDecoder(const AVStream& stream, int threads) {
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

}  // namespace tamo::av
