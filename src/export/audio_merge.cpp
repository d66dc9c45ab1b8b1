#include "export/audio_merge.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

#include "platform/uuid.h"
#include "project/atomic_file.h"

namespace tamo {
namespace {

constexpr std::int64_t kAacBitRate = 192000;

MergeResult failed(std::string why) { return {MergeResult::Status::Failed, std::move(why)}; }

}  // namespace

std::unique_ptr<AudioMerge> AudioMerge::open(const std::filesystem::path& videoURL,
                                             const std::filesystem::path& originalAssetURL,
                                             const std::optional<std::filesystem::path>& narrationURL,
                                             const std::filesystem::path& outputURL, MergeResult& result) {
    std::unique_ptr<AudioMerge> m(new AudioMerge());
    m->video_ = av::openInput(videoURL.string());
    if (m->video_) m->videoStream_ = av_find_best_stream(m->video_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (!m->video_ || m->videoStream_ < 0) {
        result = {MergeResult::Status::NoVideoTrack, {}};
        return {};
    }
    const AVStream* st = m->video_->streams[m->videoStream_];
    if (m->video_->duration > 0) m->videoSeconds_ = m->video_->duration / double(AV_TIME_BASE);
    else if (st->duration > 0) m->videoSeconds_ = st->duration * av_q2d(st->time_base);
    m->source_ = AudioTrackReader::open(originalAssetURL.string());
    if (narrationURL) m->narration_ = AudioTrackReader::open(narrationURL->string());
    m->output_ = outputURL;
    return m;
}

MergeResult AudioMerge::run() {
    const auto partial = output_.parent_path() / ("_temp_export_" + newUuidText() + ".mp4");
    MergeResult r = write(partial);
    std::error_code ec;
    if (r.status == MergeResult::Status::Completed) {
        // Only over a regular file or a free name: a device or pipe at the chosen path stays as it is.
        if (auto error = renameOverRegularFile(partial, output_)) r = failed(*error);
    }
    if (r.status != MergeResult::Status::Completed) std::filesystem::remove(partial, ec);
    return r;
}

MergeResult AudioMerge::write(const std::filesystem::path& partial) {
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "mp4", partial.c_str());
    if (rc < 0 || !raw) return failed(av::errorText(rc));
    av::OutputPtr out(raw);

    // Picture: the temporary file's H.264 stream as it is.
    const AVStream* vin = video_->streams[videoStream_];
    AVStream* vout = avformat_new_stream(out.get(), nullptr);
    if (!vout) return failed("Out of memory");
    rc = avcodec_parameters_copy(vout->codecpar, vin->codecpar);
    if (rc < 0) return {MergeResult::Status::VideoTrackError, av::errorText(rc)};
    vout->codecpar->codec_tag = 0;
    vout->time_base = vin->time_base;
    vout->avg_frame_rate = vin->avg_frame_rate;

    // Sound: the source's and the narration's, mixed and encoded to AAC.
    const bool withSound = source_ || narration_;
    av::CodecPtr aac;
    AVStream* aout = nullptr;
    if (withSound) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) return failed("No AAC encoder");
        aac.reset(avcodec_alloc_context3(codec));
        if (!aac) return failed("Out of memory");
        aac->sample_rate = AudioTrackReader::kSampleRate;
        aac->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&aac->ch_layout, 2);
        aac->bit_rate = kAacBitRate;
        aac->time_base = {1, AudioTrackReader::kSampleRate};
        if (out->oformat->flags & AVFMT_GLOBALHEADER) aac->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        rc = avcodec_open2(aac.get(), codec, nullptr);
        if (rc < 0) return failed(av::errorText(rc));
        aout = avformat_new_stream(out.get(), nullptr);
        if (!aout || avcodec_parameters_from_context(aout->codecpar, aac.get()) < 0) return failed("Out of memory");
        aout->time_base = aac->time_base;
    }

    rc = avio_open(&out->pb, partial.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return failed(av::errorText(rc));
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "movflags", "+faststart", 0);  // index first: plays while downloading
    rc = avformat_write_header(out.get(), &opts);
    av_dict_free(&opts);
    if (rc < 0) return failed(av::errorText(rc));

    auto packet = av::makePacket();
    auto audioPacket = av::makePacket();
    auto frame = av::makeFrame();
    if (!packet || !audioPacket || !frame) return failed("Out of memory");

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
            int r = avcodec_receive_packet(aac.get(), audioPacket.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
            if (r < 0) return r;
            av_packet_rescale_ts(audioPacket.get(), aac->time_base, aout->time_base);
            audioPacket->stream_index = aout->index;
            r = av_interleaved_write_frame(out.get(), audioPacket.get());
            if (r < 0) return r;
        }
    };

    // The sound lasts as long as the picture at most; a narration that is shorter simply ends.
    const std::int64_t soundLimit = std::max<std::int64_t>(0, std::llround(videoSeconds_ * AudioTrackReader::kSampleRate));
    const float sourceGain = narration_ ? kSourceGainUnderNarration : 1.0f;
    std::int64_t audioPts = 0;
    std::vector<float> left, right;

    rc = readVideo();
    bool videoDone = rc < 0;
    if (videoDone && rc != AVERROR_EOF) return failed(av::errorText(rc));
    bool audioDone = !withSound;
    while (!videoDone || !audioDone) {
        const std::int64_t vts = videoDone ? 0 : (packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts);
        const bool takeVideo =
            !videoDone && (audioDone || av_compare_ts(vts, vin->time_base, audioPts, aac->time_base) <= 0);
        if (takeVideo) {
            av_packet_rescale_ts(packet.get(), vin->time_base, vout->time_base);
            packet->stream_index = vout->index;
            packet->pos = -1;
            rc = av_interleaved_write_frame(out.get(), packet.get());
            if (rc < 0) return failed(av::errorText(rc));
            rc = readVideo();
            if (rc < 0) {
                if (rc != AVERROR_EOF) return failed(av::errorText(rc));
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
            rc = avcodec_send_frame(aac.get(), nullptr);
            if (rc < 0 || (rc = writeAudioPackets()) < 0) return failed(av::errorText(rc));
            audioDone = true;
            continue;
        }
        frame->nb_samples = got;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = AudioTrackReader::kSampleRate;
        av_channel_layout_copy(&frame->ch_layout, &aac->ch_layout);
        rc = av_frame_get_buffer(frame.get(), 0);
        if (rc < 0) return failed(av::errorText(rc));
        auto* l = reinterpret_cast<float*>(frame->data[0]);
        auto* r = reinterpret_cast<float*>(frame->data[1]);
        for (int i = 0; i < got; ++i) {
            l[i] = std::clamp(left[i], -1.0f, 1.0f);
            r[i] = std::clamp(right[i], -1.0f, 1.0f);
        }
        frame->pts = audioPts;
        audioPts += got;
        rc = avcodec_send_frame(aac.get(), frame.get());
        av_frame_unref(frame.get());
        if (rc < 0 || (rc = writeAudioPackets()) < 0) return failed(av::errorText(rc));
        // A short frame is the last one the encoder may take.
        if (got < frameSize && audioPts < soundLimit) {
            rc = avcodec_send_frame(aac.get(), nullptr);
            if (rc < 0 || (rc = writeAudioPackets()) < 0) return failed(av::errorText(rc));
            audioDone = true;
        }
    }
    rc = av_write_trailer(out.get());
    if (rc < 0) return failed(av::errorText(rc));
    rc = avio_closep(&out->pb);
    if (rc < 0) return failed(av::errorText(rc));
    return {};
}

}  // namespace tamo
