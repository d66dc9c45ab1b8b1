#pragma once
#include <atomic>
#include <filesystem>
#include <memory>

#include "export/export_params.h"

namespace tamo {

class AppDelegate;

// The label of an export's frame thread (its thread name is the tail that fits).
inline constexpr const char* kExportQueueLabel = "hu.tamovideoeditor.videoexport.video";

// Starts an export of videoURL into outputURL (main thread). The work runs on its own thread and
// reports to the page: "onExportProgress(0)", one progress call per frame up to 90, then the merge's
// "onExportProgress(95)" and "onExportComplete()" — or exactly one "onExportError(...)".
// The export's cancel flag is kept in app.exportCancelFlag: raising it stops the frame loop at its
// next frame, the temporary file is removed, nothing is merged and the page gets "onExportCancelled()".
void performExport(AppDelegate& app, const std::filesystem::path& videoURL, const std::filesystem::path& outputURL,
                   const ExportParams& params);

// Joins the finished temporary video with the sound (main thread; the writing runs on a worker)
// and deletes the temporary video in every outcome. originSeconds: the source picture's first
// presentation time, against which the source's sound is placed.
void mergeVideoAndAudio(AppDelegate& app, const std::filesystem::path& videoURL,
                        const std::filesystem::path& originalAssetURL, const std::filesystem::path& outputURL,
                        double originSeconds = 0);

}  // namespace tamo
