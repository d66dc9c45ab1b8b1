#include "media_test_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

namespace tamo::test {

TempDir::TempDir() {
    std::random_device rd;
    path_ =
        std::filesystem::temp_directory_path() / ("tamo_export_test_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool ffmpeg(const std::string& args) {
    std::string cmd = "ffmpeg -nostdin -v error -y " + args;
    return std::system(cmd.c_str()) == 0;
}

namespace {

struct Input {
    AVFormatContext* ctx = nullptr;
    explicit Input(const std::filesystem::path& f) {
        if (avformat_open_input(&ctx, f.c_str(), nullptr, nullptr) < 0)
            ctx = nullptr;
        else if (avformat_find_stream_info(ctx, nullptr) < 0)
            avformat_close_input(&ctx);
    }
    ~Input() { avformat_close_input(&ctx); }
};

struct Decoder {
    AVCodecContext* ctx = nullptr;
    explicit Decoder(const AVStream* st) {
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) return;
        ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, st->codecpar);
        ctx->pkt_timebase = st->time_base;
        if (avcodec_open2(ctx, codec, nullptr) < 0) avcodec_free_context(&ctx);
    }
    ~Decoder() { avcodec_free_context(&ctx); }
};

// Runs every packet of one stream through its decoder and hands out each frame.
template <typename OnFrame>
void decodeStream(AVFormatContext* fmt, int index, AVCodecContext* dec, OnFrame onFrame) {
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            onFrame(*frame);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == index) {
            avcodec_send_packet(dec, pkt);
            receive();
        }
        av_packet_unref(pkt);
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&pkt);
}

double secondsOf(const AVFrame& f, const AVStream* st) {
    return double(f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts) * av_q2d(st->time_base);
}

}  // namespace

