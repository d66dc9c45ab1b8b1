#include "cli/render_run.h"

#include <system_error>

#include "export/audio_merge.h"
#include "media/ffmpeg_ptr.h"
#include "platform/uuid.h"

namespace tamo::cli {
namespace {

void removeQuietly(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::remove(p, ec);
}

bool raised(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

RenderOutcome failed(std::string text) { return {RenderOutcome::State::Failed, std::move(text)}; }

}  // namespace

RenderOutcome renderExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                           const std::function<void(int)>& progress, const std::atomic<bool>* cancel) {
    if (raised(cancel)) return {RenderOutcome::State::Cancelled, {}};
    std::error_code ec;
    auto kind = std::filesystem::status(inputs.outputURL, ec).type();
    // The finished file is renamed over the output: only a file, or nothing, may be replaced so.
    if (kind != std::filesystem::file_type::not_found && kind != std::filesystem::file_type::regular &&
        kind != std::filesystem::file_type::none)
        return failed(inputs.outputURL.string() + " is not a regular file");
    PrepareResult prepared = prepareExport(inputs);
    if (!prepared.job) return failed(prepared.error);
    if (progress) progress(0);
    TranscodeStatus status = runFrameLoop(*prepared.job, progress, cancel);
    const auto temp = prepared.job->tempVideo;
    const double origin = prepared.job->originSeconds;  // the source's sound is placed against it
    prepared.job.reset();  // closes the temporary file
    if (status == TranscodeStatus::Cancelled) return {RenderOutcome::State::Cancelled, {}};
    if (status != TranscodeStatus::Finished) return failed(transcodeErrorText(status));

    // The merge cannot be stopped half-way, so it writes to a staging name of ours; a signal that
    // came during it only means that name is removed instead of renamed over the output.
    const auto staged = inputs.outputURL.parent_path() / ("_temp_render_" + newUuidText() + ".mp4");
    MergeResult result;
    auto merge = AudioMerge::open(temp, inputs.videoURL, narration, staged, result, origin);
    if (merge) {
        if (progress) progress(95);
        result = merge->run();
    }
    merge.reset();
    removeQuietly(temp);
    if (result.status != MergeResult::Status::Completed) {
        removeQuietly(staged);
        switch (result.status) {
        case MergeResult::Status::NoVideoTrack: return failed("Nem sikerült a videó összefűzés!");
        case MergeResult::Status::VideoTrackError: return failed("Videó track hiba: " + result.description);
        case MergeResult::Status::SessionError: return failed("Export session hiba!");
        default: return failed(result.description.empty() ? "Ismeretlen hiba" : result.description);
        }
    }
    if (raised(cancel)) {
        removeQuietly(staged);
        return {RenderOutcome::State::Cancelled, {}};
    }
    std::filesystem::rename(staged, inputs.outputURL, ec);
    if (ec) {
        removeQuietly(staged);
        return failed("cannot write " + inputs.outputURL.string() + ": " + ec.message());
    }
    if (progress) progress(100);
    return {};
}

bool isCompleteOutput(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size == 0) return false;
    av::InputPtr in = av::openInput(file.string(), "mov");
    if (!in) return false;
    // A cut copy may still carry its sample tables at the front; every sample they list must lie
    // within the file, and there must be a picture.
    bool picture = false;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* st = in->streams[i];
        const int count = avformat_index_get_entries_count(st);
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && count > 0) picture = true;
        for (int k = 0; k < count; ++k) {
            const AVIndexEntry* e = avformat_index_get_entry(st, k);
            if (e && e->pos + e->size > static_cast<std::int64_t>(size)) return false;
        }
    }
    return picture;
}

}  // namespace tamo::cli
