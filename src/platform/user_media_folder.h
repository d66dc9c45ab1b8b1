#pragma once
#include <filesystem>

namespace tamo {

// Where generated and downloaded media that a project may refer to are kept:
// $XDG_DATA_HOME/tamovid/media (GLib's user data folder). Unlike the temporary folder it survives
// a reboot. Created on demand (owner-only); when it cannot be created the path is still returned
// and the write that follows reports the failure as that operation's error.
std::filesystem::path userMediaFolder();

}  // namespace tamo
