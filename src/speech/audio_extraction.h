#pragma once
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <string>

#include "platform/cancel_flag.h"
#include "platform/outcome.h"

namespace tamo::speech {

// The transcription service refuses uploads over 25 MB; we aim a little below it.
inline constexpr std::size_t kUploadLimitBytes = 25u * 1000 * 1000;

// What the extraction will do with one video, decided before any file is written.
struct ExtractionPlan {
    std::filesystem::path source;
    int audioStream = -1;
    bool copyAac = false;        // the sound is AAC starting with the picture: copy its packets, no re-encoding
    double originSeconds = NAN;  // the picture's first frame on the file's clock (NaN: no picture), the
                                 // file's time 0, so that the segments' times are the picture's times
    double durationSeconds = 0;  // best guess, used to pick a bit rate that fits the limit
};

// Opens the video and decides how its sound becomes an M4A file. Quick: reads headers only.
// Failure, as the page says it: texts::speech::kNoSoundTrack (missing or unreadable file, no audio
// stream) or texts::speech::kExtractionRefused (no decoder for it, or no AAC encoder).
Outcome<ExtractionPlan> planAudioExtraction(const std::filesystem::path& video);

// Writes the whole sound of the planned source to `output` as AAC in an MPEG-4 audio file:
// copied when it is AAC already, otherwise encoded mono at a rate that keeps the file under
// maxBytes (a copy that turns out too large is encoded too). A raised cancel flag stops it at the
// next packet. On failure nothing is left at `output`; the failure's text says why, for tests and
// debugging — it is never shown to the page.
Outcome<> extractAudio(const ExtractionPlan& plan, const std::filesystem::path& output,
                       const CancelFlag& cancel = CancelFlag(), std::size_t maxBytes = kUploadLimitBytes);

}  // namespace tamo::speech
