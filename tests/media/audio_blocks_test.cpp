// The shared audio building blocks: where decoded sound lands on the timeline, how frames of any
// format become planar float, and which stream of a file is read.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "media/audio_decoder.h"
#include "media/audio_placement.h"
#include "media/audio_resampler.h"
#include "media/time_origin.h"
#include "media_fixtures.h"

namespace tamo {
namespace {

constexpr int kRate = 48000;

// ---------------------------------------------------------------- placement

TEST(AudioPlacement, FirstSoundGoesWhereItsTimeSays) {
    {
        AudioPlacement late(kRate, 0.0, false);
        auto step = late.place(2.0, 1024);
        EXPECT_EQ(step.silence, 2 * kRate);
        EXPECT_EQ(step.skip, 0);
        EXPECT_EQ(late.position(), 2 * kRate + 1024);
        // The next piece follows on without more silence.
        step = late.place(2.0 + 1024.0 / kRate, 1024);
        EXPECT_EQ(step.silence, 0);
        EXPECT_EQ(late.position(), 2 * kRate + 2048);
    }
    {
        // Sound from before the picture's first frame is cut away, piece by piece.
        AudioPlacement early(kRate, 1.4, false);
        auto step = early.place(1.0, kRate / 10);
        EXPECT_EQ(step.skip, kRate / 10);  // wholly before the origin
        EXPECT_EQ(early.position(), 0);
        step = early.place(1.1, kRate);
        EXPECT_EQ(step.skip, 0.3 * kRate);
        EXPECT_EQ(step.silence, 0);
        EXPECT_EQ(early.position(), 0.7 * kRate);
        EXPECT_EQ(early.place(2.1, 1000).silence, 0);
    }
    {
        // Without an origin the first sound is time 0 (a narration's encoder delay is no pause).
        AudioPlacement own(kRate, NAN, false);
        EXPECT_EQ(own.place(0.025, 1152).silence, 0);
        EXPECT_EQ(own.place(0.025 + 1152.0 / kRate, 1152).silence, 0);
        EXPECT_EQ(own.position(), 2304);
    }
}

TEST(AudioPlacement, HolesStayHolesAndJitterIsIgnored) {
    AudioPlacement p(kRate, 0.0, false);
    p.place(0.0, kRate);  // 0 … 1 s
    EXPECT_EQ(p.place(1.002, 1024).silence, 0) << "2 ms is rounding, not a hole";
    std::int64_t before = p.position();
    auto step = p.place(1.5 + 1024.0 / kRate, 1024);
    EXPECT_NEAR(static_cast<double>(step.silence), 1.5 * kRate + 1024 - before, 1.0);
    EXPECT_EQ(p.position(), std::llround(1.5 * kRate) + 2048);
    // A piece without a timestamp follows the one before.
    auto none = p.place(NAN, 500);
    EXPECT_EQ(none.silence + none.skip, 0);
    EXPECT_EQ(p.position(), std::llround(1.5 * kRate) + 2548);
}

TEST(AudioPlacement, OverlapsAreCutButResetsContinueTheTimeline) {
    {
        // A file whose clock does not jump: 0.1 s of overlapping sound is dropped.
        AudioPlacement p(kRate, 0.0, false);
        p.place(0.0, kRate);
        auto step = p.place(0.9, kRate / 5);
        EXPECT_EQ(step.skip, kRate / 10);
        EXPECT_EQ(p.position(), kRate + kRate / 10);
        // A clock that goes back by more than a second has been reset.
        step = p.place(0.0, 1000);
        EXPECT_EQ(step.skip + step.silence, 0);
        EXPECT_EQ(p.position(), kRate + kRate / 10 + 1000);
        // …and what follows the reset stays contiguous with it.
        EXPECT_EQ(p.place(1000.0 / kRate, 1000).silence, 0);
    }
    {
        // A transport stream: any step back is a reset, a leap forward over 10 s too.
        AudioPlacement ts(kRate, 1.4, true);
        ts.place(1.4, kRate);
        auto back = ts.place(1.4, kRate);
        EXPECT_EQ(back.skip + back.silence, 0);
        EXPECT_EQ(ts.position(), 2 * kRate);
        auto leap = ts.place(1.4 + 60.0, 1000);
        EXPECT_EQ(leap.silence, 0);
        EXPECT_EQ(ts.position(), 2 * kRate + 1000);
        // …while a half-second hole in it is still a hole.
        auto hole = ts.place(60.0 + 1.4 + 1000.0 / kRate + 0.5, 1000);
        EXPECT_EQ(hole.silence, kRate / 2);
    }
    {
        // The same 60 s leap in a file whose clock does not jump is a long silence.
        AudioPlacement p(kRate, 0.0, false);
        p.place(0.0, 1000);
        EXPECT_EQ(p.place(60.0, 1000).silence, 60 * kRate - 1000);
    }
}

// ---------------------------------------------------------------- resampler

// A frame of `samples` samples of value `level` in the given format and channel count.
av::FramePtr constantFrame(AVSampleFormat format, int rate, int channels, int samples, double level,
                           bool unspecifiedLayout = false) {
    av::FramePtr f = av::makeFrame();
    f->format = format;
    f->sample_rate = rate;
    f->nb_samples = samples;
    if (unspecifiedLayout)
        av_channel_layout_uninit(&f->ch_layout), f->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC,
                                                 f->ch_layout.nb_channels = channels;
    else
        av_channel_layout_default(&f->ch_layout, channels);
    EXPECT_EQ(av_frame_get_buffer(f.get(), 0), 0);
    for (int c = 0; c < (av_sample_fmt_is_planar(format) ? channels : 1); ++c) {
        const int n = av_sample_fmt_is_planar(format) ? samples : samples * channels;
        for (int i = 0; i < n; ++i) {
            if (format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P)
                reinterpret_cast<std::int16_t*>(f->extended_data[c])[i] = static_cast<std::int16_t>(level * 32767);
            else
                reinterpret_cast<float*>(f->extended_data[c])[i] = static_cast<float>(level);
        }
    }
    return f;
}

TEST(AudioResampler, MonoIsPutOnBothSidesAtItsLevelAndRatesConvert) {
    AudioResampler r(kRate, 2, true);
    auto frame = constantFrame(AV_SAMPLE_FMT_S16, 44100, 1, 4410, 0.5);
    int got = r.convert(*frame);
    ASSERT_GT(got, 4000);
    // Away from the filter's start-up, both sides carry the mono level itself (not 3 dB less).
    EXPECT_NEAR(r.channel(0)[got / 2], 0.5, 0.01);
    EXPECT_NEAR(r.channel(1)[got / 2], 0.5, 0.01);
    int rest = r.flush();
    ASSERT_GE(rest, 0);
    EXPECT_NEAR(got + rest, 4800, 2);  // 0.1 s at the new rate
}

TEST(AudioResampler, LayoutlessAndChangingInputsStillConvert) {
    AudioResampler r(kRate, 2);
    // A decoder that names no layout, only a channel count.
    auto unnamed = constantFrame(AV_SAMPLE_FMT_FLTP, kRate, 2, 960, 0.25, true);
    int got = r.convert(*unnamed);
    ASSERT_EQ(got, 960);
    EXPECT_NEAR(r.channel(0)[500], 0.25, 1e-4);
    EXPECT_NEAR(r.channel(1)[500], 0.25, 1e-4);
    // The stream turns into 22.05 kHz stereo s16 mid-way: converted, not refused.
    auto changed = constantFrame(AV_SAMPLE_FMT_S16, 22050, 2, 2205, -0.5);
    got = r.convert(*changed);
    ASSERT_GT(got, 4000);
    EXPECT_NEAR(r.channel(0)[got - 1000], -0.5, 0.01);
    // Nonsense is refused without harm, and the next good frame converts again.
    auto broken = constantFrame(AV_SAMPLE_FMT_FLTP, kRate, 2, 10, 0.1);
    broken->sample_rate = 0;
    EXPECT_EQ(r.convert(*broken), -1);
    // Back at the first format: what the 22.05 kHz conversion still held comes first.
    got = r.convert(*unnamed);
    ASSERT_GE(got, 960);
    EXPECT_NEAR(r.channel(0)[got - 1], 0.25, 1e-4);
    EXPECT_NEAR(r.channel(1)[got - 960], 0.25, 1e-4);
}

// ---------------------------------------------------------------- streams of a file

double toneAmplitude(const AVFrame& f, double frequency) {
    const float* s = reinterpret_cast<const float*>(f.extended_data[0]);
    double re = 0, im = 0;
    const double w = 2 * std::numbers::pi * frequency / f.sample_rate;
    for (int i = 0; i < f.nb_samples; ++i) {
        re += s[i] * std::cos(w * i);
        im += s[i] * std::sin(w * i);
    }
    return 2 * std::hypot(re, im) / f.nb_samples;
}

TEST(AudioStreamDecoder, ReadsTheFilesFirstAudioStreamNotTheLibrarysFavourite) {
    test::TempDir dir;
    auto file = dir / "two.mkv";
    // 440 Hz first, plain; 1000 Hz second, louder in bit rate and marked as the default.
    ASSERT_TRUE(
        test::ffmpeg("-f lavfi -i testsrc2=s=64x36:r=10:d=1 -f lavfi -i sine=f=440:d=1 -f lavfi -i sine=f=1000:d=1 "
                     "-map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -c:a:0 aac -b:a:0 32k -ac:a:0 1 "
                     "-c:a:1 aac -b:a:1 192k -ac:a:1 2 -disposition:a:0 0 -disposition:a:1 default " +
                     test::shellQuoted(file.string())));
    {
        // The fixture is only worth something if the library would pick the other stream.
        auto input = av::openInput(file.string());
        ASSERT_TRUE(input);
        ASSERT_EQ(av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0), 2);
        EXPECT_EQ(av::firstAudioStream(*input), 1);
    }
    auto decoder = AudioStreamDecoder::open(file.string());
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->streamIndex(), 1);
    int frames = 0;
    double at440 = 0, at1000 = 0;
    while (const AVFrame* f = decoder->next()) {
        ASSERT_EQ(f->format, AV_SAMPLE_FMT_FLTP);
        if (++frames == 10) {
            at440 = toneAmplitude(*f, 440);
            at1000 = toneAmplitude(*f, 1000);
        }
    }
    EXPECT_GT(frames, 20);
    EXPECT_FALSE(decoder->readFailed());
    EXPECT_GT(at440, 0.05);
    EXPECT_LT(at1000, 0.01);
    EXPECT_FALSE(AudioStreamDecoder::open((dir / "missing.mkv").string()));
}

TEST(TimeOrigin, IsTheFirstPictureTimeOfTheFile) {
    test::TempDir dir;
    auto ts = dir / "cam.ts";
    ASSERT_TRUE(test::ffmpeg("-f lavfi -i testsrc2=s=64x36:r=25:d=1 -c:v libx264 -preset ultrafast " +
                             test::shellQuoted(ts.string())));
    EXPECT_NEAR(videoTimeOrigin(ts), 1.4, 1e-3);  // where the muxer starts its clock
    auto sound = dir / "tone.wav";
    ASSERT_TRUE(test::ffmpeg("-f lavfi -i sine=d=0.2 " + test::shellQuoted(sound.string())));
    EXPECT_EQ(videoTimeOrigin(sound), 0.0);
    EXPECT_EQ(videoTimeOrigin(dir / "missing.ts"), 0.0);
}

}  // namespace
}  // namespace tamo
