#pragma once
// Looks into a written clip with the ffmpeg tools: stream facts, decoded frame stamps, pixels.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/number_text.h"

namespace tamo::test {

inline std::string runCapture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    pclose(pipe);
    return out;
}

inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

struct ClipInfo {
    std::string codec, pixelFormat;
    int width = 0, height = 0;
    std::vector<double> frameSeconds;  // presentation time of every decoded frame
};

inline ClipInfo probeClip(const std::string& path) {
    ClipInfo info;
    auto text = runCapture(
        "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,pix_fmt,width,height"
        ":frame=pts_time -of json " +
        quoted(path));
    auto j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.contains("streams") || j["streams"].empty()) return info;
    const auto& s = j["streams"][0];
    info.codec = s.value("codec_name", "");
    info.pixelFormat = s.value("pix_fmt", "");
    info.width = s.value("width", 0);
    info.height = s.value("height", 0);
    // ffprobe writes a decimal point whatever the locale; std::stod would read "0.033" as 0 under hu_HU.
    for (const auto& f : j.value("frames", nlohmann::json::array())) {
        double seconds = -1;
        parseDecimalText(f.value("pts_time", "-1").c_str(), seconds);
        info.frameSeconds.push_back(seconds);
    }
    return info;
}

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// Decoded frame number `index` as RGB rows.
class FramePixels {
public:
    FramePixels(const std::string& path, int index, int width, int height) : width_(width) {
        bytes_ = runCapture("ffmpeg -v error -i " + quoted(path) + " -vf 'select=eq(n\\," + std::to_string(index) +
                            ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
        ok_ = bytes_.size() == static_cast<std::size_t>(width) * height * 3;
    }
    bool ok() const { return ok_; }
    Rgb at(int x, int y) const {
        const auto* p =
            reinterpret_cast<const unsigned char*>(bytes_.data()) + (static_cast<std::size_t>(y) * width_ + x) * 3;
        return {p[0], p[1], p[2]};
    }

private:
    std::string bytes_;
    int width_;
    bool ok_ = false;
};

inline bool near(const Rgb& c, int r, int g, int b, int tolerance = 8) {
    return std::abs(c.r - r) <= tolerance && std::abs(c.g - g) <= tolerance && std::abs(c.b - b) <= tolerance;
}

}  // namespace tamo::test
