#pragma once
#include <string>

#include "platform/texts/export_texts.h"

namespace tamo {

// The page's Hungarian text for why writing the final export failed, from an FFmpeg error code
// (AVERROR(errno) or one of its own) or a plain errno value: the user reads these, so the
// library's English never reaches them.
std::string mergeErrorText(int averror);
std::string mergeErrnoText(int errnoValue);

inline constexpr const char* kOutOfMemoryText = texts::exporting::kOutOfMemory;

}  // namespace tamo