DecodedYuv decodeYuv(const std::filesystem::path& file) {
    DecodedYuv out;
    Input in(file);
    if (!in.ctx) return out;
    int index = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return out;
    const AVStream* st = in.ctx->streams[index];
    out.colorSpace = st->codecpar->color_space;
    out.colorPrimaries = st->codecpar->color_primaries;
    out.colorTransfer = st->codecpar->color_trc;
    out.colorRange = st->codecpar->color_range;
    Decoder dec(st);
    if (!dec.ctx) return out;
    out.opened = true;
    SwsContext* sws = nullptr;
    decodeStream(in.ctx, index, dec.ctx, [&](const AVFrame& f) {
        out.times.push_back(secondsOf(f, st));
        YuvPicture p;
        p.width = f.width;
        p.height = f.height;
        const int cw = (f.width + 1) / 2, ch = (f.height + 1) / 2;
        p.y.resize(static_cast<std::size_t>(f.width) * f.height);
        p.u.resize(static_cast<std::size_t>(cw) * ch);
        p.v.resize(p.u.size());
        uint8_t* dst[4] = {p.y.data(), p.u.data(), p.v.data(), nullptr};
        int dstStride[4] = {f.width, cw, cw, 0};
        if (f.format == AV_PIX_FMT_YUV420P || f.format == AV_PIX_FMT_YUVJ420P) {
            av_image_copy(dst, dstStride, const_cast<const uint8_t**>(f.data), f.linesize, AV_PIX_FMT_YUV420P, f.width,
                          f.height);
        } else {
            const bool full = f.color_range == AVCOL_RANGE_JPEG;
            sws = sws_getCachedContext(sws, f.width, f.height, AVPixelFormat(f.format), f.width, f.height,
                                       AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
            const int* c = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(sws, c, full, c, full, 0, 1 << 16, 1 << 16);
            sws_scale(sws, f.data, f.linesize, 0, f.height, dst, dstStride);
        }
        out.frames.push_back(std::move(p));
    });
    sws_freeContext(sws);
    return out;
}

DecodedVideo decodeVideo(const std::filesystem::path& file, bool keepPixels) {
    DecodedVideo out;
    Input in(file);
    if (!in.ctx) return out;
    int index = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    out.hasAudio = av_find_best_stream(in.ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    if (index < 0) return out;
    const AVStream* st = in.ctx->streams[index];
    out.width = st->codecpar->width;
    out.height = st->codecpar->height;
    if (const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr))
        out.rotation = static_cast<int>(std::lround(av_display_rotation_get(reinterpret_cast<const int32_t*>(m))));
    Decoder dec(st);
    if (!dec.ctx) return out;
    out.opened = true;
    for (unsigned i = 0; i < in.ctx->nb_streams; ++i)
        if (static_cast<int>(i) != index) in.ctx->streams[i]->discard = AVDISCARD_ALL;
    SwsContext* sws = nullptr;
    decodeStream(in.ctx, index, dec.ctx, [&](const AVFrame& f) {
        out.times.push_back(secondsOf(f, st));
        if (!keepPixels) return;
        sws = sws_getCachedContext(sws, f.width, f.height, AVPixelFormat(f.format), f.width, f.height, AV_PIX_FMT_BGRA,
                                   SWS_BICUBIC, nullptr, nullptr, nullptr);
        // Tagged files say their matrix; the small untagged fixtures are BT.601.
        const int* c = sws_getCoefficients(f.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(sws, c, f.color_range == AVCOL_RANGE_JPEG, c, 1, 0, 1 << 16, 1 << 16);
        std::vector<uint8_t> pixels(static_cast<std::size_t>(f.width) * f.height * 4);
        uint8_t* dst[4] = {pixels.data()};
        int dstStride[4] = {f.width * 4};
        sws_scale(sws, f.data, f.linesize, 0, f.height, dst, dstStride);
        out.frames.push_back(std::move(pixels));
    });
    sws_freeContext(sws);
    return out;
}

DecodedAudio decodeAudio(const std::filesystem::path& file) {
    DecodedAudio out;
    Input in(file);
    if (!in.ctx) return out;
    int index = av_find_best_stream(in.ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return out;
    Decoder dec(in.ctx->streams[index]);
    if (!dec.ctx) return out;
    out.present = true;
    out.sampleRate = dec.ctx->sample_rate;
    const AVStream* st = in.ctx->streams[index];
    decodeStream(in.ctx, index, dec.ctx, [&](const AVFrame& f) {
        const int64_t pts = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : 0;
        const int64_t first = av_rescale_q(pts, st->time_base, AVRational{1, f.sample_rate});
        const bool planar = av_sample_fmt_is_planar(AVSampleFormat(f.format));
        const int step = planar ? 1 : f.ch_layout.nb_channels;
        for (int i = 0; i < f.nb_samples; ++i)
            if (first + i >= 0)
                out.left.push_back(f.format == AV_SAMPLE_FMT_FLTP || f.format == AV_SAMPLE_FMT_FLT
                                       ? reinterpret_cast<const float*>(f.extended_data[0])[i * step]
                                       : reinterpret_cast<const int16_t*>(f.extended_data[0])[i * step] / 32768.0f);
    });
    return out;
}

double toneAmplitude(const std::vector<float>& s, int rate, double frequency, double fromSeconds, double toSeconds) {
    std::size_t from = static_cast<std::size_t>(std::max(0.0, fromSeconds) * rate);
    std::size_t to = std::min(s.size(), static_cast<std::size_t>(toSeconds * rate));
    if (to <= from) return 0;
    double re = 0, im = 0;
    const double w = 2 * std::numbers::pi * frequency / rate;
    for (std::size_t i = from; i < to; ++i) {
        re += s[i] * std::cos(w * i);
        im += s[i] * std::sin(w * i);
    }
    return 2 * std::hypot(re, im) / double(to - from);
}

double meanAbsDiff(const std::vector<std::uint8_t>& a, int aWidth, int ax, int ay, const std::vector<std::uint8_t>& b,
                   int bWidth, int bx, int by, int w, int h) {
    double sum = 0;
    std::size_t n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                int va = a[(static_cast<std::size_t>(ay + y) * aWidth + ax + x) * 4 + c];
                int vb = b[(static_cast<std::size_t>(by + y) * bWidth + bx + x) * 4 + c];
                sum += std::abs(va - vb);
                ++n;
            }
    return n ? sum / n : 0;
}

std::vector<std::string> fileNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

}  // namespace tamo::test
