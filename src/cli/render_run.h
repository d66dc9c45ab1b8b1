#pragma once
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "export/transcoder.h"
#include "platform/outcome.h"

namespace tamo::cli {

// One export from start to the finished file (the same run as the window's); progress(percent)
// runs 0…100. When *cancel is raised the run stops at its next frame or packet. Either way no
// temporary file stays and the output is only ever replaced by a complete file.
Outcome<> renderExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                       const std::function<void(int)>& progress, const std::atomic<bool>* cancel);

// True when the file is a finished export: a regular MPEG-4 file with a picture whose every sample
// lies within the file.
// Outputs appear only through a rename of a whole file, so this is what a re-run may skip.
bool isCompleteOutput(const std::filesystem::path& file);

}  // namespace tamo::cli
