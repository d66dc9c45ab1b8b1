// The page brings back unsaved work of an earlier run together with the video it was made on.
#include <glib.h>

#include <memory>
#include <system_error>

#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

void AppDelegate::restoreVideo(const std::string& fileUrl) {
    // Only a local file that is still there: the address comes from the page's storage.
    GError* error = nullptr;
    char* hostname = nullptr;
    char* name = g_filename_from_uri(fileUrl.c_str(), &hostname, &error);
    g_clear_error(&error);
    std::unique_ptr<char, decltype(&g_free)> ownedName(name, g_free), ownedHost(hostname, g_free);
    std::error_code ec;
    if (!name || (hostname && *hostname) || !std::filesystem::is_regular_file(name, ec)) {
        logLine("❌ Video to restore not found: " + fileUrl.substr(0, 300));
        return;
    }
    loadVideo(name);
}

}  // namespace tamo
