// Subtitle files and the speech settings under the Hungarian locale: SubRip's comma is the
// format's own, WebVTT's point must stay a point, and a timeout written with a point is read.
#include <gtest/gtest.h>

#include <cstdlib>

#include "speech/speech_settings.h"
#include "speech/subtitle_writer.h"
#include "support/hungarian_locale.h"

namespace tamo::speech {
namespace {

TEST(SpeechUnderHungarianLocale, SubtitleTimesKeepEachFormatsOwnMark) {
    test::HungarianLocale hungarian;
    std::vector<SubtitleSegment> segments = {{1.25, 3.5, "Első sor"}, {3661.002, 3662.9999, "Második"}};
    EXPECT_EQ(writeSrt(segments),
              "1\n00:00:01,250 --> 00:00:03,500\nElső sor\n\n"
              "2\n01:01:01,002 --> 01:01:03,000\nMásodik\n\n");
    EXPECT_EQ(writeWebVtt(segments),
              "WEBVTT\n\n"
              "00:00:01.250 --> 00:00:03.500\nElső sor\n\n"
              "01:01:01.002 --> 01:01:03.000\nMásodik\n\n");
}

TEST(SpeechUnderHungarianLocale, FractionalTimeoutIsRead) {
    test::HungarianLocale hungarian;
    ::setenv("TAMO_SPEECH_TIMEOUT_SECONDS", "1.5", 1);
    EXPECT_EQ(speechSettingsFromEnvironment().idleTimeoutSeconds, 1.5);
    ::setenv("TAMO_SPEECH_TIMEOUT_SECONDS", "1,5", 1);  // not a number here: the default stays
    EXPECT_EQ(speechSettingsFromEnvironment().idleTimeoutSeconds, SpeechSettings{}.idleTimeoutSeconds);
    ::unsetenv("TAMO_SPEECH_TIMEOUT_SECONDS");
}

}  // namespace
}  // namespace tamo::speech
