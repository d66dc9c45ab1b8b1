#include "export/export_job.h"
#include "platform/work_gate.h"

#include <pthread.h>

extern "C" {
#include <libavutil/log.h>
}

#include <mutex>

#include <string>
#include <system_error>
#include <thread>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "export/audio_merge.h"
#include "export/transcoder.h"
#include "platform/log.h"

namespace tamo {
namespace {

void nameThisThread(const std::string& label) {
    // Thread names hold 15 characters: keep the end of the label ("…deoexport.video").
    std::string tail = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(pthread_self(), tail.c_str());
}

// Deletes the temporary video unless the merge took it over: a hand-over that never runs (the
// application object is gone) leaves no file behind.
struct TempVideo {
    std::filesystem::path path;
    bool handedOver = false;
    ~TempVideo() {
        if (handedOver) return;
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

}  // namespace

void performExport(AppDelegate& app, const std::filesystem::path& videoURL, const std::filesystem::path& outputURL,
                   const ExportParams& params) {
    // FFmpeg's own notices (encoder settings, demuxer warnings) stay out of the program's output.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    ExportInputs inputs{videoURL, outputURL, params, app.storedImages};
    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    WorkToken token = app.beginWork();
    std::thread([inputs = std::move(inputs), weak, token]() mutable {
        nameThisThread(kExportQueueLabel);
        auto turn = workGate(WorkKind::Export).enter();  // exports past the bound wait their turn
        auto post = [&](std::string call) {
            AppDelegate::evaluateOnMain(weak, std::move(call), token);
        };
        PrepareResult prepared = prepareExport(inputs);
        if (!prepared.job) {
            post(scriptcall::onExportError(prepared.error));
            return;
        }
        post(scriptcall::onExportProgress(0));
        TranscodeStatus status =
            runFrameLoop(*prepared.job, [&](int percent) { post(scriptcall::onExportProgress(percent)); });
        auto temp = std::make_shared<TempVideo>();  // built in place: a moved-from copy would delete the file
        temp->path = prepared.job->tempVideo;
        prepared.job.reset();
        if (status != TranscodeStatus::Finished) {
            post(scriptcall::onExportError(transcodeErrorText(status)));
            return;
        }
        AppDelegate::onMain(weak, [temp, token, source = inputs.videoURL, output = inputs.outputURL](AppDelegate& a) {
            temp->handedOver = true;
            mergeVideoAndAudio(a, temp->path, source, output);
        });
    }).detach();
}

void mergeVideoAndAudio(AppDelegate& app, const std::filesystem::path& videoURL,
                        const std::filesystem::path& originalAssetURL, const std::filesystem::path& outputURL) {
    auto removeTemp = [videoURL] {
        std::error_code ec;
        std::filesystem::remove(videoURL, ec);
    };
    MergeResult early;
    std::shared_ptr<AudioMerge> merge =
        AudioMerge::open(videoURL, originalAssetURL, app.narrationAudioURL, outputURL, early);
    if (!merge) {
        app.evaluate(scriptcall::onExportError("Nem sikerült a videó összefűzés!"));
        removeTemp();
        return;
    }
    app.evaluate(scriptcall::onExportProgress(95));

    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    auto queue = app.services().mainQueue;
    WorkToken token = app.beginWork();
    std::thread([merge, weak, queue, token, removeTemp, outputURL] {
        nameThisThread("videoexport.mux");
        auto turn = workGate(WorkKind::Merge).enter();
        MergeResult result = merge->run();
        removeTemp();
        // The log line is written even when the application object is gone.
        queue->post([result, weak, token, outputURL] {
            auto app = weak.lock();
            switch (result.status) {
            case MergeResult::Status::Completed:
                if (app) app->evaluate(scriptcall::onExportComplete());
                logLine("✅ Export complete: " + outputURL.string());
                break;
            case MergeResult::Status::NoVideoTrack:
                if (app) app->evaluate(scriptcall::onExportError("Nem sikerült a videó összefűzés!"));
                break;
            case MergeResult::Status::VideoTrackError:
                if (app) app->evaluate(scriptcall::onExportError("Videó track hiba: " + result.description));
                break;
            case MergeResult::Status::Failed: {
                std::string text = result.description.empty() ? "Ismeretlen hiba" : result.description;
                if (app) app->evaluate(scriptcall::onExportError(text));
                logLine("❌ Export failed: " + text);
                break;
            }
            }
        });
    }).detach();
}

}  // namespace tamo
