#include "platform/launcher.h"
#include "platform/log.h"

namespace tamo {

void LoggingLauncher::openWithDefaultHandler(const std::filesystem::path& target) {
    logLine("🖥️ Open with the default handler: " + target.string());
}

std::shared_ptr<Launcher> makeLoggingLauncher() { return std::make_shared<LoggingLauncher>(); }

}  // namespace tamo
