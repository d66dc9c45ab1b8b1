#include "cli/render_options.h"

#include <fstream>
#include <sstream>

#include "bridge/json_depth.h"
#include "bridge/json_params.h"

namespace tamo::cli {
namespace {

std::optional<nlohmann::json> readJsonFile(const std::filesystem::path& file, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read " + file.string();
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    const std::string content = text.str();
    if (json_depth::textTooDeep(content)) {
        error = file.string() + ": " + json_depth::kTooDeepText;
        return std::nullopt;
    }
    auto value = nlohmann::json::parse(content, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded() || !value.is_object()) {
        error = file.string() + " is not a JSON object";
        return std::nullopt;
    }
    return value;
}

std::filesystem::path besides(const std::filesystem::path& base, const std::string& path) {
    std::filesystem::path p(path);
    return p.is_relative() ? base.parent_path() / p : p;
}

}  // namespace

std::string usageText() {
    return "Usage:\n"
           "  tamovid-render --video IN --params PARAMS.json --output OUT.mp4 [--narration N.mp3]\n"
           "  tamovid-render --project FILE.tamovid --output OUT.mp4 [--video IN] [--narration N.mp3]\n"
           "\n"
           "Exports a video with its overlays burnt in, like the editor's export, without a window.\n"
           "\n"
           "  --video IN           the source video\n"
           "  --params FILE        the editor's export parameters as JSON: \"textObjects\", \"cropPreset\",\n"
           "                       \"previewHeight\" (missing keys take the editor's defaults)\n"
           "  --project FILE       a .tamovid project: its \"videoPath\", its export parameters and its\n"
           "                       pictures (\"imagePaths\": picture id -> file); --video overrides the video\n"
           "  --output OUT.mp4     the file to write; an existing file is replaced only when the export\n"
           "                       succeeds\n"
           "  --narration FILE     a narration mixed in at full level over the source sound at 0.3\n"
           "  -h, --help           this text\n"
           "\n"
           "Progress goes to standard error (a bar on a terminal, one line per step otherwise).\n"
           "The exit status is 0 on success and 1 on failure, with the error text on standard error.\n"
           "Odd output sizes lose their last column or row (H.264 4:2:0 needs even sizes).\n";
}

ParsedOptions parseRenderOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    RenderOptions& o = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            o.help = true;
            return parsed;
        }
        std::filesystem::path* target = nullptr;
        if (a == "--video") target = &o.video;
        else if (a == "--params") target = &o.params;
        else if (a == "--project") target = &o.project;
        else if (a == "--output") target = &o.output;
        if (target || a == "--narration") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                parsed.error = a + " needs a value";
                return parsed;
            }
            if (target) *target = args[++i];
            else o.narration = std::filesystem::path(args[++i]);
            continue;
        }
        parsed.error = "unknown argument: " + a;
        return parsed;
    }
    if (o.output.empty()) parsed.error = "--output is required";
    else if (!o.params.empty() && !o.project.empty()) parsed.error = "--params and --project exclude each other";
    else if (o.project.empty() && o.video.empty()) parsed.error = "--video (or --project) is required";
    return parsed;
}

LoadedJob loadRenderJob(const RenderOptions& o) {
    LoadedJob job;
    ExportInputs& in = job.inputs;
    in.outputURL = o.output;
    in.videoURL = o.video;
    if (!o.project.empty()) {
        auto project = readJsonFile(o.project, job.error);
        if (!project) return job;
        if (in.videoURL.empty()) {
            if (auto path = params::text(*project, "videoPath")) in.videoURL = besides(o.project, *path);
        }
        // The editor keeps its export parameters at the top level of the project state.
        in.params = readExportParams(*project);
        if (const auto* images = params::object(*project, "imagePaths")) {
            for (const auto& [id, path] : images->items())
                if (path.is_string()) in.images[id] = besides(o.project, path.get<std::string>());
        }
    } else if (!o.params.empty()) {
        auto params = readJsonFile(o.params, job.error);
        if (!params) return job;
        in.params = readExportParams(*params);
    }
    if (in.videoURL.empty()) job.error = "no video: give --video or a project with \"videoPath\"";
    return job;
}

}  // namespace tamo::cli
