#pragma once
#include <string_view>

namespace tamo {

// The script injected at document start into every frame of the web view. It forwards the page's
// console.log/warn/error calls, uncaught errors and unhandled promise rejections to the "consoleLog"
// message handler as {level, message}, and adds no global names.
std::string_view consoleScript();

}  // namespace tamo
