#include "export/transcoder.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "export/export_progress.h"
#include "export/overlay_records.h"
#include "export/overlay_renderer.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

void removeQuietly(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::remove(p, ec);
}

// The expected frame rate handed to the encoder: the source's nominal rate when it is sensible.
AVRational expectedRate(AVRational r) {
    if (r.num > 0 && r.den > 0) {
        double fps = av_q2d(r);
        if (fps >= 0.01 && fps <= 1000) return r;
    }
    return {30, 1};
}

}  // namespace

std::filesystem::path temporaryVideoPath(const std::filesystem::path& output) {
    return output.parent_path() / ("_temp_video_" + newUuidText() + ".mp4");
}

const char* transcodeErrorText(TranscodeStatus status) {
    return status == TranscodeStatus::WriterError ? "Writer hiba!" : "Reader hiba!";
}

PrepareResult prepareExport(const ExportInputs& in) {
    PrepareResult result;
    auto job = std::make_unique<PreparedExport>();
    SourceInfo info;
    job->reader = VideoReader::openSource(in.videoURL.string(), info);
    if (!job->reader || info.streamIndex < 0) {
        result.error = "Nincs videósáv!";
        return result;
    }
    job->geometry = computeGeometry(info.displayWidth, info.displayHeight, in.params.cropPreset);
    job->durationSeconds = info.durationSeconds;
    job->tempVideo = temporaryVideoPath(in.outputURL);

    if (!job->reader->start()) {
        result.error = "Reader hiba!";
        return result;
    }

    const int W = job->geometry.width, H = job->geometry.height;
    VideoWriterSettings settings;
    settings.width = W;
    settings.height = H;
    settings.bitRate = static_cast<std::int64_t>(W) * H * 4;
    settings.frameRate = expectedRate(info.frameRate);
    settings.timeBase = info.timeBase;
    settings.colorMatrix = info.colorMatrix;
    settings.colorSpace = info.colorSpace;
    settings.colorPrimaries = info.colorPrimaries;
    settings.colorTransfer = info.colorTransfer;
    job->writer = VideoWriter::open(job->tempVideo, settings);
    if (!job->writer) {
        removeQuietly(job->tempVideo);
        result.error = "Writer hiba!";
        return result;
    }

    RecordContext ctx{W, H, info.durationSeconds, in.params.previewHeight, &in.images};
    job->overlays = std::make_shared<const OverlaySet>(buildOverlaySet(in.params.textObjects, ctx));
    result.job = std::move(job);
    return result;
}

TranscodeStatus runFrameLoop(PreparedExport& job, const std::function<void(int)>& progress,
                             const std::atomic<bool>* cancel) {
    const OutputGeometry& g = job.geometry;
    OverlayRenderer renderer(job.overlays, g.width, g.height, job.durationSeconds);
    auto fail = [&](TranscodeStatus status) {
        job.writer.reset();  // closes the file before it is removed
        removeQuietly(job.tempVideo);
        return status;
    };

    BgraBuffer cropped;
    long frames = 0;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return fail(TranscodeStatus::Cancelled);
        VideoReader::Frame frame;
        VideoReader::Status status = job.reader->next(frame);
        if (status == VideoReader::Status::End) break;
        if (status == VideoReader::Status::Error) return fail(TranscodeStatus::ReaderError);

        // The crop window is copied over the whole buffer each frame, so nothing drawn into one
        // frame can reach the next.
        BgraView out = cropped.reshape(g.width, g.height);
        if (frame.picture.width < g.cropX + g.width || frame.picture.height < g.cropY + g.height) {
            // A picture smaller than announced (a size change mid-stream): what it lacks stays black.
            for (int y = 0; y < out.height; ++y)
                std::fill_n(reinterpret_cast<std::uint32_t*>(out.data + static_cast<std::size_t>(y) * out.stride),
                            out.width, 0xFF000000u);
        }
        copyCropWindow(frame.picture, out, g);
        renderer.processFrame(out, frame.seconds);
        if (!job.writer->write(out, frame.pts)) return fail(TranscodeStatus::WriterError);
        ++frames;
        if (progress) progress(transcodeProgress(frame.seconds, job.durationSeconds));
    }
    // A source that never yields a single picture did not start reading.
    if (frames == 0) return fail(TranscodeStatus::ReaderError);
    if (!job.writer->finish()) return fail(TranscodeStatus::WriterError);
    job.writer.reset();
    return TranscodeStatus::Finished;
}

}  // namespace tamo
