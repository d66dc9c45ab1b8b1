#pragma once
#include <filesystem>
#include <string>

namespace tamo {

// The editor page as the native side sees it: a place to evaluate script calls.
// Fire and forget: nothing is ever read back.
class Page {
public:
    virtual ~Page() = default;
    virtual void evaluateScript(const std::string& script) = 0;
    // The native side hands this file to the page (its address goes into a script call next): the
    // page may load it from now on. Pages that read files directly need nothing.
    virtual void shareFile(const std::filesystem::path&) {}
};

}  // namespace tamo
