#include "media/picture_size.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <system_error>

namespace tamo {

bool pictureSizeAllowed(long long width, long long height, std::uint64_t maxPixels) {
    if (width <= 0 || height <= 0) return false;
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= maxPixels;
}

bool pictureFileSizeAllowed(const std::filesystem::path& file) {
    std::error_code ec;
    // A pipe or device could block for ever.
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    int width = 0, height = 0;
    if (!gdk_pixbuf_get_file_info(file.c_str(), &width, &height)) return false;
    return pictureSizeAllowed(width, height);
}

}  // namespace tamo
