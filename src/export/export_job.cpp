#include "export/export_job.h"
#include "platform/work_gate.h"

#include <pthread.h>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "export/audio_merge.h"
#include "export/export_faults.h"
#include "export/transcoder.h"
#include "platform/log.h"

namespace tamo {
namespace {

// The page's text when the export thread cannot start or stops on an exception (no memory):
// the temporary file could not be written.
constexpr const char* kExportThreadFailedText = "Writer hiba!";
constexpr const char* kMergeSessionText = "Export session hiba!";

void nameThisThread(const std::string& label) {
    // Thread names hold 15 characters: keep the end of the label ("…deoexport.video").
    std::string tail = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(pthread_self(), tail.c_str());
}

// Deletes the temporary video unless the merge took it over: a hand-over that never runs (the
// application object is gone) or an export thread that stops on an exception leaves no file behind.
struct TempVideo {
    std::filesystem::path path;
    bool handedOver = false;
    ~TempVideo() {
        if (handedOver || path.empty()) return;
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

// The export thread's work: every outcome ends in exactly one final page call or the hand-over.
void runExport(const ExportInputs& inputs, const std::weak_ptr<AppDelegate>& weak, const WorkToken& token,
               const std::atomic<bool>& cancel) {
    auto post = [&](std::string call) { AppDelegate::evaluateOnMain(weak, std::move(call), token); };
    auto temp = std::make_shared<TempVideo>();  // built in place: a moved-from copy would delete the file
    try {
        PrepareResult prepared = prepareExport(inputs);
        if (!prepared.job) {
            post(scriptcall::onExportError(prepared.error));
            return;
        }
        temp->path = prepared.job->tempVideo;
        post(scriptcall::onExportProgress(0));
        exportfault::pass(exportfault::Point::ExportThread);
        TranscodeStatus status =
            runFrameLoop(*prepared.job, [&](int percent) { post(scriptcall::onExportProgress(percent)); }, &cancel);
        // The source's sound is placed against its picture's first frame, as the frames were.
        const double origin = prepared.job->originSeconds;
        prepared.job.reset();
        if (status == TranscodeStatus::Cancelled) {
            post(scriptcall::onExportCancelled());
            return;
        }
        if (status != TranscodeStatus::Finished) {
            post(scriptcall::onExportError(transcodeErrorText(status)));
            return;
        }
        AppDelegate::onMain(weak, [temp, token, source = inputs.videoURL, output = inputs.outputURL, origin](AppDelegate& a) {
            temp->handedOver = true;
            mergeVideoAndAudio(a, temp->path, source, output, origin);
        });
    } catch (...) {
        // No memory (or anything else a library throws): the job ends, its file goes with it.
        try {
            post(scriptcall::onExportError(kExportThreadFailedText));
        } catch (...) {  // not even the error can be sent
        }
    }
}

}  // namespace

void performExport(AppDelegate& app, const std::filesystem::path& videoURL, const std::filesystem::path& outputURL,
                   const ExportParams& params) {
    // FFmpeg's own notices (encoder settings, demuxer warnings) stay out of the program's output.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    ExportInputs inputs{videoURL, outputURL, params, app.storedImages};
    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    WorkToken token = app.beginWork();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    app.exportCancelFlag = cancel;
    try {
        exportfault::pass(exportfault::Point::ExportThreadStart);
        std::thread([inputs = std::move(inputs), weak, token, cancel]() {
            nameThisThread(kExportQueueLabel);
            auto turn = workGate(WorkKind::Export).enter();  // exports past the bound wait their turn
            runExport(inputs, weak, token, *cancel);
        }).detach();
    } catch (const std::exception&) {  // no thread to be had (std::system_error) or no memory for one
        app.evaluate(scriptcall::onExportError(kExportThreadFailedText));
    }
}

void mergeVideoAndAudio(AppDelegate& app, const std::filesystem::path& videoURL,
                        const std::filesystem::path& originalAssetURL, const std::filesystem::path& outputURL,
                        double originSeconds) {
    auto removeTemp = [videoURL] {
        std::error_code ec;
        std::filesystem::remove(videoURL, ec);
    };
    try {
        MergeResult early;
        std::shared_ptr<AudioMerge> merge =
            AudioMerge::open(videoURL, originalAssetURL, app.narrationAudioURL, outputURL, early, originSeconds);
        if (!merge) {
            switch (early.status) {
            case MergeResult::Status::VideoTrackError:
                app.evaluate(scriptcall::onExportError("Videó track hiba: " + early.description));
                break;
            case MergeResult::Status::SessionError: app.evaluate(scriptcall::onExportError(kMergeSessionText)); break;
            default: app.evaluate(scriptcall::onExportError("Nem sikerült a videó összefűzés!")); break;
            }
            removeTemp();
            return;
        }

        std::weak_ptr<AppDelegate> weak = app.weak_from_this();
        auto queue = app.services().mainQueue;
        WorkToken token = app.beginWork();
        exportfault::pass(exportfault::Point::MergeThreadStart);
        // Started before the 95 goes out: its outcome reaches the page through the main queue,
        // so after the 95 in any case.
        std::thread([merge, weak, queue, token, removeTemp, outputURL] {
            nameThisThread("videoexport.mux");
            auto turn = workGate(WorkKind::Merge).enter();
            MergeResult result = merge->run();  // does not throw
            removeTemp();
            try {
                // The log line is written even when the application object is gone.
                queue->post([result, weak, token, outputURL] {
                    auto app = weak.lock();
                    switch (result.status) {
                    case MergeResult::Status::Completed:
                        if (app) {
                            app->lastExportURL = outputURL;
                            app->evaluate(scriptcall::onExportComplete());
                        }
                        logLine("✅ Export complete: " + outputURL.string());
                        break;
                    case MergeResult::Status::NoVideoTrack:
                        if (app) app->evaluate(scriptcall::onExportError("Nem sikerült a videó összefűzés!"));
                        break;
                    case MergeResult::Status::VideoTrackError:
                        if (app) app->evaluate(scriptcall::onExportError("Videó track hiba: " + result.description));
                        break;
                    case MergeResult::Status::SessionError:
                        if (app) app->evaluate(scriptcall::onExportError(kMergeSessionText));
                        break;
                    case MergeResult::Status::Failed: {
                        std::string text = result.description.empty() ? "Ismeretlen hiba" : result.description;
                        if (app) app->evaluate(scriptcall::onExportError(text));
                        logLine("❌ Export failed: " + text);
                        break;
                    }
                    }
                });
            } catch (...) {  // no memory left even for the answer
            }
        }).detach();
    } catch (const std::exception&) {
        // The writing could not be started (no thread, no memory): the session never ran.
        app.evaluate(scriptcall::onExportError(kMergeSessionText));
        removeTemp();
        return;
    }
    app.evaluate(scriptcall::onExportProgress(95));
}

}  // namespace tamo
