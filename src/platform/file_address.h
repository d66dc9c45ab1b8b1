#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace tamo {

// "file:///…" for an absolute path, percent-encoded as the page's media elements need it; nothing
// when GLib cannot express the path.
std::optional<std::string> fileAddress(const std::filesystem::path& absolute);

}  // namespace tamo
