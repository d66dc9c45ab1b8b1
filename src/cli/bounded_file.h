#pragma once
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace tamo::cli {

// Parameter, project and job-list files are small; this is far above any real one and keeps a
// device such as /dev/zero or a runaway file from eating the machine's memory.
inline constexpr std::size_t kMaxInputFileBytes = 16u * 1024 * 1024;

struct FileText {
    std::optional<std::string> text;  // empty on failure
    std::string error;                // then why, naming the file
};

// Reads a whole regular file of at most maxBytes. Anything else (a folder, a FIFO, a device, a
// longer file) is refused without reading past the limit.
FileText readBoundedFile(const std::filesystem::path& file, std::size_t maxBytes = kMaxInputFileBytes);

}  // namespace tamo::cli
