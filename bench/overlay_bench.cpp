// Cost of burning overlays into one output frame, as a share of encoding that frame.
//
// The encode reference is measured in the same run: synthetic BGRA frames of the same size
// converted to YUV 4:2:0 and encoded with libx264 at the export's bit rate (W × H × 4 bits/s).
// Each overlay benchmark reports `encode_share_pct`: its time per frame / one frame's encode time.
// BM_TypicalOverlaysYuv draws into 4:2:0 planes as the export does; the others into BGRA.
#include <benchmark/benchmark.h>
#include <cairo.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "export/draw_info.h"
#include "export/overlay_renderer.h"
#include "export/yuv_frame.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace tamo;

struct Frame {
    int w, h;
    std::vector<std::uint8_t> px;
    Frame(int w_, int h_) : w(w_), h(h_), px(static_cast<std::size_t>(w_) * h_ * 4) {}
    BgraView view() { return {px.data(), w, h, 4 * w}; }
    void paint(int seed) {
        // Moving gradients with some texture: neither flat nor noise, like footage.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = &px[(static_cast<std::size_t>(y) * w + x) * 4];
                p[0] = static_cast<std::uint8_t>((x + seed * 3) & 0xFF);
                p[1] = static_cast<std::uint8_t>((y / 2 + seed) & 0xFF);
                p[2] = static_cast<std::uint8_t>(((x ^ y) / 4 + seed * 2) & 0xFF);
                p[3] = 255;
            }
    }
};

// Seconds to encode one frame with libx264, measured over a short clip (including the flush).
double encodeSecondsPerFrame(int w, int h) {
    static std::map<std::pair<int, int>, double> cache;
    if (auto it = cache.find({w, h}); it != cache.end()) return it->second;

    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return NAN;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = w;
    ctx->height = h;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 30};
    ctx->framerate = AVRational{30, 1};
    ctx->bit_rate = static_cast<int64_t>(w) * h * 4;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return NAN;
    SwsContext* sws =
        sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = w;
    yuv->height = h;
    av_frame_get_buffer(yuv, 0);
    AVPacket* pkt = av_packet_alloc();

    constexpr int kFrames = 45;
    std::vector<Frame> sources;
    for (int i = 0; i < 3; ++i) {
        sources.emplace_back(w, h);
        sources.back().paint(i * 7);
    }
    const auto start = Clock::now();
    for (int i = 0; i <= kFrames; ++i) {
        AVFrame* in = nullptr;
        if (i < kFrames) {
            av_frame_make_writable(yuv);
            Frame& src = sources[i % sources.size()];
            const std::uint8_t* planes[1] = {src.px.data()};
            const int strides[1] = {4 * w};
            sws_scale(sws, planes, strides, 0, h, yuv->data, yuv->linesize);
            yuv->pts = i;
            in = yuv;
        }
        avcodec_send_frame(ctx, in);
        while (avcodec_receive_packet(ctx, pkt) == 0) av_packet_unref(pkt);
    }
    const double perFrame = std::chrono::duration<double>(Clock::now() - start).count() / kFrames;
    av_packet_free(&pkt);
    av_frame_free(&yuv);
    sws_freeContext(sws);
    avcodec_free_context(&ctx);
    cache[{w, h}] = perFrame;
    std::fprintf(stderr, "libx264 encode of one %dx%d frame: %.2f ms\n", w, h, perFrame * 1e3);
    return perFrame;
}

PictureSurface picture(int w, int h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, w, h);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.9, 0.3, 0.2);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.1, 0.4, 0.9);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cairo_destroy(cr);
    return makePictureSurface(s);
}

