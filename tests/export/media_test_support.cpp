#include "media_test_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
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

bool ffmpeg(const std::string& args) { return std::system(("ffmpeg -nostdin -v error -y " + args).c_str()) == 0; }

namespace {

// One stream of a file opened with its decoder; every packet of it run through with `decode`.
struct Stream {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    const AVStream* st = nullptr;
    Stream(const std::filesystem::path& file, AVMediaType type) {
        if (avformat_open_input(&fmt, file.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(fmt, nullptr) < 0)
            return;
        const int index = av_find_best_stream(fmt, type, -1, -1, nullptr, 0);
        if (index < 0) return;
        st = fmt->streams[index];
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        dec = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!dec) return;
        avcodec_parameters_to_context(dec, st->codecpar);
        dec->pkt_timebase = st->time_base;
        if (avcodec_open2(dec, codec, nullptr) < 0) avcodec_free_context(&dec);
    }
    ~Stream() {
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);
    }
    double seconds(const AVFrame& f) const {
        return double(f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts) *
               av_q2d(st->time_base);
    }
    template <typename OnFrame>
    void decode(OnFrame onFrame) {
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto receive = [&] {
            for (; avcodec_receive_frame(dec, frame) == 0; av_frame_unref(frame)) onFrame(*frame);
        };
        for (; av_read_frame(fmt, pkt) >= 0; av_packet_unref(pkt))
            if (pkt->stream_index == st->index) avcodec_send_packet(dec, pkt), receive();
        avcodec_send_packet(dec, nullptr);
        receive();
        av_frame_free(&frame);
        av_packet_free(&pkt);
    }
};

}  // namespace

DecodedYuv decodeYuv(const std::filesystem::path& file) {
    DecodedYuv out;
    Stream in(file, AVMEDIA_TYPE_VIDEO);
    if (!in.dec) return out;
    out.opened = true;
    out.colorSpace = in.st->codecpar->color_space;
    out.colorPrimaries = in.st->codecpar->color_primaries;
    out.colorTransfer = in.st->codecpar->color_trc;
    out.colorRange = in.st->codecpar->color_range;
    SwsContext* sws = nullptr;
    in.decode([&](const AVFrame& f) {
        out.times.push_back(in.seconds(f));
        YuvPicture p{f.width, f.height};
        const int cw = (f.width + 1) / 2;
        p.y.resize(std::size_t(f.width) * f.height);
        p.u.resize(std::size_t(cw) * ((f.height + 1) / 2));
        p.v.resize(p.u.size());
        uint8_t* dst[4] = {p.y.data(), p.u.data(), p.v.data(), nullptr};
        int dstStride[4] = {f.width, cw, cw, 0};
        // Same matrix and range on both sides: a layout change only (a plain copy for 4:2:0).
        const bool full = f.color_range == AVCOL_RANGE_JPEG;
        sws = sws_getCachedContext(sws, f.width, f.height, AVPixelFormat(f.format), f.width, f.height,
                                   AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        const int* c = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(sws, c, full, c, full, 0, 1 << 16, 1 << 16);
        sws_scale(sws, f.data, f.linesize, 0, f.height, dst, dstStride);
        out.frames.push_back(std::move(p));
    });
    sws_freeContext(sws);
    return out;
}

DecodedVideo decodeVideo(const std::filesystem::path& file, bool keepPixels) {
    DecodedVideo out;
    out.hasAudio = Stream(file, AVMEDIA_TYPE_AUDIO).st != nullptr;
    Stream in(file, AVMEDIA_TYPE_VIDEO);
    if (!in.st) return out;
    out.width = in.st->codecpar->width;
    out.height = in.st->codecpar->height;
    if (const uint8_t* m = av_stream_get_side_data(in.st, AV_PKT_DATA_DISPLAYMATRIX, nullptr))
        out.rotation = int(std::lround(av_display_rotation_get(reinterpret_cast<const int32_t*>(m))));
    if (!in.dec) return out;
    out.opened = true;
    SwsContext* sws = nullptr;
    in.decode([&](const AVFrame& f) {
        out.times.push_back(in.seconds(f));
        if (!keepPixels) return;
        sws = sws_getCachedContext(sws, f.width, f.height, AVPixelFormat(f.format), f.width, f.height, AV_PIX_FMT_BGRA,
                                   SWS_BICUBIC, nullptr, nullptr, nullptr);
        // Tagged files say their matrix; the small untagged fixtures are BT.601.
        const int* c = sws_getCoefficients(f.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(sws, c, f.color_range == AVCOL_RANGE_JPEG, c, 1, 0, 1 << 16, 1 << 16);
        std::vector<uint8_t> pixels(std::size_t(f.width) * f.height * 4);
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
    Stream in(file, AVMEDIA_TYPE_AUDIO);
    if (!in.dec) return out;
    out.present = true;
    out.sampleRate = in.dec->sample_rate;
    in.decode([&](const AVFrame& f) {
        const int64_t pts = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : 0;
        const int64_t first = av_rescale_q(pts, in.st->time_base, AVRational{1, f.sample_rate});
        const int step = av_sample_fmt_is_planar(AVSampleFormat(f.format)) ? 1 : f.ch_layout.nb_channels;
        const bool floats = f.format == AV_SAMPLE_FMT_FLTP || f.format == AV_SAMPLE_FMT_FLT;
        for (int i = 0; i < f.nb_samples; ++i)
            if (first + i >= 0)
                out.left.push_back(floats ? reinterpret_cast<const float*>(f.extended_data[0])[i * step]
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
