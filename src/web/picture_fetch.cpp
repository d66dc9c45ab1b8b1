#include "web/picture_fetch.h"

#include "web/web_address.h"
#include "web/web_get.h"

namespace tamo {

DecodedPicture fetchPicture(const std::string& url, const WebLimits& limits, const CancelFlag& cancel) {
    if (!isWebAddress(url)) return {};
    Outcome<std::string> body = webGet(url, {}, limits.maxPictureBytes, limits, {}, cancel);
    if (!body) return {};
    return decodePictureBytes(*body, limits.maxPicturePixels);
}

}  // namespace tamo
