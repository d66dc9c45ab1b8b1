#include "web/page_fetch.h"

#include "platform/texts/web_texts.h"
#include "web/text_decode.h"
#include "web/web_get.h"

namespace tamo {
namespace {

constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
    "Safari/605.1.15";
constexpr const char* kDownloadFailed = texts::web::kPageDownloadFailed;

}  // namespace

Outcome<FetchedPage> fetchPageText(const std::string& url, const WebLimits& limits, const CancelFlag& cancel) {
    Outcome<std::string> body = webGet(url, kBrowserUserAgent, limits.maxPageBytes, limits, kDownloadFailed, cancel);
    if (!body) return body.failure();
    return FetchedPage{cutToCharacters(decodeBodyText(*body), kMaxPageCharacters), body->size()};
}

}  // namespace tamo
