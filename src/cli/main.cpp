// tamovid-render: the editor's export without a window, for many clips and for servers.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "cli/render_options.h"
#include "export/audio_merge.h"
#include "export/transcoder.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace tamo;

namespace {

// Progress on standard error: a redrawn bar on a terminal, a plain line per change otherwise.
class ProgressPrinter {
public:
    ProgressPrinter() : terminal_(isatty(STDERR_FILENO) == 1) {}
    void show(int percent) {
        if (percent == last_) return;
        last_ = percent;
        if (terminal_) {
            const int width = 40, filled = percent * width / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                         percent);
            if (percent >= 100) std::fputc('\n', stderr);
        } else {
            std::fprintf(stderr, "progress %d%%\n", percent);
        }
        std::fflush(stderr);
    }
    void endLine() {
        if (terminal_ && last_ >= 0 && last_ < 100) std::fputc('\n', stderr);
    }

private:
    bool terminal_;
    int last_ = -1;
};

int fail(ProgressPrinter& progress, const std::string& text) {
    progress.endLine();
    std::fprintf(stderr, "tamovid-render: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);  // FFmpeg's own chatter would bury the progress
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::ParsedOptions parsed = cli::parseRenderOptions(args);
    if (parsed.options.help) {
        std::fputs(cli::usageText().c_str(), stdout);
        return 0;
    }
    ProgressPrinter progress;
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tamovid-render: %s\n\n%s", parsed.error.c_str(), cli::usageText().c_str());
        return 2;
    }
    cli::LoadedJob loaded = cli::loadRenderJob(parsed.options);
    if (!loaded.error.empty()) return fail(progress, loaded.error);

    PrepareResult prepared = prepareExport(loaded.inputs);
    if (!prepared.job) return fail(progress, prepared.error);
    progress.show(0);
    TranscodeStatus status = runFrameLoop(*prepared.job, [&](int p) { progress.show(p); });
    const auto temp = prepared.job->tempVideo;
    prepared.job.reset();
    auto removeTemp = [&] {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
    };
    if (status == TranscodeStatus::Cancelled) return fail(progress, "cancelled");
    if (status != TranscodeStatus::Finished) return fail(progress, transcodeErrorText(status));

    MergeResult result;
    auto merge = AudioMerge::open(temp, loaded.inputs.videoURL, parsed.options.narration, loaded.inputs.outputURL, result);
    if (merge) {
        progress.show(95);
        result = merge->run();
    }
    removeTemp();
    switch (result.status) {
    case MergeResult::Status::Completed:
        progress.show(100);
        std::fprintf(stderr, "tamovid-render: wrote %s\n", loaded.inputs.outputURL.c_str());
        return 0;
    case MergeResult::Status::NoVideoTrack: return fail(progress, "Nem sikerült a videó összefűzés!");
    case MergeResult::Status::VideoTrackError: return fail(progress, "Videó track hiba: " + result.description);
    case MergeResult::Status::Failed:
        return fail(progress, result.description.empty() ? "Ismeretlen hiba" : result.description);
    }
    return 1;
}
