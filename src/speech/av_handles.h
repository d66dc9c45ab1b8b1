#pragma once
// Owning handles for the FFmpeg objects the speech code uses, so no error path leaks one.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace tamo::speech {

struct InputFormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context together with its file: the file is closed before the context is freed.
struct OutputFormatCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFreer {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputFormat = std::unique_ptr<AVFormatContext, InputFormatCloser>;
using OutputFormat = std::unique_ptr<AVFormatContext, OutputFormatCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;
using AudioFifo = std::unique_ptr<AVAudioFifo, FifoFreer>;

// Opens a media file and reads its stream information; empty when it cannot be read.
// formatWhitelist, when given, limits the demuxers, and only local files are opened then: a file
// that came from the network must not send FFmpeg off to other addresses (playlists and the like).
inline InputFormat openInput(const char* path, const char* formatWhitelist = nullptr) {
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    if (formatWhitelist) {
        av_dict_set(&options, "format_whitelist", formatWhitelist, 0);
        av_dict_set(&options, "protocol_whitelist", "file", 0);
    }
    int rc = avformat_open_input(&raw, path, nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) return {};
    InputFormat input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return {};
    return input;
}

}  // namespace tamo::speech