// What a typical export carries: a blurred region, the progress bar, a product picture, a title
// with outline and box, a subtitle with the default glow, and an emoji.
OverlaySet typicalSet(int W, int H, bool animated) {
    const double S = H / 400.0;  // preview scale
    OverlaySet set;
    BlurDrawInfo blur;
    blur.xPercent = 50, blur.yPercent = 30, blur.widthPercent = 20, blur.heightPercent = 15, blur.blurAmount = 15;
    blur.timeStart = 0, blur.timeEnd = 100;
    set.blurs.push_back(blur);
    ProgressBarDrawInfo bar;
    bar.color = colorFromHex("#6c5ce7");
    bar.bgColor = colorFromHex("#333333");
    set.progressBar = bar;
    ImageDrawInfo img;
    img.cgImage = picture(800, 800);
    img.aspectRatio = 1, img.xPercent = 50, img.yPercent = 50, img.scalePercent = 20, img.opacity = 100;
    img.timeStart = 0, img.timeEnd = 100;
    // Animated: half way through a long entry, so every frame has a new scale and place.
    if (animated) img.animationIn = "zoomIn", img.animationDuration = 1000, img.timeStart = -500;
    set.images.push_back(img);

    auto text = [&](const char* s, double yPercent, double sizePercent) {
        TextDrawInfo t;
        t.text = s;
        t.font = ResolvedFont{"DejaVu Sans", sizePercent / 100 * H, true, false};
        t.color = colorFromHex("#ffffff");
        t.x = 0.5 * W, t.y = yPercent / 100 * H, t.textWidth = 0.9 * W;
        t.strokeWidth = 2 * S, t.shadowBlur = 3 * S;
        t.timeStart = 0, t.timeEnd = 100;
        if (animated) t.animationIn = "slideUp", t.animationDuration = 1000, t.timeStart = -500;
        return t;
    };
    TextDrawInfo title = text("A legjobb aj\xC3\xA1nlat ma este", 15, 6);
    title.strokeEnabled = true, title.bgEnabled = true, title.bgColor = colorFromHex("#1a1a2e");
    set.texts.push_back(title);
    set.texts.push_back(
        text("Ez egy hosszabb felirat, amely k\xC3\xA9t sorba t\xC3\xB6rik a keskeny k\xC3\xA9pen", 80, 4));
    set.texts.push_back(text("\xF0\x9F\x94\xA5\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 65, 8));
    return set;
}

void reportShare(benchmark::State& state, double seconds, long frames, int W, int H) {
    const double perFrame = seconds / static_cast<double>(frames);
    const double encode = encodeSecondsPerFrame(W, H);
    state.counters["frame_ms"] = perFrame * 1e3;
    state.counters["encode_ms"] = encode * 1e3;
    state.counters["encode_share_pct"] = 100 * perFrame / encode;
}

void BM_TypicalOverlays(benchmark::State& state) {
    const int W = static_cast<int>(state.range(0)), H = static_cast<int>(state.range(1));
    const bool animated = state.range(2) != 0;
    encodeSecondsPerFrame(W, H);
    OverlayRenderer renderer(std::make_shared<const OverlaySet>(typicalSet(W, H, animated)), W, H, 100);
    Frame frame(W, H);
    frame.paint(1);
    double seconds = 0;
    long frames = 0;
    double t = 1;
    for (auto _ : state) {
        const auto start = Clock::now();
        renderer.processFrame(frame.view(), t);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++frames;
        t += 1.0 / 30;  // every frame a new time: progress bar grows, animations move
    }
    reportShare(state, seconds, frames, W, H);
}

// The same set drawn the way the export draws it: into the 4:2:0 planes of the frame.
void BM_TypicalOverlaysYuv(benchmark::State& state) {
    const int W = static_cast<int>(state.range(0)), H = static_cast<int>(state.range(1));
    const bool animated = state.range(2) != 0;
    encodeSecondsPerFrame(W, H);
    OverlayRenderer renderer(std::make_shared<const OverlaySet>(typicalSet(W, H, animated)), W, H, 100);
    av::FramePtr frame = allocateYuv420(W, H);
    if (!frame) {
        state.SkipWithError("no memory for the frame");
        return;
    }
    const YuvView view = yuvViewOf(*frame);
    for (int i = 0; i < 3; ++i)
        for (int y = 0; y < view.plane(i).height; ++y)
            for (int x = 0; x < view.plane(i).width; ++x)
                view.data[i][static_cast<std::size_t>(y) * view.linesize[i] + x] =
                    static_cast<std::uint8_t>((x ^ y) + 40 * i);
    const YuvColorModel model = colorModelOf(SWS_CS_ITU709, false);
    double seconds = 0;
    long frames = 0;
    double t = 1;
    for (auto _ : state) {
        const auto start = Clock::now();
        renderer.processFrame(view, model, t);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++frames;
        t += 1.0 / 30;
    }
    reportShare(state, seconds, frames, W, H);
}

void BM_BlurOnly(benchmark::State& state) {
    const int W = static_cast<int>(state.range(0)), H = static_cast<int>(state.range(1));
    encodeSecondsPerFrame(W, H);
    OverlaySet set;
    BlurDrawInfo blur;  // the page's default region: 20 % × 15 % of the frame
    blur.blurAmount = static_cast<double>(state.range(2));
    blur.timeStart = 0, blur.timeEnd = 100;
    set.blurs.push_back(blur);
    OverlayRenderer renderer(std::make_shared<const OverlaySet>(set), W, H, 100);
    Frame frame(W, H);
    frame.paint(2);
    double seconds = 0;
    long frames = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        renderer.processFrame(frame.view(), 1);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++frames;
    }
    reportShare(state, seconds, frames, W, H);
}

// Portrait and landscape, still and animated.
void typicalSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"W", "H", "animated"});
    for (int animated : {0, 1})
        for (auto [w, h] : {std::pair{1080, 1920}, std::pair{1920, 1080}}) b->Args({w, h, animated});
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_TypicalOverlays)->Apply(typicalSizes);
BENCHMARK(BM_TypicalOverlaysYuv)->Apply(typicalSizes);
BENCHMARK(BM_BlurOnly)
    ->ArgNames({"W", "H", "radius"})
    ->Args({1080, 1920, 5})
    ->Args({1080, 1920, 15})
    ->Args({1080, 1920, 50})
    ->Args({1920, 1080, 5})
    ->Args({1920, 1080, 15})
    ->Args({1920, 1080, 50})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
