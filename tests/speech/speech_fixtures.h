#pragma once
// Small helpers for the speech tests: a private temporary directory, media made with the ffmpeg
// command line, and an independent look at produced files through ffprobe/ffmpeg.
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <glib.h>

#include "platform/number_text.h"

namespace tamo::test {

class TempDir {
public:
    TempDir() {
        char* made = g_dir_make_tmp("tamo-speech-XXXXXX", nullptr);
        path_ = made ? made : "";
        g_free(made);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Names of the files in the directory that start with prefix.
    std::vector<std::string> filesStartingWith(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            auto name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0) names.push_back(name);
        }
        return names;
    }

private:
    std::filesystem::path path_;
};

// Runs a shell command; returns its standard output (and error when asked), or nothing on failure.
inline std::optional<std::string> runCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return std::nullopt;
    std::string out;
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe.get())) out.append(buf.data(), n);
    int status = pclose(pipe.release());
    if (status != 0) return std::nullopt;
    return out;
}

inline std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// ffmpeg with the given arguments (inputs, codecs) writing `out`; true when it worked.
inline bool makeMedia(const std::string& arguments, const std::filesystem::path& out) {
    return runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " " + quoted(out) + " 2>&1")
        .has_value();
}

struct ProbedAudio {
    std::string codec;
    int channels = 0;
    double seconds = 0;
    double meanVolumeDb = -1000;  // decoded level, by ffmpeg's volumedetect
};

inline std::optional<ProbedAudio> probeAudio(const std::filesystem::path& file) {
    auto json = runCommand(
        "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,channels:format=duration -of json " +
        quoted(file));
    if (!json) return std::nullopt;
    auto info = nlohmann::json::parse(*json, nullptr, false);
    if (info.is_discarded() || !info.contains("streams") || info["streams"].empty()) return std::nullopt;
    ProbedAudio probed;
    probed.codec = info["streams"][0].value("codec_name", "");
    probed.channels = info["streams"][0].value("channels", 0);
    // ffprobe's and ffmpeg's numbers have a decimal point whatever the locale: std::stod would not read them under hu_HU.
    parseDecimalText(info["format"].value("duration", "0").c_str(), probed.seconds);
    auto volume = runCommand("ffmpeg -nostdin -hide_banner -i " + quoted(file) + " -af volumedetect -f null - 2>&1");
    std::smatch m;
    if (volume && std::regex_search(*volume, m, std::regex("mean_volume: (-?[0-9.]+|-inf) dB"))) {
        if (m[1] == "-inf")
            probed.meanVolumeDb = -1000;
        else
            parseDecimalText(m[1].str().c_str(), probed.meanVolumeDb);
    }
    return probed;
}

}  // namespace tamo::test
