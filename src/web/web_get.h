#pragma once
#include <cstddef>
#include <string>

#include "platform/cancel_flag.h"
#include "platform/outcome.h"
#include "web/web_limits.h"

namespace tamo {

// One GET to a web server under the limits (blocking, on a worker), the status not looked at:
// the body, or why not — cancelled when the flag was raised, the transport's Hungarian text, or
// `fallback` for a body over maxBodyBytes (an answer we refuse to read, not a network fault) and a
// failure without a text of its own. userAgent: sent when not empty.
Outcome<std::string> webGet(const std::string& url, const std::string& userAgent, std::size_t maxBodyBytes,
                            const WebLimits& limits, const std::string& fallback, const CancelFlag& cancel);

}  // namespace tamo
