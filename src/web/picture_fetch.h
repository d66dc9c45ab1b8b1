#pragma once
#include <string>

#include "media/picture_decoder.h"
#include "web/web_limits.h"

namespace tamo {

// Downloads a picture on the calling thread and decodes it. Empty on any failure: an address
// that is not http/https, a transport error or time-out, a body over the cap, bytes that are no
// picture, or a picture above the pixel limit.
DecodedPicture fetchPicture(const std::string& url, const WebLimits& limits);

}  // namespace tamo
