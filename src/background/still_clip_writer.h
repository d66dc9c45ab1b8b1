#pragma once
#include <cstdint>
#include <filesystem>

#include "platform/outcome.h"

typedef struct _GdkPixbuf GdkPixbuf;

namespace tamo {

struct StillClipSettings {
    int fps = 30;
    std::int64_t frames = 0;
    std::int64_t bitRate = 0;  // average, bits per second
};

// Writes an H.264 MPEG-4 clip that shows the RGB frame `frames` times at `fps` (frame i stamped
// i/fps s). The frame is converted once; the encoder is tuned for a picture that never changes.
// Failure, as the page says it: "Writer hiba!" (file, container or encoder not set up; a read-only
// or full folder is named after it), "Buffer pool hiba!" (no frame memory), "PixelBuffer hiba!"
// (the picture cannot be converted), "Videó írás hiba!" (encoding or writing failed on the way).
Outcome<> writeStillClip(const std::filesystem::path& path, GdkPixbuf* frame, const StillClipSettings& settings);

}  // namespace tamo
