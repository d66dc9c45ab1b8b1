#include "background/still_clip_writer.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>
#include <vector>

#include "media/ffmpeg_ptr.h"
#include "media/mp4_video_output.h"
#include "platform/failure_texts.h"
#include "platform/texts/background_texts.h"

namespace tamo {
namespace {

using av::CodecPtr;
using av::FramePtr;
using av::PacketPtr;
using av::SwsPtr;

// One group of pictures (a key frame and the frames that follow it) is encoded, one second long,
// and then written again and again with new time stamps. Every group starts with its own key
// frame, so the repeated groups are an ordinary valid H.264 stream; the encoder only ever sees
// thirty frames, however long the clip.
constexpr int kGroupSeconds = 1;

// A picture that never changes: no B-frames, no scene cuts, no look-ahead (nothing moves), so
// every frame after the key frame is made of skipped blocks. Constant quality keeps a plain
// colour tiny; the average bit rate is the ceiling, enforced with a one-second buffer. The group
// is short, so one encoder thread is enough and the work stays on the generator's thread; x264
// reports warnings and errors only.
void tuneForStillPicture(AVCodecContext* ctx, int groupFrames) {
    ctx->gop_size = groupFrames;
    ctx->keyint_min = groupFrames;
    ctx->max_b_frames = 0;
    ctx->rc_max_rate = ctx->bit_rate;
    ctx->rc_buffer_size = static_cast<int>(std::min<std::int64_t>(ctx->bit_rate, INT32_MAX));
    if (std::string(ctx->codec->name) != "libx264") return;
    av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
    av_opt_set(ctx->priv_data, "tune", "stillimage", 0);
    av_opt_set(ctx->priv_data, "crf", "18", 0);
    av_opt_set(ctx->priv_data, "x264-params", "scenecut=0:rc-lookahead=0:sync-lookahead=0:bframes=0:threads=1:log=1",
               0);
}

// Sends one frame (or the flush when frame is null) and keeps every packet it yields.
bool encodeInto(AVCodecContext* ctx, AVFrame* frame, std::vector<PacketPtr>& packets) {
    if (avcodec_send_frame(ctx, frame) < 0) return false;
    for (;;) {
        PacketPtr packet(av_packet_alloc());
        if (!packet) return false;
        int ret = avcodec_receive_packet(ctx, packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
        if (ret < 0) return false;
        packets.push_back(std::move(packet));
    }
}

}  // namespace

Outcome<> writeStillClip(const std::filesystem::path& path, GdkPixbuf* picture, const StillClipSettings& settings) {
    if (!picture || gdk_pixbuf_get_n_channels(picture) != 3 || settings.fps <= 0 || settings.frames <= 0)
        return fail(texts::background::kPixelBufferError);
    const int width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
    const std::string file = path.string();
    const int groupFrames = static_cast<int>(std::min<std::int64_t>(settings.frames, kGroupSeconds * settings.fps));

    av::VideoEncoderSetup setup;
    setup.width = width;
    setup.height = height;
    setup.timeBase = AVRational{1, settings.fps};
    setup.frameRate = AVRational{settings.fps, 1};
    setup.bitRate = settings.bitRate;
    // Converted with the BT.601 matrix in limited range, and labelled so.
    setup.colorRange = AVCOL_RANGE_MPEG;
    setup.colorSpace = AVCOL_SPC_SMPTE170M;
    setup.colorPrimaries = AVCOL_PRI_SMPTE170M;
    setup.colorTransfer = AVCOL_TRC_SMPTE170M;
    setup.tune = [groupFrames](AVCodecContext& c) { tuneForStillPicture(&c, groupFrames); };
    auto out = av::Mp4VideoOutput::open(path, setup);
    if (!out) {
        // The encoder does not say why its file could not be made; a read-only or full folder is named.
        if (auto reason = fileCreationFailure(path))
            return fail(std::string(texts::background::kWriterError) + " " + *reason);
        return fail(texts::background::kWriterError);
    }
    AVCodecContext* ctx = &out->encoder();

    FramePtr frame(av_frame_alloc());
    if (!frame) return fail(texts::background::kBufferPoolError);
    frame->format = ctx->pix_fmt;
    frame->width = width;
    frame->height = height;
    frame->color_range = ctx->color_range;
    frame->colorspace = ctx->colorspace;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return fail(texts::background::kBufferPoolError);

    // The picture is converted once; the same frame is handed to the encoder for every stamp.
    SwsPtr sws(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                              SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!sws) return fail(texts::background::kPixelBufferError);
    sws_setColorspaceDetails(sws.get(), sws_getCoefficients(SWS_CS_ITU601), 1, sws_getCoefficients(SWS_CS_ITU601), 0, 0,
                             1 << 16, 1 << 16);
    const uint8_t* src[1] = {gdk_pixbuf_read_pixels(picture)};
    const int srcStride[1] = {gdk_pixbuf_get_rowstride(picture)};
    if (sws_scale(sws.get(), src, srcStride, 0, height, frame->data, frame->linesize) != height)
        return fail(texts::background::kPixelBufferError);

    std::vector<PacketPtr> group;
    for (int i = 0; i < groupFrames; ++i) {
        frame->pts = i;
        if (!encodeInto(ctx, frame.get(), group)) return fail(texts::background::kWriteFailed);
    }
    if (!encodeInto(ctx, nullptr, group)) return fail(texts::background::kWriteFailed);
    if (group.size() != static_cast<std::size_t>(groupFrames) || !(group.front()->flags & AV_PKT_FLAG_KEY))
        return fail(texts::background::kWriteFailed);

    PacketPtr packet(av_packet_alloc());
    if (!packet) return fail(texts::background::kWriteFailed);
    for (std::int64_t i = 0; i < settings.frames; ++i) {
        const AVPacket* coded = group[static_cast<std::size_t>(i % groupFrames)].get();
        if (av_packet_ref(packet.get(), coded) < 0) return fail(texts::background::kWriteFailed);
        // Same distance between decoding and presentation stamps as in the encoded group.
        const std::int64_t shift = i - i % groupFrames;
        packet->pts = coded->pts + shift;
        packet->dts = coded->dts + shift;
        packet->duration = 1;
        if (!out->writePacket(*packet)) return fail(texts::background::kWriteFailed);  // takes the reference
    }
    if (!out->finish()) return fail(texts::background::kWriteFailed);
    return {};
}

}  // namespace tamo
