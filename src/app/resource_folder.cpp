#include "app/resource_folder.h"

#include <system_error>

namespace tamo {

namespace fs = std::filesystem;

std::optional<fs::path> resourceFolder(const fs::path& executableDir) {
    std::error_code ec;
    fs::path beside = executableDir / "resources";
    if (fs::is_regular_file(beside / "editor.html", ec)) return beside;
    fs::path installed = (executableDir / ".." / "share" / "tamovid").lexically_normal();
    if (fs::is_directory(installed, ec)) return installed;
    return std::nullopt;
}

fs::path editorPagePath(const std::optional<fs::path>& resources, const fs::path& workingDirectory,
                        const std::optional<fs::path>& overrideFolder) {
    fs::path base = overrideFolder ? *overrideFolder : resources ? *resources : fs::path("Resources");
    if (base.is_relative()) base = workingDirectory / base;
    return (base / "editor.html").lexically_normal();
}

std::optional<fs::path> executableDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return std::nullopt;
    return exe.parent_path();
}

}  // namespace tamo
