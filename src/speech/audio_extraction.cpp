#include "speech/audio_extraction.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

#include "media/audio_decoder.h"
#include "media/audio_placement.h"
#include "media/audio_resampler.h"
#include "media/ffmpeg_ptr.h"
#include "media/mp4_output.h"
#include "media/time_origin.h"
#include "platform/texts/speech_texts.h"

namespace tamo::speech {
namespace {

// Speech needs little: mono AAC at 64 kb/s is plenty, and the service resamples to 16 kHz anyway.
constexpr int64_t kSpeechBitRate = 64000;
constexpr int64_t kLowestBitRate = 8000;
// How far an AAC track's start may lie from the picture's and still be copied (an encoder delay).
constexpr double kCopyStartTolerance = 0.05;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// An M4A output ("ipod" is FFmpeg's name for the MPEG-4 audio flavour) with its file opened.
struct OpenedOutput {
    av::OutputPtr format;
    AVStream* stream = nullptr;
    std::string error;
};

OpenedOutput openOutput(const std::filesystem::path& path) {
    OpenedOutput out;
    int rc = 0;
    out.format = av::allocateMp4Output(path, "ipod", &rc);
    if (!out.format) {
        out.error = "no M4A muxer: " + avError(rc);
        return out;
    }
    out.stream = avformat_new_stream(out.format.get(), nullptr);
    if (!out.stream) out.error = "cannot add a stream";
    return out;
}

Outcome<> openFileAndWriteHeader(AVFormatContext* out, const std::filesystem::path& path) {
    av::WriteStart start = av::startWriting(*out, path);
    if (!start.fileCreated) return fail("cannot create the file: " + avError(start.error));
    if (!start) return fail("cannot write the header: " + avError(start.error));
    return {};
}

// Copies the AAC packets unchanged into a new M4A file.
Outcome<> copyAacStream(const ExtractionPlan& plan, const std::filesystem::path& output, const CancelFlag& cancel) {
    av::InputPtr input = av::openInput(plan.source.string());
    if (!input || plan.audioStream >= static_cast<int>(input->nb_streams)) return fail("cannot reopen the source");
    AVStream* inStream = input->streams[plan.audioStream];

    OpenedOutput out = openOutput(output);
    if (!out.error.empty()) return fail(out.error);
    if (av::copyStreamSetup(*out.stream, *inStream) < 0) return fail("cannot copy parameters");
    if (auto r = openFileAndWriteHeader(out.format.get(), output); !r) return r;

    av::PacketPtr packet(av_packet_alloc());
    if (!packet) return fail("out of memory");
    // The sound starts at time zero in the new file, whatever offset it had in the video.
    int64_t offset = AV_NOPTS_VALUE;
    int64_t packets = 0;
    for (;;) {
        if (cancel.raised()) return Failure::cancel();
        int rc = av_read_frame(input.get(), packet.get());
        if (rc == AVERROR_EOF) break;
        if (rc < 0) return fail("read error: " + avError(rc));
        if (packet->stream_index != plan.audioStream || packet->size == 0) {
            av_packet_unref(packet.get());
            continue;
        }
        if (offset == AV_NOPTS_VALUE) offset = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (offset != AV_NOPTS_VALUE) {
            if (packet->pts != AV_NOPTS_VALUE) packet->pts -= offset;
            if (packet->dts != AV_NOPTS_VALUE) packet->dts -= offset;
        }
        av_packet_rescale_ts(packet.get(), inStream->time_base, out.stream->time_base);
        packet->stream_index = 0;
        packet->pos = -1;
        rc = av_interleaved_write_frame(out.format.get(), packet.get());
        av_packet_unref(packet.get());
        if (rc < 0) return fail("write error: " + avError(rc));
        ++packets;
    }
    if (packets == 0) return fail("the sound track holds no packets");
    int rc = av_write_trailer(out.format.get());
    if (rc < 0) return fail("cannot finish the file: " + avError(rc));
    return {};
}

// Decodes the source sound and encodes it as mono AAC at the given rate.
class MonoAacEncoder {
public:
    MonoAacEncoder(const ExtractionPlan& plan, const std::filesystem::path& output, int64_t bitRate,
                   const CancelFlag& cancel)
        : plan_(plan), output_(output), bitRate_(bitRate), cancel_(cancel) {}

