#pragma once
#include <nlohmann/json.hpp>

#include <string_view>

// One nesting limit for every way JSON comes in (page messages, export parameters files, projects).
// Copying and writing a JSON value recurse once per level, so a value nested a hundred thousand
// levels deep runs the stack out; nothing the editor keeps comes near this limit.
namespace tamo::json_depth {

inline constexpr int kMaxNesting = 512;

// Deepest bracket nesting of JSON text (outside strings) is above the limit. Stops at the first
// bracket past it, so it costs nothing on hostile input.
bool textTooDeep(std::string_view text, int limit = kMaxNesting);

// The same for a parsed value: arrays and objects count one level each. Walks without recursion.
bool valueTooDeep(const nlohmann::json& value, int limit = kMaxNesting);

// Parses text that is within the limit; a discarded value when it is not JSON or is nested deeper.
nlohmann::json parseWithinLimit(std::string_view text, int limit = kMaxNesting);

// Logged or shown after an operation's own error prefix.
inline constexpr const char* kTooDeepText = "the JSON text is nested too deeply";

}  // namespace tamo::json_depth
