#include "export/audio_track_reader.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace tamo {

AudioTrackReader::~AudioTrackReader() = default;

std::unique_ptr<AudioTrackReader> AudioTrackReader::open(const std::string& path) {
    auto input = av::openInput(path);
    if (!input) return {};
    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return {};
    std::unique_ptr<AudioTrackReader> r(new AudioTrackReader());
    r->stream_ = index;
    r->decoder_.reset(avcodec_alloc_context3(codec));
    if (!r->decoder_ || avcodec_parameters_to_context(r->decoder_.get(), input->streams[index]->codecpar) < 0) return {};
    r->decoder_->pkt_timebase = input->streams[index]->time_base;
    if (avcodec_open2(r->decoder_.get(), codec, nullptr) < 0) return {};
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != index) input->streams[i]->discard = AVDISCARD_ALL;
    r->fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, 4096));
    if (!r->fifo_ || !r->packet_ || !r->frame_) return {};
    r->input_ = std::move(input);
    return r;
}

bool AudioTrackReader::fill(int wanted) {
    while (!ended_ && av_audio_fifo_size(fifo_.get()) < wanted) {
        int rc = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (rc == 0) {
            AVFrame* f = frame_.get();
            if (!swr_) {
                AVChannelLayout inLayout;
                if (f->ch_layout.nb_channels > 0) av_channel_layout_copy(&inLayout, &f->ch_layout);
                else av_channel_layout_default(&inLayout, 1);
                // Mono is put on both sides at its own level (a stereo upmix would lower it by 3 dB).
                mono_ = inLayout.nb_channels == 1;
                AVChannelLayout outLayout;
                av_channel_layout_default(&outLayout, mono_ ? 1 : 2);
                SwrContext* raw = nullptr;
                int e = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLTP, kSampleRate, &inLayout,
                                            static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
                av_channel_layout_uninit(&inLayout);
                swr_.reset(raw);
                if (e < 0 || !swr_ || swr_init(swr_.get()) < 0) {
                    ended_ = true;
                    break;
                }
            }
            int outCount = swr_get_out_samples(swr_.get(), f->nb_samples);
            scratchL_.resize(std::max(outCount, 1));
            scratchR_.resize(std::max(outCount, 1));
            uint8_t* out[2] = {reinterpret_cast<uint8_t*>(scratchL_.data()), reinterpret_cast<uint8_t*>(scratchR_.data())};
            int got = swr_convert(swr_.get(), out, outCount, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
            av_frame_unref(f);
            if (got < 0) {
                ended_ = true;
                break;
            }
            if (got > 0) {
                if (mono_) std::copy_n(scratchL_.data(), got, scratchR_.data());
                av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out), got);
            }
            continue;
        }
        if (rc == AVERROR(EAGAIN) && !draining_) {
            int r = av_read_frame(input_.get(), packet_.get());
            if (r < 0) {  // end of file, or the rest cannot be read: the sound ends here
                draining_ = true;
                avcodec_send_packet(decoder_.get(), nullptr);
                continue;
            }
            if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
            av_packet_unref(packet_.get());
            continue;
        }
        if (rc == AVERROR_INVALIDDATA) continue;
        // End of stream (or a decoder that gave up): flush what the resampler still holds.
        if (swr_) {
            int outCount = std::max(swr_get_out_samples(swr_.get(), 0), 0);
            if (outCount > 0) {
                scratchL_.resize(outCount);
                scratchR_.resize(outCount);
                uint8_t* out[2] = {reinterpret_cast<uint8_t*>(scratchL_.data()), reinterpret_cast<uint8_t*>(scratchR_.data())};
                int got = swr_convert(swr_.get(), out, outCount, nullptr, 0);
                if (got > 0 && mono_) std::copy_n(scratchL_.data(), got, scratchR_.data());
                if (got > 0) av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out), got);
            }
        }
        ended_ = true;
    }
    return av_audio_fifo_size(fifo_.get()) > 0;
}

int AudioTrackReader::mixInto(float* left, float* right, int n, float gain) {
    fill(n);
    int have = std::min(n, av_audio_fifo_size(fifo_.get()));
    if (have <= 0) return 0;
    scratchL_.resize(std::max<std::size_t>(scratchL_.size(), have));
    scratchR_.resize(std::max<std::size_t>(scratchR_.size(), have));
    void* planes[2] = {scratchL_.data(), scratchR_.data()};
    have = av_audio_fifo_read(fifo_.get(), planes, have);
    for (int i = 0; i < have; ++i) {
        left[i] += gain * scratchL_[i];
        right[i] += gain * scratchR_[i];
    }
    return std::max(have, 0);
}

}  // namespace tamo