    Outcome<> run() {
        decoder_ = AudioStreamDecoder::open(plan_.source.string());
        if (!decoder_ || decoder_->streamIndex() != plan_.audioStream) return fail("cannot decode the sound");
        if (auto r = openEncoder(); !r) return r;
        AudioResampler resampler(encoder_->sample_rate, 1);
        // Laid on the picture's timeline: sound that starts late keeps its silence before it, a hole
        // stays a hole, so the transcribed times fit the picture.
        AudioPlacement placement(encoder_->sample_rate, plan_.originSeconds, decoder_->timestampsMayJump());
        while (const AVFrame* frame = decoder_->next()) {
            if (cancel_.raised()) return Failure::cancel();
            // A frame that cannot be converted costs its few milliseconds, not the transcription.
            int count = resampler.convert(*frame);
            if (count <= 0) continue;
            AudioPlacement::Step step = placement.place(decoder_->secondsOf(*frame), count);
            if (auto r = silence(step.silence); !r) return r;
            if (auto r = toFifo(resampler, count, step.skip); !r) return r;
            if (auto r = encodeFromFifo(false); !r) return r;
        }
        if (decoder_->readFailed()) return fail("the source could not be read to its end");
        if (auto r = toFifo(resampler, resampler.flush()); !r) return r;  // what the resampler still holds
        if (auto r = encodeFromFifo(true); !r) return r;
        if (auto r = encode(nullptr); !r) return r;
        if (samplesOut_ == 0) return fail("no sound could be decoded");
        int rc = av_write_trailer(output_format());
        if (rc < 0) return fail("cannot finish the file: " + avError(rc));
        return {};
    }

private:
    AVFormatContext* output_format() { return out_.format.get(); }

    Outcome<> toFifo(const AudioResampler& resampler, int samples, int64_t skip = 0) {
        if (samples <= skip) return {};
        void* plane = const_cast<float*>(resampler.channel(0) + skip);
        const int n = static_cast<int>(samples - skip);
        if (av_audio_fifo_write(fifo_.get(), &plane, n) < n) return fail("out of memory");
        return {};
    }

    // Silence encoded as it goes, so a long pause needs no more memory than a short one.
    Outcome<> silence(int64_t samples) {
        std::vector<float> zeros(4096, 0.0f);
        while (samples > 0) {
            void* plane = zeros.data();
            const int n = static_cast<int>(std::min<int64_t>(samples, 4096));
            if (av_audio_fifo_write(fifo_.get(), &plane, n) < n) return fail("out of memory");
            samples -= n;
            if (auto r = encodeFromFifo(false); !r) return r;
        }
        return {};
    }

    Outcome<> openEncoder() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) return fail("no AAC encoder");
        out_ = openOutput(output_);
        if (!out_.error.empty()) return fail(out_.error);
        encoder_.reset(avcodec_alloc_context3(codec));
        if (!encoder_) return fail("out of memory");
        // Very low rates sound better at a lower sample rate; speech loses nothing either way.
        int sampleRate = bitRate_ < 24000 ? 16000 : 24000;
        encoder_->sample_rate = sampleRate;
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&encoder_->ch_layout, 1);
        encoder_->bit_rate = bitRate_;
        encoder_->time_base = AVRational{1, sampleRate};
        av::fitEncoderToOutput(*output_format(), *encoder_);
        if (int rc = avcodec_open2(encoder_.get(), codec, nullptr); rc < 0)
            return fail("cannot open the encoder: " + avError(rc));
        if (avcodec_parameters_from_context(out_.stream->codecpar, encoder_.get()) < 0)
            return fail("cannot set parameters");
        out_.stream->time_base = encoder_->time_base;
        if (auto r = openFileAndWriteHeader(output_format(), output_); !r) return r;
        fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 1, encoder_->frame_size > 0 ? encoder_->frame_size : 1024));
        if (!fifo_) return fail("out of memory");
        return {};
    }

    // Sends whole encoder frames from the FIFO; at the end also the last, shorter one.
    Outcome<> encodeFromFifo(bool final) {
        const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
        while (av_audio_fifo_size(fifo_.get()) >= frameSize || (final && av_audio_fifo_size(fifo_.get()) > 0)) {
            int samples = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
            av::FramePtr frame(av_frame_alloc());
            if (!frame) return fail("out of memory");
            frame->nb_samples = samples;
            frame->format = encoder_->sample_fmt;
            frame->sample_rate = encoder_->sample_rate;
            av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0) return fail("out of memory");
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), samples) < samples)
                return fail("sample buffer failed");
            frame->pts = samplesOut_;
            samplesOut_ += samples;
            if (auto r = encode(frame.get()); !r) return r;
        }
        return {};
    }

    Outcome<> encode(AVFrame* frame) {
        int rc = avcodec_send_frame(encoder_.get(), frame);
        if (rc < 0) return fail("encoder refused a frame: " + avError(rc));
        av::PacketPtr packet(av_packet_alloc());
        if (!packet) return fail("out of memory");
        for (;;) {
            rc = avcodec_receive_packet(encoder_.get(), packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
            if (rc < 0) return fail("encoding failed: " + avError(rc));
            av_packet_rescale_ts(packet.get(), encoder_->time_base, out_.stream->time_base);
            packet->stream_index = 0;
            rc = av_interleaved_write_frame(output_format(), packet.get());
            av_packet_unref(packet.get());
            if (rc < 0) return fail("write error: " + avError(rc));
        }
    }

    const ExtractionPlan& plan_;
    std::filesystem::path output_;
    int64_t bitRate_;
    CancelFlag cancel_;
    std::unique_ptr<AudioStreamDecoder> decoder_;
    OpenedOutput out_;
    av::CodecPtr encoder_;
    av::AudioFifoPtr fifo_;
    int64_t samplesOut_ = 0;
};

