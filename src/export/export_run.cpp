#include "export/export_run.h"

#include <system_error>
#include <utility>

#include "export/audio_merge.h"
#include "export/export_faults.h"
#include "platform/texts/export_texts.h"

namespace tamo {
namespace {

void removeQuietly(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::remove(p, ec);
}

// Deletes the temporary picture however the run leaves (an exception included).
struct TempVideo {
    std::filesystem::path path;
    ~TempVideo() {
        if (!path.empty()) removeQuietly(path);
    }
};

Failure mergeFailure(const MergeResult& result) {
    switch (result.status) {
    case MergeResult::Status::NoVideoTrack: return fail(texts::exporting::kMergeFailed);
    case MergeResult::Status::VideoTrackError: return fail(texts::exporting::kVideoTrackErrorPrefix + result.description);
    case MergeResult::Status::SessionError: return fail(texts::exporting::kSessionError);
    case MergeResult::Status::Cancelled: return Failure::cancel();
    case MergeResult::Status::Completed:
    case MergeResult::Status::Failed: break;
    }
    // Only a failure of the writing itself is logged.
    Failure writing = fail(result.description.empty() ? texts::exporting::kUnknownError : result.description);
    writing.logLine = "❌ Export failed: " + writing.text;
    return writing;
}

}  // namespace

Outcome<> mergeSound(const std::filesystem::path& tempVideo, const std::filesystem::path& source,
                     const std::optional<std::filesystem::path>& narration, const std::filesystem::path& output,
                     double originSeconds, const std::atomic<bool>* cancel, const std::function<void()>& started) {
    TempVideo temp{tempVideo};
    MergeResult result;
    auto merge = AudioMerge::open(tempVideo, source, narration, output, result, originSeconds);
    if (!merge) return mergeFailure(result);
    if (started) started();
    result = merge->run(cancel);  // does not throw
    if (result.status != MergeResult::Status::Completed) return mergeFailure(result);
    return {};
}

Outcome<> runExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                    const std::function<void(int)>& progress, const std::atomic<bool>* cancel) {
    if (cancel && cancel->load()) return Failure::cancel();
    PrepareResult prepared = prepareExport(inputs);
    if (!prepared.job) return fail(prepared.error);
    TempVideo temp{prepared.job->tempVideo};
    if (progress) progress(0);
    exportfault::pass(exportfault::Point::ExportThread);
    TranscodeStatus status = runFrameLoop(*prepared.job, progress, cancel);
    // The source's sound is placed against its picture's first frame, as the frames were.
    const double origin = prepared.job->originSeconds;
    prepared.job.reset();  // closes the temporary file
    if (status == TranscodeStatus::Cancelled) return Failure::cancel();
    if (status != TranscodeStatus::Finished) return fail(transcodeErrorText(status));
    const std::filesystem::path finished = std::exchange(temp.path, {});  // the merge takes it over
    return mergeSound(finished, inputs.videoURL, narration, inputs.outputURL, origin, cancel, [&] {
        if (progress) progress(95);
    });
}

}  // namespace tamo
