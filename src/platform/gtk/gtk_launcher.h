#pragma once
#include "platform/launcher.h"

namespace tamo {

// The desktop's default handler through GIO (GtkFileLauncher needs GTK 4.10; GIO's call works on 4.8).
class GtkLauncher : public Launcher {
public:
    void openWithDefaultHandler(const std::filesystem::path& target) override;
};

}  // namespace tamo
