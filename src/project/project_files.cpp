#include <algorithm>
#include <cctype>

#include "bridge/app_delegate.h"
#include "bridge/json_depth.h"
#include "bridge/script_calls.h"
#include "platform/log.h"
#include "project/atomic_file.h"
#include "project/project_document.h"

namespace tamo {
namespace {

void showProjectInTitle(AppDelegate& app, const std::filesystem::path& projectFile) {
    if (app.mainWindow) app.mainWindow->setTitle("Tamo Video Editor \u2014 " + projectFile.filename().string());
}

// A name typed without the extension gets it, as the chooser's file type promises.
std::filesystem::path withProjectExtension(std::filesystem::path path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (extension != std::string(".") + project::kExtension && path.has_filename())
        path += std::string(".") + project::kExtension;
    return path;
}

}  // namespace

void AppDelegate::saveProject(const nlohmann::json& params) {
    // Copying or writing a value this deep would run the stack out; it also could never be loaded.
    if (json_depth::valueTooDeep(params)) {
        logLine(std::string("❌ Save failed: ") + json_depth::kTooDeepText);
        return;
    }
    nlohmann::json document = project::documentToSave(params, currentVideoURL, storedImages);
    std::string proposed = currentProjectURL ? currentProjectURL->filename().string() : project::kDefaultFileName;
    ChooserOptions options{"Projekt mentése", {project::kExtension}, proposed};
    dialogs().chooseFileToSave(options, [weak = weak_from_this(), document = std::move(document)](
                                            std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        std::filesystem::path location = withProjectExtension(*chosen);
        project::Serialized serialized = project::serializeForFile(document);
        if (!serialized.text) {
            logLine("❌ Save failed: " + serialized.error);
            return;
        }
        // Written beside the old file and renamed over it, so a failure never costs the previous project.
        if (auto error = replaceFileAtomically(location, *serialized.text)) {
            logLine("❌ Save failed: " + *error);
            return;
        }
        if (auto self = weak.lock()) {
            self->currentProjectURL = location;
            showProjectInTitle(*self, location);
        }
        logLine("💾 Project saved: " + location.string());
    });
}

void AppDelegate::loadProject() {
    ChooserOptions options{"Projekt megnyitása", {project::kExtension}, {}};
    dialogs().chooseFileToOpen(options, [weak = weak_from_this()](std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        project::ReadResult result = project::readProjectFile(*chosen);
        if (const auto* failed = std::get_if<project::LoadFailed>(&result)) {
            logLine("❌ Load failed: " + failed->description);
            return;
        }
        if (std::holds_alternative<project::NotAnObject>(result)) {
            logLine("❌ Invalid project file");
            return;
        }
        const nlohmann::json& document = std::get<nlohmann::json>(result);
        if (auto self = weak.lock()) {
            self->currentProjectURL = *chosen;
            showProjectInTitle(*self, *chosen);
            // The video first, so the page knows its size and length when it restores its state.
            if (auto video = project::existingVideoPath(document)) self->loadVideo(*video);
            project::restoreImagePaths(document, self->storedImages);
            self->evaluate(scriptcall::onProjectLoaded(document));
        }
        logLine("📂 Project loaded: " + chosen->string());
    });
}

}  // namespace tamo
