#pragma once
#include <cstddef>
#include <cstdint>

#include "media/picture_size.h"

namespace tamo {

// Time and size limits of the requests to arbitrary web servers. The defaults are the program's;
// tests pass shorter ones.
struct WebLimits {
    // A server that sends nothing for this long ends the request with a time-out.
    double idleTimeoutSeconds = 15;
    // A server that trickles bytes forever is stopped after this long.
    double totalTimeoutSeconds = 120;
    std::size_t maxPageBytes = 20u * 1024 * 1024;
    std::size_t maxPictureBytes = 50u * 1024 * 1024;
    std::uint64_t maxPicturePixels = static_cast<std::uint64_t>(kMaxPicturePixels);  // background pictures
};

}  // namespace tamo
