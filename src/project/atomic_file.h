#pragma once
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tamo {

// Writes bytes to an open file descriptor; an error description on failure, nothing on success.
using WriteStep = std::function<std::optional<std::string>(int fd, std::string_view bytes)>;

// The ordinary write step: write(2) until every byte is out.
std::optional<std::string> writeAllBytes(int fd, std::string_view bytes);

// Replaces the file at path with bytes so that a crash, full disk or I/O error at any moment
// leaves either the old file or the new one, never a mix: the bytes go to a temporary file in the
// same folder, are flushed to disk, and the temporary file is renamed over the old one.
// On failure the old file is untouched, the temporary file is removed, and the error description
// is returned. write is a seam for tests that need a failing disk.
std::optional<std::string> replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                                 const WriteStep& write = writeAllBytes);

}  // namespace tamo
