#pragma once
#include <cstddef>
#include <string>

#include "platform/cancel_flag.h"
#include "platform/outcome.h"
#include "web/web_limits.h"

namespace tamo {

inline constexpr std::size_t kMaxPageCharacters = 50000;

// A fetched page as the page's text tools take it: decoded to UTF-8 and cut to
// kMaxPageCharacters characters; bytes is the size of the body as it arrived.
struct FetchedPage {
    std::string text;
    std::size_t bytes = 0;
};

// Fetches a web address (blocking, on a worker). The status is not looked at: an error page with a
// body is a page like any other. A raised cancel flag ends it as a cancelled Failure. Failure: the transport's Hungarian text, or a general one.
Outcome<FetchedPage> fetchPageText(const std::string& url, const WebLimits& limits,
                                   const CancelFlag& cancel = CancelFlag());

}  // namespace tamo
