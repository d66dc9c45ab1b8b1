#pragma once
#include <filesystem>
#include <vector>

namespace tamo {

// Folders the page's web process may read local media from. The page plays the files it receives
// in callbacks (the opened video, generated clips in the temporary folder) with the web process's
// own file reader, which sees only what is mounted into its sandbox. The sandbox refuses "/" and
// the whole home folder, so the readable world is assembled from: the temporary folder, the
// top-level folders that hold user data (not the system's own), and the folders inside home.
std::vector<std::filesystem::path> sandboxReadPaths(const std::filesystem::path& root,
                                                    const std::filesystem::path& home,
                                                    const std::filesystem::path& tmp);

}  // namespace tamo
