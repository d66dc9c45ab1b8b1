#pragma once
#include <string>

#include "media/picture_decoder.h"
#include "platform/cancel_flag.h"
#include "web/web_limits.h"

namespace tamo {

// Downloads a picture on the calling thread and decodes it. Empty on any failure: an address
// that is not http/https, a transport error or time-out, a body over the cap, bytes that are no
// picture, a picture above the pixel limit, or a raised cancel flag (the download stops within
// about a second).
DecodedPicture fetchPicture(const std::string& url, const WebLimits& limits, const CancelFlag& cancel = CancelFlag());

}  // namespace tamo
