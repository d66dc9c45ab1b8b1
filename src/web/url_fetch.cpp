#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/http.h"
#include "platform/log.h"
#include "web/text_decode.h"
#include "web/web_address.h"
#include "web/web_operations.h"

namespace tamo {
namespace {

constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 "
    "Safari/605.1.15";
constexpr const char* kDownloadFailed = "Nem sikerült a tartalom letöltése!";

}  // namespace

void startUrlFetch(AppDelegate& app, const std::string& urlString, const WebLimits& limits) {
    if (!isWebAddress(urlString)) {
        app.evaluate(scriptcall::onUrlFetchedError("Érvénytelen URL! Csak http/https támogatott."));
        return;
    }
    HttpRequest request;
    request.url = urlString;
    request.headers = {{"User-Agent", kBrowserUserAgent}};
    request.idleTimeoutSeconds = limits.idleTimeoutSeconds;
    request.totalTimeoutSeconds = limits.totalTimeoutSeconds;
    request.maxBodyBytes = limits.maxPageBytes;

    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    performHttpAsync(*app.services().work, std::move(request), [weak, work = app.beginWork(), urlString](HttpResponse response) {
        if (response.cancelled) return;  // stopped for quitting: nobody to tell
        auto answer = [&](std::string call) {
            AppDelegate::evaluateOnMain(weak, std::move(call), work);
        };
        if (!response.transportOk) {
            // A body over the cap is an answer we refuse to read, not a network fault.
            if (response.bodyTooLarge || response.errorText.empty()) answer(scriptcall::onUrlFetchedError(kDownloadFailed));
            else answer(scriptcall::onUrlFetchedError(response.errorText));
            return;
        }
        // The status is not looked at: an error page with a body is a page like any other.
        std::string text = cutToCharacters(decodeBodyText(response.body), kMaxPageCharacters);
        if (auto call = scriptcall::onUrlFetched({{"html", std::move(text)}, {"url", urlString}})) answer(*call);
        logLine("🌐 URL fetched: " + urlString + " (" + std::to_string(response.body.size()) + " bytes)");
    });
}

void AppDelegate::fetchUrl(const std::string& urlString) { startUrlFetch(*this, urlString, WebLimits{}); }

}  // namespace tamo
