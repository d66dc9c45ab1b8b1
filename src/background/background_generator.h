#pragma once
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "background/background_plan.h"
#include "web/web_limits.h"

namespace tamo {

class AppDelegate;

struct BackgroundOptions {
    WebLimits limits;                // for the picture download
    std::filesystem::path directory; // where clips are written; empty: the user's media folder
};

struct BackgroundOutcome {
    std::filesystem::path file;       // the written clip, when error is empty
    std::optional<std::string> error; // the page's error text
};

// The whole blocking job of one clip on the calling thread: optional picture, frame, encoding,
// log lines. The plan must come from planBackground.
BackgroundOutcome makeBackgroundClip(const BackgroundPlan& plan, const std::optional<std::string>& imageURL,
                                     const BackgroundOptions& options);

// generateBackgroundVideo with explicit options: refuses an impossible size or length at once,
// otherwise runs the job on a worker thread and answers the page on the main thread.
void startBackgroundVideo(AppDelegate& app, std::int64_t width, std::int64_t height, double duration,
                          const std::string& colorHex, const std::optional<std::string>& imageURL,
                          const BackgroundOptions& options);

}  // namespace tamo
