#pragma once
#include <memory>
#include <string>
#include <utility>

#include "bridge/app_delegate.h"

namespace tamo::speech {

// Queues one script call for the main thread; the work counts as in flight until the page has it.
inline void answerPage(const std::weak_ptr<AppDelegate>& app, const WorkToken& token, std::string scriptCall) {
    AppDelegate::evaluateOnMain(app, std::move(scriptCall), token);
}

// The API key goes into the Authorization header only. Line breaks would let a pasted key add
// headers of its own, so they are dropped; a real key never holds one.
inline std::string bearer(const std::string& apiKey) {
    std::string value = "Bearer ";
    for (char c : apiKey)
        if (c != '\r' && c != '\n' && c != '\0') value += c;
    return value;
}

}  // namespace tamo::speech
