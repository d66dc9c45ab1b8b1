#include "media/picture_size.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <fstream>
#include <system_error>

namespace tamo {

bool pictureSizeAllowed(long long width, long long height, std::uint64_t maxPixels) {
    if (width <= 0 || height <= 0) return false;
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= maxPixels;
}

bool pictureHeaderPlausible(std::string_view head, std::uint64_t totalBytes) {
    if (head.size() >= 14 && head[0] == 'B' && head[1] == 'M') {
        std::uint64_t dataOffset = 0;
        for (int i = 13; i >= 10; --i) dataOffset = (dataOffset << 8) | static_cast<unsigned char>(head[i]);
        if (dataOffset > totalBytes) return false;
    }
    return true;
}

bool pictureFileSizeAllowed(const std::filesystem::path& file) {
    std::error_code ec;
    // A pipe or device could block for ever.
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    const auto totalBytes = std::filesystem::file_size(file, ec);
    if (ec) return false;
    char head[16] = {};
    std::ifstream in(file, std::ios::binary);
    in.read(head, sizeof head);
    if (!pictureHeaderPlausible(std::string_view(head, static_cast<std::size_t>(in.gcount())), totalBytes)) return false;
    int width = 0, height = 0;
    if (!gdk_pixbuf_get_file_info(file.c_str(), &width, &height)) return false;
    return pictureSizeAllowed(width, height);
}

}  // namespace tamo
