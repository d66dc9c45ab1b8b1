#include "export/video_reader.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <thread>

#include "export/frame_rotation.h"
#include "media/display_matrix.h"

namespace tamo {

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
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* st = input->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        info.streamIndex = static_cast<int>(i);
        DisplaySize d = streamDisplaySize(st);
        info.displayWidth = d.width;
        info.displayHeight = d.height;
        info.rotation = streamRotationDegrees(st);
        info.frameRate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
        info.timeBase = st->time_base;
        info.colorSpace = st->codecpar->color_space;
        info.colorPrimaries = st->codecpar->color_primaries;
        info.colorTransfer = st->codecpar->color_trc;
        info.colorMatrix = colorMatrixOf(info.colorSpace, st->codecpar->height);
        if (input->duration > 0) info.durationSeconds = input->duration / double(AV_TIME_BASE);
        else if (st->duration > 0) info.durationSeconds = st->duration * av_q2d(st->time_base);
        break;
    }
    reader->info_ = info;
    reader->input_ = std::move(input);
    return reader;
}

bool VideoReader::start() {
    if (info_.streamIndex < 0 || !packet_ || !frame_) return false;
    const AVStream* st = input_->streams[info_.streamIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return false;
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), st->codecpar) < 0) return false;
    decoder_->pkt_timebase = st->time_base;
    // Frame threads decode ahead while this thread draws and encodes.
    decoder_->thread_count = std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(decoder_.get(), codec, nullptr) < 0) return false;
    // Other streams are not read at all.
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        if (static_cast<int>(i) != info_.streamIndex) input_->streams[i]->discard = AVDISCARD_ALL;
    return true;
}

VideoReader::Status VideoReader::next(Frame& out) {
    if (!decoder_) return Status::Error;
    for (;;) {
        int r = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (r == 0) {
            bool ok = convert(*frame_, out);
            av_frame_unref(frame_.get());
            if (!ok) return Status::Error;
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
            if (input_->pb && (input_->pb->error || (input_->pb->eof_reached && lastPacketCorrupt_))) return Status::Error;
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

bool VideoReader::convert(const AVFrame& f, Frame& out) {
    const int w = f.width, h = f.height;
    if (w <= 0 || h <= 0) return false;
    sws_.reset(sws_getCachedContext(sws_.release(), w, h, static_cast<AVPixelFormat>(f.format), w, h, AV_PIX_FMT_BGRA,
                                    kSwsFlags, nullptr, nullptr, nullptr));
    if (!sws_) return false;
    const int fullRange = f.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    // One matrix for the whole export, the same one the encoder side uses: an untouched pixel
    // comes out with the values it went in with.
    const int* coeffs = sws_getCoefficients(info_.colorMatrix);
    sws_setColorspaceDetails(sws_.get(), coeffs, fullRange, coeffs, 1, 0, 1 << 16, 1 << 16);

    BgraView picture = decoded_.reshape(w, h);
    std::uint8_t* dstData[4] = {picture.data, nullptr, nullptr, nullptr};
    int dstStride[4] = {picture.stride, 0, 0, 0};
    if (sws_scale(sws_.get(), f.data, f.linesize, 0, h, dstData, dstStride) != h) return false;

    if (info_.rotation != 0) {
        const bool quarter = info_.rotation == 90 || info_.rotation == 270;
        BgraView turned = turned_.reshape(quarter ? h : w, quarter ? w : h);
        rotateBgra(picture, turned, info_.rotation);
        picture = turned;
    }

    std::int64_t pts = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts;
    if (pts == AV_NOPTS_VALUE) {
        // No timestamp at all: one nominal frame after the previous one.
        AVRational rate = info_.frameRate.num > 0 ? info_.frameRate : AVRational{30, 1};
        std::int64_t step = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), info_.timeBase));
        pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + step;
    }
    lastPts_ = pts;
    out.picture = picture;
    out.pts = pts;
    out.seconds = pts * av_q2d(info_.timeBase);
    return true;
}

}  // namespace tamo
