// The floor of an export: decode the source and encode it again with the same x264 preset and
// bit rate as tamovid-render, with nothing in between (no colour conversion, no drawing).
// Usage: export_floor IN OUT.mp4 [x264-preset]
extern "C" {
#include <libavutil/opt.h>
}

#include <cstdio>
#include <string>

#include "media/ffmpeg_ptr.h"
#include "export/video_writer.h"

using namespace tamo;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: export_floor IN OUT.mp4 [x264-preset]\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    const char* preset = argc > 3 ? argv[3] : kX264Preset;
    auto in = av::openInput(argv[1]);
    if (!in) return 1;
    int vi = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (vi < 0) return 1;
    AVStream* st = in->streams[vi];
    const AVCodec* dc = avcodec_find_decoder(st->codecpar->codec_id);
    av::CodecPtr dec(avcodec_alloc_context3(dc));
    avcodec_parameters_to_context(dec.get(), st->codecpar);
    dec->pkt_timebase = st->time_base;
    dec->thread_count = 0;
    if (avcodec_open2(dec.get(), dc, nullptr) < 0) return 1;

    AVFormatContext* raw = nullptr;
    avformat_alloc_output_context2(&raw, nullptr, "mp4", argv[2]);
    av::OutputPtr out(raw);
    const AVCodec* ec = avcodec_find_encoder_by_name("libx264");
    av::CodecPtr enc(avcodec_alloc_context3(ec));
    enc->width = st->codecpar->width & ~1;
    enc->height = st->codecpar->height & ~1;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = st->time_base;
    enc->framerate = st->avg_frame_rate;
    enc->bit_rate = static_cast<int64_t>(st->codecpar->width) * st->codecpar->height * 4;
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(enc->priv_data, "preset", preset, 0);
    if (avcodec_open2(enc.get(), ec, nullptr) < 0) return 1;
    AVStream* os = avformat_new_stream(out.get(), nullptr);
    avcodec_parameters_from_context(os->codecpar, enc.get());
    os->time_base = enc->time_base;
    if (avio_open(&out->pb, argv[2], AVIO_FLAG_WRITE) < 0 || avformat_write_header(out.get(), nullptr) < 0) return 1;

    auto pkt = av::makePacket();
    auto opkt = av::makePacket();
    auto frame = av::makeFrame();
    auto drain = [&] {
        while (avcodec_receive_packet(enc.get(), opkt.get()) == 0) {
            av_packet_rescale_ts(opkt.get(), enc->time_base, os->time_base);
            opkt->stream_index = 0;
            av_interleaved_write_frame(out.get(), opkt.get());
        }
    };
    auto receive = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            frame->pts = frame->best_effort_timestamp;
            frame->pict_type = AV_PICTURE_TYPE_NONE;
            avcodec_send_frame(enc.get(), frame.get());
            av_frame_unref(frame.get());
            drain();
        }
    };
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == vi) {
            avcodec_send_packet(dec.get(), pkt.get());
            receive();
        }
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    receive();
    avcodec_send_frame(enc.get(), nullptr);
    drain();
    av_write_trailer(out.get());
    return 0;
}
