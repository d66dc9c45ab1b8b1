#include "export/video_reader.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <thread>

#include "export/frame_rotation.h"
#include "media/display_matrix.h"
#include "media/stream_decoder.h"

namespace tamo {
namespace {

bool isFullRange(AVColorRange range, int format) {
    return range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
           format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

bool knownMatrix(AVColorSpace s) {
    switch (s) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
    case AVCOL_SPC_FCC: return true;
    default: return false;
    }
}

// The tags an untagged source is read with: BT.709 from 720 lines on, BT.601 (525-line) below.
void describeColours(const AVCodecParameters& par, SourceInfo& info) {
    const bool hd = par.height >= 720;
    info.colorMatrix = colorMatrixOf(par.color_space, par.height);
    info.colorSpace = knownMatrix(par.color_space) ? par.color_space : hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    info.colorPrimaries = par.color_primaries != AVCOL_PRI_UNSPECIFIED && par.color_primaries != AVCOL_PRI_RESERVED &&
                                  par.color_primaries != AVCOL_PRI_RESERVED0
                              ? par.color_primaries
                          : hd ? AVCOL_PRI_BT709
                               : AVCOL_PRI_SMPTE170M;
    info.colorTransfer = par.color_trc != AVCOL_TRC_UNSPECIFIED && par.color_trc != AVCOL_TRC_RESERVED &&
                                 par.color_trc != AVCOL_TRC_RESERVED0
                             ? par.color_trc
                         : hd ? AVCOL_TRC_BT709
                              : AVCOL_TRC_SMPTE170M;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par.format));
    const bool rgb = d && (d->flags & AV_PIX_FMT_FLAG_RGB);
    info.fullRange = !rgb && isFullRange(par.color_range, par.format);
}

}  // namespace

int colorMatrixOf(AVColorSpace space, int height) {
    switch (space) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    default: return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

std::unique_ptr<VideoReader> VideoReader::openSource(const std::string& path, SourceInfo& info) {
    info = {};
    auto input = av::openInput(path);
    if (!input) return {};
    std::unique_ptr<VideoReader> reader(new VideoReader());
    if (const int index = av::firstVideoStream(*input); index >= 0) {
        const AVStream* st = input->streams[index];
        info.streamIndex = index;
        DisplaySize d = streamDisplaySize(st);
        info.displayWidth = d.width;
        info.displayHeight = d.height;
        info.rotation = streamRotationDegrees(st);
        info.frameRate =
            st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
        info.timeBase = st->time_base;
        describeColours(*st->codecpar, info);
        if (input->duration > 0)
            info.durationSeconds = input->duration / double(AV_TIME_BASE);
        else if (st->duration > 0)
            info.durationSeconds = st->duration * av_q2d(st->time_base);
        info.timestampsMayBreak = (input->iformat->flags & AVFMT_TS_DISCONT) != 0;
    }
    reader->info_ = info;
    reader->input_ = std::move(input);
    return reader;
}

bool VideoReader::start() {
    if (info_.streamIndex < 0 || !packet_ || !frame_) return false;
    // Frame threads decode ahead while the other stages draw and encode.
    const int threads = static_cast<int>(std::min(8u, std::max(1u, std::thread::hardware_concurrency())));
    decoder_ = av::openDecoder(*input_->streams[info_.streamIndex], threads);
    if (!decoder_) return false;
    av::readOnlyStream(*input_, info_.streamIndex);
    return true;
}

double VideoReader::originSeconds() const {
    return origin_ == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(origin_) * av_q2d(info_.timeBase);
}

VideoReader::Status VideoReader::next(Frame& out) {
    if (!decoder_) return Status::Error;
    for (;;) {
        int r = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (r == 0) {
            // The picture may be the decoder's own planes: they stay referenced until the next call.
            if (!convert(*frame_, out)) return Status::Error;
            return Status::Frame;
        }
        if (r == AVERROR_EOF) return Status::End;
        if (r == AVERROR_INVALIDDATA) {  // a damaged picture: no frame for it
            ++corruptPackets_;
            continue;
        }
        if (r != AVERROR(EAGAIN)) return Status::Error;
        if (draining_) return Status::End;

        r = av_read_frame(input_.get(), packet_.get());
        if (r == AVERROR_EOF) {
            // A file cut off part-way also ends in EOF; its last sample was read short.
            if (input_->pb && (input_->pb->error || (input_->pb->eof_reached && lastPacketCorrupt_)))
                return Status::Error;
            draining_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (r < 0) return Status::Error;  // the file could not be read further: not the end of the source
        if (packet_->stream_index != info_.streamIndex) {
            av_packet_unref(packet_.get());
            continue;
        }
        lastPacketCorrupt_ = (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0;
        r = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (r == AVERROR_INVALIDDATA) {
            ++corruptPackets_;
            continue;
        }
        if (r < 0 && r != AVERROR(EAGAIN)) return Status::Error;
    }
}

std::int64_t VideoReader::timelinePts(const AVFrame& f) {
    const AVRational rate = info_.frameRate.num > 0 && info_.frameRate.den > 0 ? info_.frameRate : AVRational{30, 1};
    const std::int64_t step = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), info_.timeBase));
    std::int64_t raw = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts;
    // No timestamp at all: one nominal frame after the previous one.
    if (raw == AV_NOPTS_VALUE) raw = lastRawPts_ == AV_NOPTS_VALUE ? 0 : lastRawPts_ + step;
    lastRawPts_ = raw;
    if (origin_ == AV_NOPTS_VALUE) origin_ = raw;
    std::int64_t pts = raw - origin_ + shift_;
    if (info_.timestampsMayBreak && lastPts_ != AV_NOPTS_VALUE) {
        // A reset (time going back) or a jump of more than a second: the stream's clock changed,
        // not the picture's, so the frame follows the previous one at the nominal rate.
        const std::int64_t jump = av_rescale_q(1, AVRational{1, 1}, info_.timeBase);
        if (pts <= lastPts_ || pts - lastPts_ > std::max(jump, 2 * step)) {
            shift_ += lastPts_ + step - pts;
            pts = lastPts_ + step;
            resetShifts_.push_back(static_cast<double>(shift_) * av_q2d(info_.timeBase));
        }
    }
    lastPts_ = pts;
    return pts;
}

