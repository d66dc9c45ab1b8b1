#pragma once
#include <filesystem>
#include <memory>

namespace tamo {

// Hands a file or folder to the desktop's default handler (a player for a video, the file manager
// for a folder). Returns at once; failures are logged by the implementation.
class Launcher {
public:
    virtual ~Launcher() = default;
    virtual void openWithDefaultHandler(const std::filesystem::path& target) = 0;
};

// Without a desktop (headless runs, tests): only a log line says what would have been opened.
class LoggingLauncher : public Launcher {
public:
    void openWithDefaultHandler(const std::filesystem::path& target) override;
};

std::shared_ptr<Launcher> makeLoggingLauncher();

}  // namespace tamo
