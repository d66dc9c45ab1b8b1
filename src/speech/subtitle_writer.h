#pragma once
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace tamo::speech {

// One timed line of speech, as the transcription delivers it (seconds from the start).
struct SubtitleSegment {
    double start = 0;
    double end = 0;
    std::string text;
};

// The segments of a transcription result ([{"start":…,"end":…,"text":…}, …]); entries of another
// shape are skipped.
std::vector<SubtitleSegment> subtitleSegmentsFromJson(const nlohmann::json& segments);

// SubRip text: numbered cues, "HH:MM:SS,mmm --> HH:MM:SS,mmm", LF line ends.
std::string writeSrt(const std::vector<SubtitleSegment>& segments);

// WebVTT text: "WEBVTT" header, cues with "HH:MM:SS.mmm --> HH:MM:SS.mmm".
std::string writeWebVtt(const std::vector<SubtitleSegment>& segments);

}  // namespace tamo::speech
