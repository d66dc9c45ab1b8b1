#include "cli/render_options.h"

#include "cli/bounded_file.h"
#include "platform/json_depth.h"
#include "platform/json_params.h"
#include "platform/regular_file.h"

namespace tamo::cli {
namespace {

std::optional<nlohmann::json> readJsonFile(const std::filesystem::path& file, std::string& error) {
    FileText read = readBoundedFile(file);
    if (!read.text) {
        error = read.error;
        return std::nullopt;
    }
    if (json_depth::textTooDeep(*read.text)) {
        error = file.string() + ": " + json_depth::kTooDeepText;
        return std::nullopt;
    }
    auto value = nlohmann::json::parse(*read.text, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded() || !value.is_object()) {
        error = file.string() + " is not a JSON object";
        return std::nullopt;
    }
    return value;
}

// A plain decimal number (no sign, no spaces), or nothing.
std::optional<long> wholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stol(text);
}

std::filesystem::path besides(const std::filesystem::path& base, const std::string& path) {
    std::filesystem::path p(path);
    return p.is_relative() ? base.parent_path() / p : p;
}

}  // namespace

std::string usageText() {
    return "Usage:\n"
           "  tamovid-render --video IN --params PARAMS.json --output OUT.mp4 [--narration N.mp3] [--lossless]\n"
           "  tamovid-render --project FILE.tamovid --output OUT.mp4 [--video IN] [--narration N.mp3]\n"
           "  tamovid-render --jobs JOBS.jsonl (--index N | --all [--parallel K] | --pending)\n"
           "\n"
           "Exports a video with its overlays burnt in, like the editor's export, without a window.\n"
           "\n"
           "  --video IN           the source video\n"
           "  --params FILE        the editor's export parameters as JSON: \"textObjects\", \"cropPreset\",\n"
           "                       \"previewHeight\", and for reframing \"cropPositionX\"/\"cropPositionY\"\n"
           "                       (0-100, 50 centred), \"outputSize\" (\"crop\" or \"standard\") and\n"
           "                       \"fillMode\" (\"crop\" or \"fit\"); missing keys take the editor's defaults\n"
           "  --project FILE       a .tamovid project: its \"videoPath\", its export parameters and its\n"
           "                       pictures (\"imagePaths\": picture id -> file); --video overrides the video\n"
           "  --output OUT.mp4     the file to write; an existing file is replaced only when the export\n"
           "                       succeeds\n"
           "  --narration FILE     a narration mixed in at full level over the source sound at 0.3\n"
           "  --jobs FILE          a job list, one JSON object per line: a template (\"project\" or\n"
           "                       \"params\" with \"video\"), replacements (\"video\", \"narration\",\n"
           "                       \"images\": id -> file, \"texts\": overlay index -> text,\n"
           "                       \"placeholders\": name -> text for {{name}}) and \"output\"; paths are\n"
           "                       relative to the job list. Bad lines are reported and skipped.\n"
           "  --index N            render job N alone (0-based, blank lines not counted), as an array\n"
           "                       task of a cluster scheduler does\n"
           "  --all                render every job on this machine, K at a time\n"
           "  --parallel K         jobs at once with --all (default: one per processor core)\n"
           "  --pending            print the indices whose output is not there yet (0-3,7), for a\n"
           "                       scheduler's array option\n"
           "  --progress json      one JSON line per change on standard output: job, percent, state\n"
           "                       (running, done, skipped, failed with error, cancelled)\n"
           "  --lossless           encode the picture without loss (x264 at quantiser 0; large files,\n"
           "                       meant for intermediate steps)\n"
           "  -h, --help           this text\n"
           "\n"
           "A job whose output already exists as a complete video is skipped: outputs only appear\n"
           "when whole, so a re-run after a failure or preemption does only what is left.\n"
           "Progress goes to standard error (a bar on a terminal, one line per step otherwise).\n"
           "The exit status is 0 when every job succeeded and 1 otherwise, with the errors on standard\n"
           "error; 2 for a wrong command line; 130 after SIGINT and 143 after SIGTERM, which stop the\n"
           "render and remove its temporary files.\n"
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
        if (a == "--all") {
            o.all = true;
            continue;
        }
        if (a == "--pending") {
            o.pending = true;
            continue;
        }
        if (a == "--lossless") {
            o.lossless = true;
            continue;
        }
        std::filesystem::path* target = nullptr;
        if (a == "--video")
            target = &o.video;
        else if (a == "--params")
            target = &o.params;
        else if (a == "--project")
            target = &o.project;
        else if (a == "--output")
            target = &o.output;
        else if (a == "--jobs")
            target = &o.jobs;
        const bool valued = a == "--narration" || a == "--index" || a == "--parallel" || a == "--progress";
        if (!target && !valued) {
            parsed.error = "unknown argument: " + a;
            return parsed;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            parsed.error = a + " needs a value";
            return parsed;
        }
        const std::string& value = args[++i];
        if (target) {
            *target = value;
        } else if (a == "--narration") {
            o.narration = std::filesystem::path(value);
        } else if (a == "--progress") {
            if (value != "json" && value != "bar") {
                parsed.error = "--progress takes json or bar";
                return parsed;
            }
            o.progressJson = value == "json";
        } else {
            auto number = wholeNumber(value);
            const long most = a == "--index" ? 10'000'000 : 256;
            const long least = a == "--index" ? 0 : 1;
            if (!number || *number < least || *number > most) {
                parsed.error =
                    a + " takes a whole number from " + std::to_string(least) + " to " + std::to_string(most);
                return parsed;
            }
            if (a == "--index")
                o.index = *number;
            else
                o.parallel = static_cast<int>(*number);
        }
    }
    if (!o.jobs.empty()) {
        const int modes = int(o.index.has_value()) + int(o.all) + int(o.pending);
        if (!o.video.empty() || !o.params.empty() || !o.project.empty() || !o.output.empty() || o.narration)
            parsed.error = "--jobs takes its videos, templates and outputs from the job list";
        else if (modes != 1)
            parsed.error = "--jobs needs one of --index N, --all or --pending";
        else if (o.parallel && !o.all)
            parsed.error = "--parallel goes with --all";
        return parsed;
    }
    if (o.index || o.all || o.pending || o.parallel)
        parsed.error = "--index, --all, --pending and --parallel need --jobs";
    else if (o.output.empty())
        parsed.error = "--output is required";
    else if (!o.params.empty() && !o.project.empty())
        parsed.error = "--params and --project exclude each other";
    else if (o.project.empty() && o.video.empty())
        parsed.error = "--video (or --project) is required";
    return parsed;
}

LoadedJob loadRenderJob(const RenderOptions& o) {
    LoadedJob job;
    ExportInputs& in = job.inputs;
    in.outputURL = o.output;
    in.videoURL = o.video;
    job.narration = o.narration;
    in.lossless = o.lossless;
    if (!o.project.empty()) {
        auto project = readJsonFile(o.project, job.error);
        if (!project) return job;
        if (in.videoURL.empty()) {
            if (auto path = params::text(*project, "videoPath")) in.videoURL = besides(o.project, *path);
        }
        if (!job.narration) {
            if (auto path = params::text(*project, "narrationPath"); path && !path->empty())
                job.narration = besides(o.project, *path);
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
    // Opening a FIFO or device would wait for ever; a folder is no media. A missing file is left to
    // the export, which reports it in its own words.
    auto refuse = [&job](const char* what, const std::filesystem::path& file) {
        auto reason = notRegularFileReason(file);
        if (job.error.empty() && reason && *reason != "not found")
            job.error = std::string(what) + " " + file.string() + ": " + *reason;
    };
    refuse("video", in.videoURL);
    if (job.narration) refuse("narration", *job.narration);
    return job;
}

}  // namespace tamo::cli
