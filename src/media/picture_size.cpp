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
    auto little32 = [&head](std::size_t at) {
        std::uint64_t value = 0;
        for (std::size_t i = at + 4; i-- > at;) value = (value << 8) | static_cast<unsigned char>(head[i]);
        return value;
    };
    if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M') {
        // The loader sizes its buffer from the pixel data's offset and from the info header's length.
        if (head.size() >= 14 && little32(10) > totalBytes) return false;
        if (head.size() >= 18 && 14 + little32(14) > totalBytes) return false;
        // Its colour table: four bytes per colour the header says it uses.
        if (head.size() >= 50 && little32(14) >= 40 && 4 * little32(46) > totalBytes) return false;
    }
    return true;
}

std::optional<std::pair<int, int>> pictureFileHeaderSize(const std::filesystem::path& file) {
    std::error_code ec;
    // A pipe or device could block for ever.
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    const auto totalBytes = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    char head[64] = {};
    std::ifstream in(file, std::ios::binary);
    in.read(head, sizeof head);
    if (!pictureHeaderPlausible(std::string_view(head, static_cast<std::size_t>(in.gcount())), totalBytes))
        return std::nullopt;
    int width = 0, height = 0;
    if (!gdk_pixbuf_get_file_info(file.c_str(), &width, &height)) return std::nullopt;
    return std::make_pair(width, height);
}

bool pictureFileSizeAllowed(const std::filesystem::path& file) {
    auto size = pictureFileHeaderSize(file);
    return size && pictureSizeAllowed(size->first, size->second);
}

}  // namespace tamo
