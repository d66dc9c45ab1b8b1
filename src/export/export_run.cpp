#include "export/export_run.h"

#include <utility>

#include "export/audio_merge.h"
#include "export/export_faults.h"
#include "platform/atomic_file.h"

namespace tamo {
namespace {

// Deletes the temporary picture however the run leaves (an exception included).
struct TempVideo {
    std::filesystem::path path;
    ~TempVideo() {
        if (!path.empty()) removeQuietly(path);
    }
};

}  // namespace

Outcome<> mergeSound(const std::filesystem::path& tempVideo, const std::filesystem::path& source,
                     const std::optional<std::filesystem::path>& narration, const std::filesystem::path& output,
                     PictureClock sourceClock, const std::atomic<bool>* cancel, const std::function<void()>& started) {
    TempVideo temp{tempVideo};
    auto merge = AudioMerge::open(tempVideo, source, narration, output, std::move(sourceClock));
    if (!merge) return merge.failure();
    if (started) started();
    return (*merge)->run(cancel);  // does not throw
}

Outcome<> runExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                    const std::function<void(int)>& progress, const std::atomic<bool>* cancel) {
    if (cancel && cancel->load()) return Failure::cancel();
    Outcome<std::unique_ptr<PreparedExport>> prepared = prepareExport(inputs);
    if (!prepared) return prepared.failure();
    std::unique_ptr<PreparedExport> job = std::move(*prepared);
    TempVideo temp{job->tempVideo};
    if (progress) progress(0);
    exportfault::pass(exportfault::Point::ExportThread);
    Outcome<> frames = runFrameLoop(*job, progress, cancel);
    // The source's sound is placed against its picture's first frame and clock resets, as the frames were.
    PictureClock sourceClock{job->originSeconds, job->resetShiftSeconds};
    job.reset();  // closes the temporary file
    if (!frames) return frames;
    const std::filesystem::path finished = std::exchange(temp.path, {});  // the merge takes it over
    return mergeSound(finished, inputs.videoURL, narration, inputs.outputURL, std::move(sourceClock), cancel, [&] {
        if (progress) progress(95);
    });
}

}  // namespace tamo
