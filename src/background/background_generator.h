#pragma once
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "background/background_plan.h"
#include "platform/cancel_flag.h"
#include "platform/outcome.h"
#include "web/web_limits.h"

namespace tamo {

struct BackgroundOptions {
    WebLimits limits;                 // for the picture download
    std::filesystem::path directory;  // where clips are written; empty: the user's media folder
};

// The whole blocking job of one clip on the calling thread: optional picture, frame, encoding,
// log lines. The written clip, or the page's error text. The plan must come from planBackground.
Outcome<std::filesystem::path> makeBackgroundClip(const BackgroundPlan& plan,
                                                  const std::optional<std::string>& imageURL,
                                                  const BackgroundOptions& options,
                                                  const CancelFlag& cancel = CancelFlag());

}  // namespace tamo
