#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

// Not built yet: logged so that a page using it sees why nothing happens.
void AppDelegate::openVideo() { logLine("⚠️ Not implemented yet: openVideo"); }

void AppDelegate::loadVideo(const std::filesystem::path&) { logLine("⚠️ Not implemented yet: loadVideo"); }

}  // namespace tamo
