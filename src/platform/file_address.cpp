#include "platform/file_address.h"

#include <glib.h>

#include <memory>

namespace tamo {

std::optional<std::string> fileAddress(const std::filesystem::path& absolute) {
    gchar* uri = g_filename_to_uri(absolute.c_str(), nullptr, nullptr);
    if (!uri) return std::nullopt;
    std::unique_ptr<gchar, decltype(&g_free)> owned(uri, &g_free);
    return std::string(uri);
}

}  // namespace tamo
