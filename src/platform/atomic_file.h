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

// Nothing when path is a regular file or does not exist yet; otherwise why it must not be replaced.
// A device, pipe, socket or folder at the chosen path is left as it is: renaming a file over it
// would turn /dev/null or someone's pipe into a plain file.
std::optional<std::string> refuseUnlessReplaceable(const std::filesystem::path& path);

// Removes the file if it is there; whether it was is nobody's concern (temporary files on every
// way out of a piece of work).
void removeQuietly(const std::filesystem::path& path);

// Renames a finished file over target, only where refuseUnlessReplaceable allows it.
std::optional<std::string> renameOverRegularFile(const std::filesystem::path& finished,
                                                 const std::filesystem::path& target);

// The hidden temporary name written beside target before the rename; it never grows past the
// file system's name limit, however long the target's name is.
std::filesystem::path temporarySibling(const std::filesystem::path& target, const std::string& uniquePart);

// Replaces the file at path with bytes so that a crash, full disk or I/O error at any moment
// leaves either the old file or the new one, never a mix: the bytes go to a temporary file in the
// same folder, are flushed to disk, and the temporary file is renamed over the old one.
// Only a regular file or a missing path is replaced (see refuseUnlessReplaceable).
// On failure the old file is untouched, the temporary file is removed, and the error description
// is returned. write is a seam for tests that need a failing disk.
std::optional<std::string> replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                                 const WriteStep& write = writeAllBytes);

}  // namespace tamo
