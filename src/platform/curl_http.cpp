#include <curl/curl.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "platform/curl_failure.h"
#include "platform/http.h"
#include "platform/texts/transport_texts.h"

namespace tamo {
namespace {

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Transfer {
    std::string body;
    std::size_t maxBodyBytes = 0;
    bool tooLarge = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* t = static_cast<Transfer*>(userdata);
    std::size_t n = size * count;
    if (t->body.size() + n > t->maxBodyBytes) {
        t->tooLarge = true;
        return 0;  // makes curl stop with a write error
    }
    t->body.append(data, n);
    return n;
}

// libcurl calls this at least once a second, also while no byte moves: a raised flag aborts.
int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const CancelFlag*>(userdata)->raised() ? 1 : 0;
}

constexpr const char* kCannotStart = texts::transport::kCannotStart;

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long milliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 1;
    return static_cast<long>(std::min(seconds * 1000.0, 1e9));
}

}  // namespace

HttpResponse performHttp(const HttpRequest& request, const CancelFlag& cancel) {
    initCurlOnce();
    HttpResponse response;
    if (cancel.raised()) {
        response.cancelled = true;
        return response;
    }
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        response.errorText = kCannotStart;
        return response;
    }
    CURL* c = curl.get();
    Transfer transfer;
    transfer.maxBodyBytes = request.maxBodyBytes;

    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    // Only web addresses, also after redirects: never file:, ftp: or anything else.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, request.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(std::max(request.maxRedirects, 0)));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBodyBytes));
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &cancel);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

    // A stalled server: less than one byte per second for the idle time ends the request.
    long idleSeconds = std::max(1L, static_cast<long>(std::ceil(milliseconds(request.idleTimeoutSeconds) / 1000.0)));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, milliseconds(request.idleTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, idleSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, milliseconds(request.totalTimeoutSeconds));

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    for (const auto& [name, value] : request.headers) {
        std::string line = name + ": " + value;
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    }
    if (headers) curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    if (request.method == "POST" || !request.body.empty()) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }
    if (request.method != "GET" && request.method != "POST")
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());

    CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK && cancel.raised()) {
        // Whatever the transfer ended with, it was told to stop: nobody waits for an error text.
        response.cancelled = true;
        return response;
    }
    if (code != CURLE_OK) {
        response.bodyTooLarge = transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED;
        // libcurl's own description is English; the page shows the user a Hungarian one.
        response.errorText =
            transportFailureText(response.bodyTooLarge ? TransportFailure::tooLarge : classifyCurlFailure(code));
        return response;
    }
    response.transportOk = true;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
    char* contentType = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        response.contentType = contentType;
    response.body = std::move(transfer.body);
    return response;
}

}  // namespace tamo
