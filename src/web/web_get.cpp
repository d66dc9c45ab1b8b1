#include "web/web_get.h"

#include "platform/http.h"

namespace tamo {

Outcome<std::string> webGet(const std::string& url, const std::string& userAgent, std::size_t maxBodyBytes,
                            const WebLimits& limits, const std::string& fallback, const CancelFlag& cancel) {
    HttpRequest request;
    request.url = url;
    if (!userAgent.empty()) request.headers = {{"User-Agent", userAgent}};
    request.idleTimeoutSeconds = limits.idleTimeoutSeconds;
    request.totalTimeoutSeconds = limits.totalTimeoutSeconds;
    request.maxBodyBytes = maxBodyBytes;
    HttpResponse response = performHttp(request, cancel);
    if (response.cancelled) return Failure::cancel();
    if (!response.transportOk) {
        if (response.bodyTooLarge || response.errorText.empty()) return fail(fallback);
        return fail(response.errorText);
    }
    return std::move(response.body);
}

}  // namespace tamo
