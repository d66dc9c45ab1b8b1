#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

void AppDelegate::cancelExport() {
    // The frame loop sees the flag before its next frame and removes the temporary video itself;
    // the chosen output is not touched before the merge, so an earlier file there stays as it was.
    if (exportCancelFlag) exportCancelFlag->store(true);
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
