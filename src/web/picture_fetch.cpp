#include "web/picture_fetch.h"

#include "platform/http.h"
#include "web/web_address.h"

namespace tamo {

DecodedPicture fetchPicture(const std::string& url, const WebLimits& limits, const CancelFlag& cancel) {
    if (!isWebAddress(url)) return {};
    HttpRequest request;
    request.url = url;
    request.idleTimeoutSeconds = limits.idleTimeoutSeconds;
    request.totalTimeoutSeconds = limits.totalTimeoutSeconds;
    request.maxBodyBytes = limits.maxPictureBytes;
    HttpResponse response = performHttp(request, cancel);
    if (!response.transportOk) return {};
    return decodePictureBytes(response.body, limits.maxPicturePixels);
}

}  // namespace tamo
