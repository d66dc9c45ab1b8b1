#include "bridge/app_delegate.h"
#include "bridge/json_depth.h"
#include "bridge/script_calls.h"
#include "export/export_job.h"
#include "export/export_params.h"
#include "platform/save_location.h"
#include "project/atomic_file.h"

namespace tamo {

void AppDelegate::exportVideo(const nlohmann::json& params) {
    // Copying a value this deep would run the stack out.
    if (json_depth::valueTooDeep(params)) {
        evaluate(scriptcall::onExportError("Hibás exportálási adatok: túl mély egymásba ágyazás!"));
        return;
    }
    if (!currentVideoURL) {
        evaluate(scriptcall::onExportError("Nincs videó betöltve!"));
        return;
    }
    ExportParams request = readExportParams(params);
    ChooserOptions options;
    options.extensions = {"mp4"};
    options.suggestedName = currentVideoURL->stem().string() + "_text.mp4";
    options.title = "Videó exportálása";
    const std::filesystem::path source = *currentVideoURL;
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    std::shared_ptr<Dialogs> dialogs = services().dialogs;
    dialogs->chooseFileToSave(options, [weak, dialogs, source, request](std::optional<std::filesystem::path> chosen) {
        // A name typed without ".mp4" gets it; an existing file under that name is replaced only on a yes.
        settleSaveLocation(*dialogs, chosen, "mp4", [weak, source, request](std::optional<std::filesystem::path> output) {
            if (!output || output->empty()) return;
            auto self = weak.lock();
            if (!self) return;
            // A device, pipe or folder at the chosen path is never replaced; say so before the work.
            if (refuseUnlessReplaceable(*output)) {
                self->evaluate(scriptcall::onExportError("A választott helyen nem közönséges fájl van!"));
                return;
            }
            performExport(*self, source, *output, request);
        });
    });
}

}  // namespace tamo
