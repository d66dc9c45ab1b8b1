#include "speech/subtitle_writer.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace tamo::speech {
namespace {

// Whole milliseconds, rounded to the nearest; negative or non-finite times start the film.
std::int64_t milliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return std::llround(seconds * 1000.0);
}

std::string timestamp(std::int64_t ms, char decimalMark) {
    char text[48];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 "%c%03" PRId64, ms / 3600000,
                  ms / 60000 % 60, ms / 1000 % 60, decimalMark, ms % 1000);
    return text;
}

// The text's lines without blank ones: a blank line would end the cue early in both formats.
std::vector<std::string> cueLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        auto last = line.find_last_not_of(" \t");
        lines.push_back(line.substr(first, last - first + 1));
    }
    return lines;
}

// WebVTT cue text is markup: &, < and > must be written as entities, which also keeps "-->" out.
std::string vttEscaped(const std::string& line) {
    std::string out;
    for (char c : line) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

template <typename EachLine>
std::string writeCues(const std::vector<SubtitleSegment>& segments, std::string header, char decimalMark, bool numbered,
                      EachLine eachLine) {
    std::string out = std::move(header);
    int number = 0;
    for (const auto& segment : segments) {
        auto lines = cueLines(segment.text);
        if (lines.empty()) continue;  // a cue without text shows nothing and confuses some players
        std::int64_t start = milliseconds(segment.start);
        std::int64_t end = std::max(start, milliseconds(segment.end));
        if (numbered) out += std::to_string(++number) + "\n";
        out += timestamp(start, decimalMark) + " --> " + timestamp(end, decimalMark) + "\n";
        for (const auto& line : lines) out += eachLine(line) + "\n";
        out += "\n";
    }
    return out;
}

}  // namespace

std::vector<SubtitleSegment> subtitleSegmentsFromJson(const nlohmann::json& segments) {
    std::vector<SubtitleSegment> result;
    if (!segments.is_array()) return result;
    for (const auto& element : segments) {
        if (!element.is_object()) continue;
        auto start = element.find("start");
        auto end = element.find("end");
        auto text = element.find("text");
        if (start == element.end() || !start->is_number() || end == element.end() || !end->is_number() ||
            text == element.end() || !text->is_string())
            continue;
        result.push_back({start->get<double>(), end->get<double>(), text->get<std::string>()});
    }
    return result;
}

std::string writeSrt(const std::vector<SubtitleSegment>& segments) {
    return writeCues(segments, {}, ',', true, [](const std::string& line) { return line; });
}

std::string writeWebVtt(const std::vector<SubtitleSegment>& segments) {
    return writeCues(segments, "WEBVTT\n\n", '.', false, vttEscaped);
}

}  // namespace tamo::speech
