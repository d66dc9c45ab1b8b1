#pragma once
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/draw_info.h"
#include "export/export_params.h"
#include "export/geometry.h"
#include "export/reframe_plan.h"
#include "export/video_reader.h"
#include "export/video_writer.h"
#include "platform/outcome.h"

namespace tamo {

// Everything one export starts from, captured on the main thread.
struct ExportInputs {
    std::filesystem::path videoURL;
    std::filesystem::path outputURL;
    ExportParams params;
    std::map<std::string, std::filesystem::path> images;  // storedImages at the time of the request
    bool lossless = false;                                // x264 at quantiser 0 (intermediate files)
};

// An export ready to run its frame loop: source open, temporary file open, records built.
struct PreparedExport {
    std::unique_ptr<VideoReader> reader;
    std::unique_ptr<VideoWriter> writer;
    FramePlan plan;  // crop window, output size and fill
    std::shared_ptr<const OverlaySet> overlays;
    double durationSeconds = 0;
    std::filesystem::path tempVideo;  // "_temp_video_<UUID>.mp4" next to the output
    // The source's time (seconds) that became 0 of the output: the first video frame's
    // presentation time once the frame loop has read it. The sound is placed relative to it.
    double originSeconds = 0;
    // The shift (seconds) the picture took at each reset of the source's clock, in order.
    std::vector<double> resetShiftSeconds;
};

// Opens the source, computes the geometry, opens decoder and encoder, builds the records; or the
// page's message, e.g. "Reader hiba!". Touches no existing file: the chosen output stays as it is
// until the export has succeeded.
Outcome<std::unique_ptr<PreparedExport>> prepareExport(const ExportInputs& inputs);

// The name of the temporary silent video of an export writing to output.
std::filesystem::path temporaryVideoPath(const std::filesystem::path& output);

// Reads, draws and encodes every frame; progress(percent) after each drawn one, on the calling
// (export) thread. Decoding and encoding run on two threads of their own with a hand-off of a
// few frames each way, so memory does not grow with the clip. Setting *cancel stops every stage
// at its next frame (a cancelled Failure). A failure says "Reader hiba!" or "Writer hiba!". On any
// outcome but success the temporary file is deleted.
Outcome<> runFrameLoop(PreparedExport& job, const std::function<void(int)>& progress,
                       const std::atomic<bool>* cancel = nullptr);

}  // namespace tamo
