#include "export/audio_merge.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <system_error>
#include <vector>

#include "export/copied_sound.h"
#include "export/export_faults.h"
#include "export/merge_error_text.h"
#include "export/mixed_sound.h"
#include "media/mp4_output.h"
#include "media/stream_decoder.h"
#include "platform/atomic_file.h"
#include "platform/texts/export_texts.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

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
    if (!std::isfinite(sourceClock.originSeconds)) sourceClock.originSeconds = 0;
    m->output_ = outputURL;
    m->partial_ = outputURL.parent_path() / ("_temp_export_" + newUuidText() + ".mp4");
    if (Outcome<> ready = m->setUpOutput(originalAssetURL, narrationURL, std::move(sourceClock)); !ready)
        return ready.failure();
    return m;
}

// The muxer, the copied picture stream and the sound: what has to exist before anything is
// written. Nothing touches the disk here.
Outcome<> AudioMerge::setUpOutput(const std::filesystem::path& source,
                                  const std::optional<std::filesystem::path>& narration, PictureClock sourceClock) {
    out_ = av::allocateMp4Output(partial_);
    if (!out_) return sessionError();

    // Picture: the temporary file's stream as it is.
    const AVStream* vin = video_->streams[videoStream_];
    if (avformat_query_codec(out_->oformat, vin->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1)
        return videoTrackError(texts::exporting::kCodecNotInMp4);
    videoOut_ = avformat_new_stream(out_.get(), nullptr);
    if (!videoOut_) return videoTrackError(kOutOfMemoryText);
    if (int rc = av::copyStreamSetup(*videoOut_, *vin); rc < 0) return videoTrackError(mergeErrorText(rc));
    videoOut_->avg_frame_rate = vin->avg_frame_rate;

    // Sound: the source's as it is when nothing is mixed into it and it can be taken over;
    // otherwise the source's and the narration's, mixed and encoded to AAC. Sound that cannot be
    // found or decoded is left out; the export goes on without it.
    if (!narration) sound_ = CopiedSound::open(source.string(), sourceClock, videoSeconds_);
    if (!sound_) {
        auto sourceSound = AudioTrackReader::open(source.string(), std::move(sourceClock));
        auto narrationSound = narration ? AudioTrackReader::open(narration->string()) : nullptr;
        if (!sourceSound && !narrationSound) return {};
        const float sourceGain = narrationSound ? kSourceGainUnderNarration : 1.0f;
        sound_ = MixedSound::open(std::move(sourceSound), std::move(narrationSound), sourceGain, videoSeconds_, *out_);
        if (!sound_) return sessionError();
    }
    audioOut_ = sound_->addStreamTo(*out_);
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
    if (!packet || !audioPacket) return failed(kOutOfMemoryText);

    const AVStream* vin = video_->streams[videoStream_];
    auto readVideo = [&]() -> int {
        for (;;) {
            int r = av_read_frame(video_.get(), packet.get());
            if (r < 0) return r;
            if (packet->stream_index == videoStream_) return 0;
            av_packet_unref(packet.get());
        }
    };
    auto nextSound = [&]() -> int {
        const int r = sound_->next(*audioPacket);
        return r == AVERROR_EOF ? 1 : r;  // 1: no more sound
    };

    int rc = readVideo();
    bool videoDone = rc < 0;
    if (videoDone && rc != AVERROR_EOF) return failedWith(rc);
    rc = sound_ ? nextSound() : 1;
    if (rc < 0) return failedWith(rc);
    bool audioDone = rc == 1;
    // The two streams go in by time, the earlier packet first.
    while (!videoDone || !audioDone) {
        if (cancelRaised()) return Failure::cancel();
        const std::int64_t vts = videoDone ? 0 : (packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts);
        const std::int64_t ats =
            audioDone ? 0 : (audioPacket->dts != AV_NOPTS_VALUE ? audioPacket->dts : audioPacket->pts);
        const bool takeVideo =
            !videoDone && (audioDone || av_compare_ts(vts, vin->time_base, ats, sound_->timeBase()) <= 0);
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
        av_packet_rescale_ts(audioPacket.get(), sound_->timeBase(), audioOut_->time_base);
        audioPacket->stream_index = audioOut_->index;
        rc = av_interleaved_write_frame(out_.get(), audioPacket.get());
        if (rc < 0) return failedWith(rc);
        rc = nextSound();
        if (rc < 0) return failedWith(rc);
        audioDone = rc == 1;
    }
    rc = av_write_trailer(out_.get());
    if (rc < 0) return failedWith(rc);
    rc = avio_closep(&out_->pb);
    if (rc < 0) return failedWith(rc);
    return {};
}

}  // namespace tamo
