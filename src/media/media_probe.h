#pragma once
#include <filesystem>
#include <optional>

namespace tamo {

// What the editor needs to know about a media file before it works on it.
struct MediaInfo {
    bool hasVideo = false;           // the file has at least one video stream; the fields below describe the first
    double width = 0;                // display width in pixels (after the stream's rotation), 0 without video
    double height = 0;               // display height in pixels (after the stream's rotation), 0 without video
    int rotationDegrees = 0;         // clockwise quarter turns that show the picture upright: 0, 90, 180 or 270
    std::optional<double> duration;  // seconds: the container's length, else the video stream's; absent when unknown
    bool hasAudio = false;           // the file has at least one audio stream
    int audioCodecId = 0;            // AVCodecID of the first audio stream; AV_CODEC_ID_NONE (0) without audio
};

// Opens the file with libavformat and reads its streams. Nothing when the file cannot be read as
// media at all (missing, not media, truncated beyond use). Never throws.
std::optional<MediaInfo> probeMedia(const std::filesystem::path& path);

}  // namespace tamo
