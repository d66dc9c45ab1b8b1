#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "export/export_job.h"
#include "export/export_params.h"

namespace tamo {

void AppDelegate::exportVideo(const nlohmann::json& params) {
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
    dialogs().chooseFileToSave(options, [weak, source, request](std::optional<std::filesystem::path> chosen) {
        if (!chosen || chosen->empty()) return;
        if (auto self = weak.lock()) performExport(*self, source, *chosen, request);
    });
}

}  // namespace tamo
