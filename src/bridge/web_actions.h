#pragma once
#include <string>

#include "web/web_limits.h"

namespace tamo {

class AppDelegate;

// fetchUrl and downloadProductImage with explicit limits (the actions pass the defaults).
// Each refuses a non-web address at once; otherwise the request runs on a worker thread and the
// page gets exactly one answer on the main thread.
void startUrlFetch(AppDelegate& app, const std::string& urlString, const WebLimits& limits);
void startProductImageDownload(AppDelegate& app, const std::string& urlString, const WebLimits& limits);

}  // namespace tamo
