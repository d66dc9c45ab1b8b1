#pragma once
// Owning handles for FFmpeg objects, so that every path out of a function releases what it opened.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace tamo::av {

struct InputDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputDeleter {
    // Closes the file if the muxer opened one, then frees the context.
    void operator()(AVFormatContext* c) const {
        if (!c) return;
        if (c->oformat && !(c->oformat->flags & AVFMT_NOFILE) && c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

inline FramePtr makeFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr makePacket() { return PacketPtr(av_packet_alloc()); }

// The demuxers of the containers and plain streams people edit video and sound from. Playlists
// (hls, concat, ffconcat), image sequences, network and device formats are left out: a local file that
// is really a playlist would otherwise pull other files, or addresses, into the export.
inline constexpr const char* kMediaFormats =
    "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi,mpegts,mpeg,mpegvideo,m4v,flv,asf,ogg,wav,w64,mp3,aac,flac,ac3,"
    "eac3,aiff,caf,amr,mxf,dv,h264,hevc,ivf,nut,yuv4mpegpipe,gif,wv,ape,tta,mpc,mpc8";

// Opens a local file for reading with the file protocol only and the given demuxers; nothing when it
// cannot be opened or its format is not in the list. Stream information is not read yet.
InputPtr openContainer(const std::string& path, const char* formatWhitelist = kMediaFormats);

// Same, then reads the stream information; empty on failure.
InputPtr openInput(const std::string& path, const char* formatWhitelist = kMediaFormats);

// The user's text for an FFmpeg error code: file-system errors (no permission, no space…) in
// Hungarian like every other platform failure, FFmpeg's own description otherwise.
std::string errorText(int code);

}  // namespace tamo::av
