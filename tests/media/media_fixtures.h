#pragma once
// Media made at test time with the ffmpeg CLI in a private folder, and an independent look at
// produced sound through ffprobe and ffmpeg's volumedetect.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/number_text.h"

namespace tamo::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tamo-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    std::vector<std::string> filesStartingWith(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) names.push_back(entry.path().filename());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string shellQuoted(const std::string& text) {
    return "'" + std::regex_replace(text, std::regex("'"), "'\\''") + "'";
}

// Standard output of a shell command, or nothing when it fails.
inline std::optional<std::string> commandOutput(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

// "ffmpeg -v error -y ARGS"; true on success.
inline bool ffmpeg(const std::string& args) {
    return commandOutput("ffmpeg -nostdin -v error -y " + args + " 2>&1").has_value();
}

// testsrc2 (and a 440 Hz tone when withAudio), H.264 in whatever container the name says.
inline bool makeClip(const std::filesystem::path& out, int width, int height, double seconds, bool withAudio = true) {
    std::ostringstream a;
    a << "-f lavfi -i testsrc2=s=" << width << "x" << height << ":r=25:d=" << seconds;
    if (withAudio) a << " -f lavfi -i sine=f=440:d=" << seconds << " -c:a aac -shortest";
    a << " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " << shellQuoted(out.string());
    return ffmpeg(a.str());
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Sound {
    std::string codec;
    int channels = 0;
    double seconds = 0;
};

// The first sound track as ffprobe sees it ("aac,2" then the length, with a point whatever the locale).
inline std::optional<Sound> probeSound(const std::filesystem::path& file) {
    auto out = commandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,channels:"
        "format=duration -of csv=p=0 " +
        shellQuoted(file));
    std::smatch m;
    if (!out || !std::regex_search(*out, m, std::regex("(\\w+),(\\d+)\\s+([0-9.]+)"))) return std::nullopt;
    Sound s{m[1], std::stoi(m[2])};
    parseDecimalText(m.str(3).c_str(), s.seconds);
    return s;
}

// Mean decoded level in dB of [from, to) seconds (the whole file when to <= 0); -1000 for digital silence.
inline double meanVolumeDb(const std::filesystem::path& file, double from = 0, double to = 0) {
    std::string range =
        to > 0 ? "-ss " + fixedDecimalText(from, 3) + " -t " + fixedDecimalText(to - from, 3) + " " : "";
    auto out = commandOutput("ffmpeg -nostdin -hide_banner " + range + "-i " + shellQuoted(file) +
                             " -af volumedetect -f null - 2>&1");
    std::smatch m;
    if (!out || !std::regex_search(*out, m, std::regex("mean_volume: (-?[0-9.]+|-inf) dB"))) return 0;
    double level = -1000;
    if (m[1] != "-inf") parseDecimalText(m.str(1).c_str(), level);
    return level;
}

}  // namespace tamo::test
