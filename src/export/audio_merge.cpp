#include "export/audio_merge.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <new>
#include <system_error>
#include <vector>

#include "export/export_faults.h"
#include "export/merge_error_text.h"
#include "media/audio_decoder.h"
#include "media/mp4_output.h"
#include "media/stream_decoder.h"
#include "platform/atomic_file.h"
#include "platform/texts/export_texts.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

constexpr std::int64_t kAacBitRate = 192000;

// Writing the final file failed: the only merge failure that is also logged.
Failure failed(std::string why) {
    Failure failure = fail(why.empty() ? texts::exporting::kUnknownError : std::move(why));
    failure.logLine = "❌ Export failed: " + failure.text;
    return failure;
}
Failure failedWith(int averror) { return failed(mergeErrorText(averror)); }
// The writing cannot be set up (no muxer, no AAC encoder, no thread).
Failure sessionError() { return fail(texts::exporting::kSessionError); }
// The temporary file's picture cannot be taken over.
Failure videoTrackError(const std::string& why) { return fail(texts::exporting::kVideoTrackErrorPrefix + why); }

}  // namespace

AudioMerge::~AudioMerge() = default;

Outcome<std::unique_ptr<AudioMerge>> AudioMerge::open(const std::filesystem::path& videoURL,
                                                      const std::filesystem::path& originalAssetURL,
                                                      const std::optional<std::filesystem::path>& narrationURL,
                                                      const std::filesystem::path& outputURL,
                                                      PictureClock sourceClock) {
    std::unique_ptr<AudioMerge> m(new AudioMerge());
    m->video_ = av::openInput(videoURL.string());
    if (m->video_) m->videoStream_ = av::firstVideoStream(*m->video_);
    if (!m->video_ || m->videoStream_ < 0) {
        return fail(texts::exporting::kMergeFailed);  // the temporary file has no picture to put in
    }
    const AVStream* st = m->video_->streams[m->videoStream_];
    if (m->video_->duration > 0)
        m->videoSeconds_ = m->video_->duration / double(AV_TIME_BASE);
    else if (st->duration > 0)
        m->videoSeconds_ = st->duration * av_q2d(st->time_base);
    // Sound that cannot be found or decoded is left out; the export goes on without it.
    if (!std::isfinite(sourceClock.originSeconds)) sourceClock.originSeconds = 0;
    m->source_ = AudioTrackReader::open(originalAssetURL.string(), std::move(sourceClock));
    if (narrationURL) m->narration_ = AudioTrackReader::open(narrationURL->string());
    m->output_ = outputURL;
    m->partial_ = outputURL.parent_path() / ("_temp_export_" + newUuidText() + ".mp4");
    if (Outcome<> ready = m->setUpOutput(); !ready) return ready.failure();
    return m;
}

// The muxer, the copied picture stream and the AAC encoder: what has to exist before anything is
// written. Nothing touches the disk here.
Outcome<> AudioMerge::setUpOutput() {
    out_ = av::allocateMp4Output(partial_);
    if (!out_) return sessionError();

    // Picture: the temporary file's stream as it is.
    const AVStream* vin = video_->streams[videoStream_];
    if (avformat_query_codec(out_->oformat, vin->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1)
        return videoTrackError(texts::exporting::kCodecNotInMp4);
    videoOut_ = avformat_new_stream(out_.get(), nullptr);
    if (!videoOut_) return videoTrackError(kOutOfMemoryText);
    int rc = avcodec_parameters_copy(videoOut_->codecpar, vin->codecpar);
    if (rc < 0) return videoTrackError(mergeErrorText(rc));
    videoOut_->codecpar->codec_tag = 0;
    videoOut_->time_base = vin->time_base;
    videoOut_->avg_frame_rate = vin->avg_frame_rate;

    // Sound: the source's and the narration's, mixed and encoded to AAC.
    if (!source_ && !narration_) return {};
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return sessionError();
    aac_.reset(avcodec_alloc_context3(codec));
    if (!aac_) return sessionError();
    aac_->sample_rate = AudioTrackReader::kSampleRate;
    aac_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&aac_->ch_layout, 2);
    aac_->bit_rate = kAacBitRate;
    aac_->time_base = {1, AudioTrackReader::kSampleRate};
    av::fitEncoderToOutput(*out_, *aac_);
    if (avcodec_open2(aac_.get(), codec, nullptr) < 0) return sessionError();
    audioOut_ = av::addEncoderStream(*out_, *aac_);
    if (!audioOut_) return sessionError();
    return {};
}

Outcome<> AudioMerge::run(const std::atomic<bool>* cancel) {
    cancel_ = cancel;
    Outcome<> r;
    try {
        r = write();
    } catch (const std::bad_alloc&) {
        r = failed(kOutOfMemoryText);
    } catch (...) {
        r = failed({});  // the page then reads "Ismeretlen hiba"
    }
    out_.reset();  // closes the partial file before it is renamed or removed
    std::error_code ec;
    if (r && cancelRaised()) r = Failure::cancel();
    if (r) {
        // Only over a regular file or a free name: a device or pipe at the chosen path stays as it is.
        if (auto error = renameOverRegularFile(partial_, output_)) r = failed(*error);
    }
    if (!r) std::filesystem::remove(partial_, ec);
    return r;
}

