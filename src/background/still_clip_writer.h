#pragma once
#include <cstdint>
#include <filesystem>

typedef struct _GdkPixbuf GdkPixbuf;

namespace tamo {

enum class StillClipError {
    none,
    writer,      // the file, container or encoder could not be set up
    bufferPool,  // no frame memory for the encoder
    pixelBuffer, // the picture could not be converted into the encoder's frame
    write,       // encoding or writing failed on the way, or the file could not be finished
};

struct StillClipSettings {
    int fps = 30;
    std::int64_t frames = 0;
    std::int64_t bitRate = 0;  // average, bits per second
};

// Writes an H.264 MPEG-4 clip that shows the RGB frame `frames` times at `fps` (frame i stamped
// i/fps s). The frame is converted once; the encoder is tuned for a picture that never changes.
StillClipError writeStillClip(const std::filesystem::path& path, GdkPixbuf* frame, const StillClipSettings& settings);

}  // namespace tamo
