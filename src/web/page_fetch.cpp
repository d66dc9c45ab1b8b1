#include "web/page_fetch.h"

#include "platform/http.h"
#include "platform/texts/web_texts.h"
#include "web/text_decode.h"

namespace tamo {
namespace {

constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
    "Safari/605.1.15";
constexpr const char* kDownloadFailed = texts::web::kPageDownloadFailed;

}  // namespace

Outcome<FetchedPage> fetchPageText(const std::string& url, const WebLimits& limits, const CancelFlag& cancel) {
    HttpRequest request;
    request.url = url;
    request.headers = {{"User-Agent", kBrowserUserAgent}};
    request.idleTimeoutSeconds = limits.idleTimeoutSeconds;
    request.totalTimeoutSeconds = limits.totalTimeoutSeconds;
    request.maxBodyBytes = limits.maxPageBytes;
    HttpResponse response = performHttp(request, cancel);
    if (response.cancelled) return Failure::cancel();
    if (!response.transportOk) {
        // A body over the cap is an answer we refuse to read, not a network fault.
        if (response.bodyTooLarge || response.errorText.empty()) return fail(kDownloadFailed);
        return fail(response.errorText);
    }
    return FetchedPage{cutToCharacters(decodeBodyText(response.body), kMaxPageCharacters), response.body.size()};
}

}  // namespace tamo
