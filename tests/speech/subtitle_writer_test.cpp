// SRT and WebVTT files written from transcription segments.
#include <gtest/gtest.h>

#include "speech/subtitle_writer.h"

namespace tamo::speech {
namespace {

TEST(SubtitleWriter, SrtNumbersCuesAndWritesHoursAndCommaMilliseconds) {
    std::vector<SubtitleSegment> segments = {
        {0, 2.5, "Szia!"},
        {3725.0004, 3727.9996, "Egy óra múlva"},  // rounds to ,000 and ,000 of the next second
        {36000.1234, 36001.9876, "Tíz óra"},
    };
    EXPECT_EQ(writeSrt(segments),
              "1\n00:00:00,000 --> 00:00:02,500\nSzia!\n\n"
              "2\n01:02:05,000 --> 01:02:08,000\nEgy óra múlva\n\n"
              "3\n10:00:00,123 --> 10:00:01,988\nTíz óra\n\n");
}

TEST(SubtitleWriter, WebVttHasHeaderDotMillisecondsAndNoNumbers) {
    std::vector<SubtitleSegment> segments = {{1.0006, 59.9994, "first"}, {59.9996, 61, "second"}};
    EXPECT_EQ(writeWebVtt(segments),
              "WEBVTT\n\n"
              "00:00:01.001 --> 00:00:59.999\nfirst\n\n"
              "00:01:00.000 --> 00:01:01.000\nsecond\n\n");
}

TEST(SubtitleWriter, MultiLineTextKeepsItsLinesButNotBlankOnesThatWouldEndTheCue) {
    std::vector<SubtitleSegment> segments = {{0, 1, "  első sor\r\n\n \t\nmásodik sor  \n"}};
    EXPECT_EQ(writeSrt(segments), "1\n00:00:00,000 --> 00:00:01,000\nelső sor\nmásodik sor\n\n");
    EXPECT_EQ(writeWebVtt(segments), "WEBVTT\n\n00:00:00.000 --> 00:00:01.000\nelső sor\nmásodik sor\n\n");
}

TEST(SubtitleWriter, WebVttEscapesMarkupSoAnArrowInTheTextCannotStartATiming) {
    std::vector<SubtitleSegment> segments = {{0, 1, "a --> b & <i>c</i>"}};
    EXPECT_EQ(writeWebVtt(segments),
              "WEBVTT\n\n00:00:00.000 --> 00:00:01.000\na --&gt; b &amp; &lt;i&gt;c&lt;/i&gt;\n\n");
    EXPECT_EQ(writeSrt(segments), "1\n00:00:00,000 --> 00:00:01,000\na --> b & <i>c</i>\n\n");
}

TEST(SubtitleWriter, EmptyCuesAreSkippedAndNumberingStaysContinuous) {
    std::vector<SubtitleSegment> segments = {{0, 1, "one"}, {1, 2, " \t "}, {2, 3, ""}, {3, 4, "two"}};
    EXPECT_EQ(writeSrt(segments), "1\n00:00:00,000 --> 00:00:01,000\none\n\n2\n00:00:03,000 --> 00:00:04,000\ntwo\n\n");
}

TEST(SubtitleWriter, OddTimesNeverProduceNegativeOrBackwardsCues) {
    std::vector<SubtitleSegment> segments = {{-3, -1, "before"}, {5, 4, "backwards"}, {std::nan(""), 1, "nan"}};
    EXPECT_EQ(writeSrt(segments),
              "1\n00:00:00,000 --> 00:00:00,000\nbefore\n\n"
              "2\n00:00:05,000 --> 00:00:05,000\nbackwards\n\n"
              "3\n00:00:00,000 --> 00:00:01,000\nnan\n\n");
    EXPECT_EQ(writeSrt({}), "");
    EXPECT_EQ(writeWebVtt({}), "WEBVTT\n\n");
}

TEST(SubtitleWriter, SegmentsAreReadFromTheTranscriptionResultSkippingOtherShapes) {
    auto json = nlohmann::json::parse(R"([
        {"start": 0, "end": 2.5, "text": "Szia!"},
        {"start": "0", "end": 1, "text": "string start"},
        {"start": 1, "end": 2},
        7,
        {"start": 4, "end": 5.25, "text": "vége"}
    ])");
    auto segments = subtitleSegmentsFromJson(json);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].text, "Szia!");
    EXPECT_DOUBLE_EQ(segments[0].end, 2.5);
    EXPECT_EQ(segments[1].text, "vége");
    EXPECT_DOUBLE_EQ(segments[1].start, 4);
    EXPECT_TRUE(subtitleSegmentsFromJson(nlohmann::json::object()).empty());
}

}  // namespace
}  // namespace tamo::speech
