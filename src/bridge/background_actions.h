#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "background/background_generator.h"

namespace tamo {

class AppDelegate;

// generateBackgroundVideo with explicit options: refuses an impossible size or length at once,
// otherwise makes the clip on a worker thread and answers the page on the main thread, where the
// clip becomes the current video.
void startBackgroundVideo(AppDelegate& app, std::int64_t width, std::int64_t height, double duration,
                          const std::string& colorHex, const std::optional<std::string>& imageURL,
                          const BackgroundOptions& options);

}  // namespace tamo
