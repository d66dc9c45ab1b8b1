#include "app/sandbox_paths.h"

#include <algorithm>
#include <set>
#include <string>
#include <system_error>

namespace tamo {

namespace fs = std::filesystem;

namespace {

// The system's own folders: either mounted by the sandbox already, refused by it, or nothing a
// page has to read.
const std::set<std::string>& systemFolders() {
    static const std::set<std::string> names = {"bin",   "boot",   "dev",        "etc",  "home", "lib", "lib32",
                                                "lib64", "libx32", "lost+found", "proc", "root", "run", "sbin",
                                                "sys",   "tmp",    "usr",        "var",  "snap"};
    return names;
}

bool isDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

void addChildren(const fs::path& dir, bool skipHidden, const std::set<std::string>& skip, std::vector<fs::path>& out) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (skipHidden && !name.empty() && name[0] == '.') continue;
        if (skip.count(name)) continue;
        if (isDirectory(it->path())) out.push_back(it->path());
    }
}

}  // namespace

std::vector<fs::path> sandboxReadPaths(const fs::path& root, const fs::path& home, const fs::path& tmp) {
    std::vector<fs::path> out;
    if (!tmp.empty() && isDirectory(tmp) && tmp.lexically_normal() != root.lexically_normal()) out.push_back(tmp);
    addChildren(root, /*skipHidden=*/true, systemFolders(), out);
    if (isDirectory(root / "run" / "media")) out.push_back(root / "run" / "media");
    // Home itself is refused, its folders are not; hidden ones hold settings and keys, not media.
    if (!home.empty() && home.lexically_normal() != root.lexically_normal()) addChildren(home, true, {}, out);

    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

}  // namespace tamo