// The rate at which `seconds` of sound fit into `maxBytes`, with room for the container.
int64_t bitRateToFit(double seconds, std::size_t maxBytes) {
    if (!(seconds > 0) || !std::isfinite(seconds)) return kSpeechBitRate;
    double fitting = static_cast<double>(maxBytes) * 8.0 * 0.9 / seconds;
    return std::clamp<int64_t>(static_cast<int64_t>(fitting), kLowestBitRate, kSpeechBitRate);
}

std::uintmax_t sizeOf(const std::filesystem::path& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

Outcome<> extractOnce(const ExtractionPlan& plan, const std::filesystem::path& output, bool copy, int64_t bitRate,
                      const CancelFlag& cancel) {
    // Each scope closes its files before the caller looks at the size or removes the file.
    return copy ? copyAacStream(plan, output, cancel) : MonoAacEncoder(plan, output, bitRate, cancel).run();
}

}  // namespace

Outcome<ExtractionPlan> planAudioExtraction(const std::filesystem::path& video) {
    av::InputPtr input = av::openInput(video.string());
    if (!input) return fail(texts::speech::kNoSoundTrack);
    // The first sound track of the file, in the file's own order.
    int index = av::firstAudioStream(*input);
    if (index < 0) return fail(texts::speech::kNoSoundTrack);

    ExtractionPlan plan;
    plan.source = video;
    plan.audioStream = index;
    const AVStream* stream = input->streams[index];
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
        plan.durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    else if (input->duration > 0)
        plan.durationSeconds = static_cast<double>(input->duration) / AV_TIME_BASE;

    // AAC packets are copied only when the sound starts with the picture: a copy starts at 0
    // whatever its offset, and would put every transcribed time off by the difference.
    if (hasPicture(*input)) plan.originSeconds = videoTimeOrigin(*input);
    bool startsWithPicture = true;
    if (std::isfinite(plan.originSeconds) && stream->start_time != AV_NOPTS_VALUE)
        startsWithPicture = std::fabs(static_cast<double>(stream->start_time) * av_q2d(stream->time_base) -
                                      plan.originSeconds) <= kCopyStartTolerance;
    plan.copyAac = stream->codecpar->codec_id == AV_CODEC_ID_AAC && startsWithPicture;
    // Without a decoder and an AAC encoder we could only copy, and only AAC can be copied.
    bool canEncode = avcodec_find_decoder(stream->codecpar->codec_id) && avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!plan.copyAac && !canEncode) return fail(texts::speech::kExtractionRefused);
    return plan;
}

Outcome<> extractAudio(const ExtractionPlan& plan, const std::filesystem::path& output, const CancelFlag& cancel,
                       std::size_t maxBytes) {
    std::error_code ignored;
    int64_t bitRate = bitRateToFit(plan.durationSeconds, maxBytes);
    Outcome<> result = extractOnce(plan, output, plan.copyAac, bitRate, cancel);
    // A copy that is too large, or that failed, is encoded instead.
    if (plan.copyAac && (!result || sizeOf(output) > maxBytes) && !result.cancelled()) {
        std::filesystem::remove(output, ignored);
        result = extractOnce(plan, output, false, bitRate, cancel);
    }
    // The duration in the header can be wrong; one more try at a rate scaled by what we got.
    if (result && sizeOf(output) > maxBytes) {
        double scale = static_cast<double>(maxBytes) * 0.9 / static_cast<double>(sizeOf(output));
        int64_t lower = std::max<int64_t>(kLowestBitRate, static_cast<int64_t>(static_cast<double>(bitRate) * scale));
        std::filesystem::remove(output, ignored);
        result = extractOnce(plan, output, false, lower, cancel);
    }
    if (!result) std::filesystem::remove(output, ignored);
    return result;
}

}  // namespace tamo::speech
