#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/transcoder.h"

namespace tamo::cli {

// What tamovid-render was asked to do.
struct RenderOptions {
    bool help = false;
    std::filesystem::path video;
    std::filesystem::path params;   // PARAMS.json: the page's "exportVideo" params
    std::filesystem::path project;  // FILE.tamovid
    std::filesystem::path output;
    std::optional<std::filesystem::path> narration;
    bool lossless = false;  // x264 at quantiser 0, for intermediate files

    // Job lists: --jobs FILE with one of --index N, --all [--parallel K], --pending.
    std::filesystem::path jobs;
    std::optional<long> index;
    bool all = false;
    bool pending = false;
    std::optional<int> parallel;
    bool progressJson = false;  // --progress json: one JSON line per change on standard output
};

// Parses the command line (without the program name). Error text when it does not make sense.
struct ParsedOptions {
    RenderOptions options;
    std::string error;
};
ParsedOptions parseRenderOptions(const std::vector<std::string>& args);

// Reads the parameter or project file into the export's inputs. Error text when a file cannot
// be read or names no video.
struct LoadedJob {
    ExportInputs inputs;
    // --narration, else the project's "narrationPath" (the narration the editor saved with it).
    std::optional<std::filesystem::path> narration;
    std::string error;
};
LoadedJob loadRenderJob(const RenderOptions& options);

std::string usageText();

}  // namespace tamo::cli