Outcome<> AudioMerge::write() {
    if (!out_) return failed({});  // run() twice
    exportfault::pass(exportfault::Point::MergeWriting);
    // Index first: the file plays while it downloads.
    if (av::WriteStart start = av::startWriting(*out_, partial_, true); !start) return failedWith(start.error);

    auto packet = av::makePacket();
    auto audioPacket = av::makePacket();
    auto frame = av::makeFrame();
    if (!packet || !audioPacket || !frame) return failed(kOutOfMemoryText);

    const AVStream* vin = video_->streams[videoStream_];
    AVCodecContext* aac = aac_.get();
    auto readVideo = [&]() -> int {
        for (;;) {
            int r = av_read_frame(video_.get(), packet.get());
            if (r < 0) return r;
            if (packet->stream_index == videoStream_) return 0;
            av_packet_unref(packet.get());
        }
    };
    auto writeAudioPackets = [&]() -> int {
        for (;;) {
            int r = avcodec_receive_packet(aac, audioPacket.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
            if (r < 0) return r;
            av_packet_rescale_ts(audioPacket.get(), aac->time_base, audioOut_->time_base);
            audioPacket->stream_index = audioOut_->index;
            r = av_interleaved_write_frame(out_.get(), audioPacket.get());
            if (r < 0) return r;
        }
    };

    // The sound lasts as long as the picture at most; a narration that is shorter simply ends.
    const std::int64_t soundLimit =
        std::max<std::int64_t>(0, std::llround(videoSeconds_ * AudioTrackReader::kSampleRate));
    const float sourceGain = narration_ ? kSourceGainUnderNarration : 1.0f;
    std::int64_t audioPts = 0;
    std::vector<float> left, right;

    int rc = readVideo();
    bool videoDone = rc < 0;
    if (videoDone && rc != AVERROR_EOF) return failedWith(rc);
    bool audioDone = aac == nullptr;
    while (!videoDone || !audioDone) {
        if (cancelRaised()) return Failure::cancel();
        const std::int64_t vts = videoDone ? 0 : (packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts);
        const bool takeVideo =
            !videoDone && (audioDone || av_compare_ts(vts, vin->time_base, audioPts, aac->time_base) <= 0);
        if (takeVideo) {
            av_packet_rescale_ts(packet.get(), vin->time_base, videoOut_->time_base);
            packet->stream_index = videoOut_->index;
            packet->pos = -1;
            rc = av_interleaved_write_frame(out_.get(), packet.get());
            if (rc < 0) return failedWith(rc);
            rc = readVideo();
            if (rc < 0) {
                if (rc != AVERROR_EOF) return failedWith(rc);
                videoDone = true;
            }
            continue;
        }
        // One encoder frame of mixed sound.
        const int frameSize = aac->frame_size > 0 ? aac->frame_size : 1024;
        const int want = static_cast<int>(std::min<std::int64_t>(frameSize, soundLimit - audioPts));
        int got = 0;
        if (want > 0) {
            left.assign(want, 0.0f);
            right.assign(want, 0.0f);
            if (source_) got = std::max(got, source_->mixInto(left.data(), right.data(), want, sourceGain));
            if (narration_) got = std::max(got, narration_->mixInto(left.data(), right.data(), want, 1.0f));
        }
        if (got <= 0) {
            rc = avcodec_send_frame(aac, nullptr);
            if (rc < 0 || (rc = writeAudioPackets()) < 0) return failedWith(rc);
            audioDone = true;
            continue;
        }
        frame->nb_samples = got;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = AudioTrackReader::kSampleRate;
        av_channel_layout_copy(&frame->ch_layout, &aac->ch_layout);
        rc = av_frame_get_buffer(frame.get(), 0);
        if (rc < 0) return failedWith(rc);
        auto* l = reinterpret_cast<float*>(frame->data[0]);
        auto* r = reinterpret_cast<float*>(frame->data[1]);
        for (int i = 0; i < got; ++i) {
            l[i] = std::clamp(left[i], -1.0f, 1.0f);
            r[i] = std::clamp(right[i], -1.0f, 1.0f);
        }
        frame->pts = audioPts;
        audioPts += got;
        rc = avcodec_send_frame(aac, frame.get());
        av_frame_unref(frame.get());
        if (rc < 0 || (rc = writeAudioPackets()) < 0) return failedWith(rc);
        // A short frame is the last one the encoder may take.
        if (got < frameSize && audioPts < soundLimit) {
            rc = avcodec_send_frame(aac, nullptr);
            if (rc < 0 || (rc = writeAudioPackets()) < 0) return failedWith(rc);
            audioDone = true;
        }
    }
    rc = av_write_trailer(out_.get());
    if (rc < 0) return failedWith(rc);
    rc = avio_closep(&out_->pb);
    if (rc < 0) return failedWith(rc);
    return {};
}

}  // namespace tamo
