#include "platform/regular_file.h"

#include <system_error>

namespace tamo {

std::optional<std::string> notRegularFileReason(const std::filesystem::path& path) {
    if (path.empty()) return "no file given";
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return "not found";
    if (ec) return ec.message();
    if (std::filesystem::is_directory(status)) return "a folder";
    if (!std::filesystem::is_regular_file(status)) return "not a regular file";
    return std::nullopt;
}

}  // namespace tamo
