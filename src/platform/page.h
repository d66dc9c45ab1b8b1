#pragma once
#include <string>

namespace tamo {

// The editor page as the native side sees it: a place to evaluate script calls.
// Fire and forget: nothing is ever read back.
class Page {
public:
    virtual ~Page() = default;
    virtual void evaluateScript(const std::string& script) = 0;
};

}  // namespace tamo
