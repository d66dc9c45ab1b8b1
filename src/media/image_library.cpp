#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

// Not built yet: logged so that a page using it sees why nothing happens.
void AppDelegate::pickImage() { logLine("⚠️ Not implemented yet: pickImage"); }

void AppDelegate::reloadImage(const std::string&) { logLine("⚠️ Not implemented yet: reloadImage"); }

}  // namespace tamo
