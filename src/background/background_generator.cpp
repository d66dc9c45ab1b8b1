#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

// Not built yet: logged so that a page using it sees why nothing happens.
void AppDelegate::generateBackgroundVideo(std::int64_t, std::int64_t, double, const std::string&, const std::optional<std::string>&) { logLine("⚠️ Not implemented yet: generateBackgroundVideo"); }

}  // namespace tamo
