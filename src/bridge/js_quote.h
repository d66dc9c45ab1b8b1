#pragma once
#include <string>
#include <string_view>

namespace tamo {

// Escapes a text for use between single quotes in a script call, so the page receives exactly
// the original text: backslash, apostrophe, CR, LF, U+2028, U+2029 and other control characters
// are escaped. An apostrophe becomes backslash + apostrophe. Bytes that are not valid UTF-8 are
// replaced by U+FFFD so the call always parses.
std::string escapeForSingleQuotes(std::string_view text);

// "'" + escaped text + "'"
std::string singleQuoted(std::string_view text);

}  // namespace tamo
