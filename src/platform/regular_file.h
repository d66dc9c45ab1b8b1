#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace tamo {

// Why a path cannot be used as a media file, or nothing when it names a regular file (symbolic
// links are followed). Opening a FIFO or a device for reading can block for ever and a folder is
// no media, so this check comes before any open. The reason is a short English description for
// log lines ("not found", "a folder", "not a regular file").
std::optional<std::string> notRegularFileReason(const std::filesystem::path& path);

}  // namespace tamo
