#pragma once
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>

#include "export/transcoder.h"
#include "media/audio_placement.h"
#include "platform/outcome.h"

namespace tamo {

// The label of an export's worker thread (its thread name is the tail that fits).
inline constexpr const char* kExportQueueLabel = "hu.tamovideoeditor.videoexport.video";

// One export from start to the finished file, as the window and tamovid-render both run it:
// the frame loop into "_temp_video_<UUID>.mp4" beside the output, then the sound merge, which
// writes "_temp_export_<UUID>.mp4" and renames it over the output only when complete.
// progress(percent): 0 once the source is open, one call per drawn frame up to 90, 95 when the
// merge starts. A raised *cancel stops either stage at its next frame or packet (a cancelled
// Failure). In every outcome no temporary file stays and the output is either untouched or
// replaced by a complete file.
Outcome<> runExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                    const std::function<void(int)>& progress, const std::atomic<bool>* cancel);

// The sound merge alone, over a finished temporary picture, which it deletes in every outcome.
// sourceClock: the source picture's first presentation time and its shifts where the clock reset, against
// which its sound is placed.
Outcome<> mergeSound(const std::filesystem::path& tempVideo, const std::filesystem::path& source,
                     const std::optional<std::filesystem::path>& narration, const std::filesystem::path& output,
                     PictureClock sourceClock, const std::atomic<bool>* cancel,
                     const std::function<void()>& started = {});

}  // namespace tamo
