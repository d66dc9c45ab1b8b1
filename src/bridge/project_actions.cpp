// Page actions for projects: saving the page's state with the native side's, and opening it again.
#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/atomic_file.h"
#include "platform/json_depth.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "platform/save_location.h"
#include "platform/texts/app_texts.h"
#include "platform/texts/project_texts.h"
#include "project/project_document.h"
#include "speech/audio_duration.h"

namespace tamo {
namespace {

void showProjectInTitle(AppDelegate& app, const std::filesystem::path& projectFile) {
    if (app.mainWindow)
        app.mainWindow->setTitle(texts::app::kProjectWindowTitlePrefix + projectFile.filename().string());
}

void writeProject(const std::weak_ptr<AppDelegate>& weak, const std::filesystem::path& location,
                  const nlohmann::json& document) {
    Outcome<std::string> serialized = project::serializeForFile(document);
    if (!serialized) {
        logLine("❌ Save failed: " + serialized.error());
        return;
    }
    // Written beside the old file and renamed over it, so a failure never costs the previous project.
    if (auto error = replaceFileAtomically(location, *serialized)) {
        logLine("❌ Save failed: " + *error);
        return;
    }
    if (auto self = weak.lock()) {
        self->currentProjectURL = location;
        showProjectInTitle(*self, location);
        if (auto narration = project::storedPath(document, "narrationPath"))
            self->narrationsInProjects.insert(*narration);
        // The page keeps this state as its baseline for the unsaved-changes marker.
        self->evaluate(scriptcall::onProjectSaved(location.filename().string()));
    }
    logLine("💾 Project saved: " + location.string());
}

// The project's video, or the page learns why the clip it shows stays.
void restoreProjectVideo(AppDelegate& app, const nlohmann::json& document) {
    auto stored = project::storedPath(document, "videoPath");
    if (!stored) return;
    std::error_code ec;
    if (!std::filesystem::exists(*stored, ec)) {
        logLine("⚠️ Project video not found: " + stored->string());
        app.evaluate(scriptcall::onVideoError(texts::project::kVideoNotFoundPrefix + stored->string()));
        return;
    }
    app.loadVideo(*stored);  // tells the page itself when the file is no usable video
}

// The narration saved with the project becomes the current one again when its file still plays.
void restoreNarration(AppDelegate& app, const nlohmann::json& document) {
    auto stored = project::storedPath(document, "narrationPath");
    if (!stored) return;
    std::optional<double> seconds;
    if (!notRegularFileReason(*stored)) seconds = speech::decodedAudioDuration(*stored);
    if (!seconds) {
        logLine("⚠️ Project narration not found: " + stored->string());
        app.evaluate(scriptcall::onNarrationError(texts::project::kNarrationNotFoundPrefix + stored->string()));
        return;
    }
    app.narrationAudioURL = *stored;
    app.narrationsInProjects.insert(*stored);
    if (app.webView) app.webView->shareFile(*stored);  // the page may preview it
    app.evaluate(scriptcall::onNarrationReady(*seconds));
}

}  // namespace

void AppDelegate::saveProject(const nlohmann::json& params) {
    // Copying or writing a value this deep would run the stack out; it also could never be loaded.
    if (json_depth::valueTooDeep(params)) {
        logLine(std::string("❌ Save failed: ") + json_depth::kTooDeepText);
        return;
    }
    nlohmann::json document = project::documentToSave(params, currentVideoURL, storedImages, narrationAudioURL);
    // The proposal carries the extension, so the chooser's own overwrite question sees the real name.
    std::string proposed = currentProjectURL
                               ? withExtension(currentProjectURL->filename(), project::kExtension).string()
                               : texts::project::kDefaultFileName;
    ChooserOptions options{texts::project::kSaveChooserTitle, {project::kExtension}, proposed};
    std::shared_ptr<Dialogs> dialogs = services().dialogs;
    dialogs->chooseFileToSave(options, [weak = weak_from_this(), dialogs,
                                        document = std::move(document)](std::optional<std::filesystem::path> chosen) {
        settleSaveLocation(*dialogs, chosen, project::kExtension,
                           [weak, document](std::optional<std::filesystem::path> location) {
                               if (location) writeProject(weak, *location, document);
                           });
    });
}

void AppDelegate::loadProject() {
    ChooserOptions options{texts::project::kOpenChooserTitle, {project::kExtension}, {}};
    dialogs().chooseFileToOpen(options, [weak = weak_from_this()](std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        Outcome<nlohmann::json> read = project::readProjectFile(*chosen);
        if (!read) {
            logLine(read.failure().logLine);
            return;
        }
        const nlohmann::json& document = *read;
        if (auto self = weak.lock()) {
            self->currentProjectURL = *chosen;
            showProjectInTitle(*self, *chosen);
            // The video first, so the page knows its size and length when it restores its state.
            self->evaluate(scriptcall::onProjectOpened(chosen->filename().string()));
            restoreProjectVideo(*self, document);
            project::restoreImagePaths(document, self->storedImages);
            self->evaluate(scriptcall::onProjectLoaded(document));
            restoreNarration(*self, document);
        }
        logLine("📂 Project loaded: " + chosen->string());
    });
}

}  // namespace tamo
