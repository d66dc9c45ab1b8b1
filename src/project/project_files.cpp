#include "bridge/app_delegate.h"
#include "platform/log.h"

namespace tamo {

// Not built yet: logged so that a page using it sees why nothing happens.
void AppDelegate::saveProject(const nlohmann::json&) { logLine("⚠️ Not implemented yet: saveProject"); }

void AppDelegate::loadProject() { logLine("⚠️ Not implemented yet: loadProject"); }

}  // namespace tamo
