// Page actions of the export: choosing where it goes, running it in the background, cancelling
// it, and opening what it wrote.
extern "C" {
#include <libavutil/log.h>
}

#include <mutex>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "export/export_faults.h"
#include "export/export_params.h"
#include "export/export_run.h"
#include "platform/atomic_file.h"
#include "platform/json_depth.h"
#include "platform/log.h"
#include "platform/save_location.h"
#include "platform/texts/export_texts.h"
#include "platform/texts/video_texts.h"

namespace tamo {
namespace {

// The page's text when the export cannot start or stops on an exception (no memory): the
// temporary file could not be written.
constexpr const char* kExportThreadFailedText = texts::exporting::kWriterError;

// Runs the export on a worker; every outcome ends in exactly one final page call.
void startExport(AppDelegate& app, const std::filesystem::path& videoURL, const std::filesystem::path& outputURL,
                 const ExportParams& params) {
    // FFmpeg's own notices (encoder settings, demuxer warnings) stay out of the program's output.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    ExportInputs inputs{videoURL, outputURL, params, app.storedImages};
    std::optional<std::filesystem::path> narration = app.narrationAudioURL;
    CancelFlag cancel;
    app.exportCancelFlag = cancel;
    auto task = [inputs = std::move(inputs), narration, weak = app.weak_from_this(),
                 token = app.beginWork()](const CancelFlag& cancel) {
        auto post = [&](std::string call) { AppDelegate::evaluateOnMain(weak, std::move(call), token); };
        Outcome<> result = fail(kExportThreadFailedText);
        try {
            result = runExport(
                inputs, narration, [&](int percent) { post(scriptcall::onExportProgress(percent)); }, &cancel.atomic());
        } catch (...) {  // no memory (or anything else a library throws): the run's files are gone already
        }
        try {
            if (result.cancelled()) {
                post(scriptcall::onExportCancelled());
            } else if (!result) {
                post(scriptcall::onExportError(result.error()));
                if (!result.failure().logLine.empty()) logLine(result.failure().logLine);
            } else {
                AppDelegate::onMain(weak, [output = inputs.outputURL, token](AppDelegate& self) {
                    self.lastExportURL = output;
                    self.evaluate(scriptcall::onExportComplete());
                });
                logLine("✅ Export complete: " + inputs.outputURL.string());
            }
        } catch (...) {  // not even the answer can be sent
        }
    };
    bool started = false;
    try {
        exportfault::pass(exportfault::Point::ExportThreadStart);
        started = app.services().work->start(kExportQueueLabel, WorkKind::Export, std::move(task), cancel);
    } catch (const std::exception&) {  // no memory to set the work up
    }
    if (!started) app.evaluate(scriptcall::onExportError(kExportThreadFailedText));
}

}  // namespace

void AppDelegate::exportVideo(const nlohmann::json& params) {
    // Copying a value this deep would run the stack out.
    if (json_depth::valueTooDeep(params)) {
        evaluate(scriptcall::onExportError(texts::exporting::kParamsTooDeep));
        return;
    }
    if (!currentVideoURL) {
        evaluate(scriptcall::onExportError(texts::video::kNoVideoLoaded));
        return;
    }
    ExportParams request = readExportParams(params);
    ChooserOptions options;
    options.extensions = {"mp4"};
    options.suggestedName = currentVideoURL->stem().string() + "_text.mp4";
    options.title = texts::exporting::kChooserTitle;
    const std::filesystem::path source = *currentVideoURL;
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    std::shared_ptr<Dialogs> dialogs = services().dialogs;
    dialogs->chooseFileToSave(options, [weak, dialogs, source, request](std::optional<std::filesystem::path> chosen) {
        // A name typed without ".mp4" gets it; an existing file under that name is replaced only on a yes.
        settleSaveLocation(*dialogs, chosen, "mp4",
                           [weak, source, request](std::optional<std::filesystem::path> output) {
                               if (!output || output->empty()) return;
                               auto self = weak.lock();
                               if (!self) return;
                               // A device, pipe or folder at the chosen path is never replaced; say so before the work.
                               if (refuseUnlessReplaceable(*output)) {
                                   self->evaluate(scriptcall::onExportError(texts::exporting::kNotReplaceable));
                                   return;
                               }
                               startExport(*self, source, *output, request);
                           });
    });
}

void AppDelegate::cancelExport() {
    // The run sees the flag before its next frame or packet and removes its temporary files; the
    // chosen output is replaced only by a complete file, so an earlier file there stays as it was.
    if (exportCancelFlag) exportCancelFlag->raise();
}

void AppDelegate::openExportResult(const std::string& target) {
    if (!lastExportURL) return;
    std::error_code ec;
    if (target == "folder") {
        auto folder = lastExportURL->parent_path();
        if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return;
        launcher().openWithDefaultHandler(folder);
    } else if (target == "video") {
        // The file may have been moved or deleted since; nothing is opened then.
        if (!std::filesystem::is_regular_file(*lastExportURL, ec)) {
            logLine("⚠️ The exported video is no longer there: " + lastExportURL->string());
            return;
        }
        launcher().openWithDefaultHandler(*lastExportURL);
    }
}

}  // namespace tamo
