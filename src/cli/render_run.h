#pragma once
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "export/transcoder.h"

namespace tamo::cli {

struct RenderOutcome {
    enum class State { Done, Failed, Cancelled };
    State state = State::Done;
    std::string error;  // for Failed
};

// One export from start to the finished file: frame loop, then the sound merge. progress(percent)
// runs 0…100. When *cancel is raised the frame loop stops at the next frame; a merge already under
// way ends first and its result is thrown away. Either way no temporary file stays and the output
// is only ever replaced by a complete file.
RenderOutcome renderExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                           const std::function<void(int)>& progress, const std::atomic<bool>* cancel);

// True when the file is a finished export: a regular MPEG-4 file with a picture whose every sample
// lies within the file.
// Outputs appear only through a rename of a whole file, so this is what a re-run may skip.
bool isCompleteOutput(const std::filesystem::path& file);

}  // namespace tamo::cli
