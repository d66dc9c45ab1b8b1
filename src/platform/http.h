#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/cancel_flag.h"

namespace tamo {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;  // name, value
    std::string body;                                          // sent when not empty (or method is POST)
    // Ends the request when no byte moves for this long (a stalled server), and caps the whole
    // transfer at totalTimeoutSeconds.
    double idleTimeoutSeconds = 60;
    double totalTimeoutSeconds = 600;
    std::size_t maxBodyBytes = 50u * 1024 * 1024;  // a larger answer is a transport error
    int maxRedirects = 10;                         // only http/https, also on redirects
};

struct HttpResponse {
    bool transportOk = false;   // false: no HTTP answer (refused, timeout, bad address, over the cap…)
    std::string errorText;      // the transport error's description, when !transportOk
    bool bodyTooLarge = false;  // the transport error was the size cap
    bool cancelled = false;     // ended by the cancel flag (the user or the program quitting): nobody to tell
    long status = 0;            // HTTP status
    std::string body;
    std::string contentType;
};

// Performs the request on the calling thread (blocking). Only http and https addresses are used.
// A raised cancel flag ends the request within about a second, also while the server stalls in
// the middle of an upload or a download; the response then says cancelled.
HttpResponse performHttp(const HttpRequest& request, const CancelFlag& cancel = CancelFlag());

}  // namespace tamo
