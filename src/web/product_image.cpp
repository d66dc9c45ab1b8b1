#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

// Not built yet: logged so that a page using it sees why nothing happens.
void AppDelegate::downloadProductImage(const std::string&) { logLine("⚠️ Not implemented yet: downloadProductImage"); }

}  // namespace tamo
