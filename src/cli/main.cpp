// tamovid-render: the editor's export without a window, for many clips and for servers.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/cancel_signal.h"
#include "cli/job_list.h"
#include "cli/job_pool.h"
#include "cli/progress_output.h"
#include "cli/render_options.h"
#include "cli/render_run.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace tamo;
using namespace tamo::cli;

namespace {

int complain(const std::string& text) {
    std::fprintf(stderr, "tamovid-render: %s\n", text.c_str());
    return 1;
}

// Renders loaded inputs and reports how it ended; returns the exit status.
int renderLoaded(const LoadedJob& loaded, ProgressOutput& progress) {
    Outcome<> outcome = renderExport(
        loaded.inputs, loaded.narration, [&](int p) { progress.percent(p); }, &cancelFlag());
    if (outcome) {
        progress.finish(kDone);
        return 0;
    }
    if (outcome.cancelled()) {
        progress.finish(kCancelled);
        return cancelledExitStatus();
    }
    progress.finish(kFailed, outcome.error());
    return 1;
}

int renderSingle(const RenderOptions& options) {
    ProgressOutput progress(options.progressJson, std::nullopt);
    LoadedJob loaded = loadRenderJob(options);
    if (!loaded.error.empty()) {
        progress.finish(kFailed, loaded.error);
        return 1;
    }
    int status = renderLoaded(loaded, progress);
    if (status == 0 && !options.progressJson)
        std::fprintf(stderr, "tamovid-render: wrote %s\n", loaded.inputs.outputURL.c_str());
    return status;
}

int renderIndex(const JobList& list, long index, bool json) {
    if (index >= static_cast<long>(list.jobs.size()))
        return complain("no job " + std::to_string(index) + ": the list holds " + std::to_string(list.jobs.size()));
    const JobLine& job = list.jobs[static_cast<std::size_t>(index)];
    ProgressOutput progress(json, job.index);
    if (!job.ok()) {
        progress.finish(kFailed, "line " + std::to_string(job.lineNumber) + ": " + job.error);
        return 1;
    }
    if (isCompleteOutput(job.output)) {
        if (!json) std::fprintf(stderr, "tamovid-render: %s is already complete, skipped\n", job.output.c_str());
        progress.finish(kSkipped);
        return 0;
    }
    LoadedJob loaded = resolveJob(job);
    if (!loaded.error.empty()) {
        progress.finish(kFailed, loaded.error);
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(job.output.parent_path(), ec);  // a job list may sort outputs into folders
    int status = renderLoaded(loaded, progress);
    if (status == 0 && !json) std::fprintf(stderr, "tamovid-render: wrote %s\n", job.output.c_str());
    return status;
}

int listPending(const JobList& list) {
    std::vector<int> pending;
    for (const auto& job : list.jobs) {
        if (!job.ok())
            std::fprintf(stderr, "tamovid-render: line %d: %s\n", job.lineNumber, job.error.c_str());
        else if (!isCompleteOutput(job.output))
            pending.push_back(job.index);
    }
    std::printf("%s\n", indexRanges(pending).c_str());
    return 0;
}

int run(const RenderOptions& options) {
    if (options.jobs.empty()) return renderSingle(options);
    JobList list = readJobList(options.jobs);
    if (!list.error.empty()) return complain(list.error);
    if (options.pending) return listPending(list);
    if (options.index) return renderIndex(list, *options.index, options.progressJson);
    const int parallel = options.parallel.value_or(defaultParallelism(std::thread::hardware_concurrency()));
    return runAllJobs(list, options.jobs, parallel, options.progressJson);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");      // the environment's locale, as the window runs with it
    av_log_set_level(AV_LOG_ERROR);  // FFmpeg's own chatter would bury the progress
    installCancelHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    ParsedOptions parsed = parseRenderOptions(args);
    if (parsed.options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tamovid-render: %s\n\n%s", parsed.error.c_str(), usageText().c_str());
        return 2;
    }
    try {
        return run(parsed.options);
    } catch (const std::bad_alloc&) {
        return complain("out of memory");
    } catch (const std::exception& e) {
        return complain(e.what());
    }
}