bool VideoReader::convert(const AVFrame& f, Frame& out) {
    out.decoded = nullptr;
    const int w = f.width, h = f.height;
    if (w <= 0 || h <= 0) return false;
    YuvView picture;
    const bool plain = f.format == AV_PIX_FMT_YUV420P || f.format == AV_PIX_FMT_YUVJ420P;
    if (plain && isFullRange(f.color_range, f.format) == info_.fullRange) {
        picture = yuvViewOf(f);  // the decoder's own planes: nothing converted
        out.decoded = &f;
    } else {
        // Another layout or depth: once to 8-bit 4:2:0 with the source's matrix, keeping its range.
        if (!converted_ || converted_->width != w || converted_->height != h) converted_ = allocateYuv420(w, h);
        if (!converted_ || av_frame_make_writable(converted_.get()) < 0) return false;
        sws_.reset(sws_getCachedContext(sws_.release(), w, h, static_cast<AVPixelFormat>(f.format), w, h,
                                        AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
        if (!sws_) return false;
        const int* coeffs = sws_getCoefficients(info_.colorMatrix);
        sws_setColorspaceDetails(sws_.get(), coeffs, isFullRange(f.color_range, f.format) ? 1 : 0, coeffs,
                                 info_.fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
        if (sws_scale(sws_.get(), f.data, f.linesize, 0, h, converted_->data, converted_->linesize) != h) return false;
        picture = yuvViewOf(*converted_);
    }
    if (!picture.data[0]) return false;

    if (info_.rotation == 90 || info_.rotation == 180 || info_.rotation == 270) {
        const bool quarter = info_.rotation != 180;
        const int tw = quarter ? h : w, th = quarter ? w : h;
        if (!turned_ || turned_->width != tw || turned_->height != th) turned_ = allocateYuv420(tw, th);
        if (!turned_) return false;
        const YuvView turned = yuvViewOf(*turned_);
        for (int i = 0; i < 3; ++i) rotatePlane(picture.plane(i), turned.plane(i), info_.rotation);
        picture = turned;
        out.decoded = nullptr;
    }

    out.picture = picture;
    out.pts = timelinePts(f);
    out.seconds = static_cast<double>(out.pts) * av_q2d(info_.timeBase);
    return true;
}

}  // namespace tamo
