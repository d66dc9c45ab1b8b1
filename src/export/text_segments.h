#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamo {

// Text from the page made safe for the text system: invalid UTF-8 becomes U+FFFD and NUL
// bytes are dropped.
std::string sanitizeUtf8(std::string_view text);

// Byte offsets of the ends of the user-perceived characters (extended grapheme clusters) of a
// valid UTF-8 text, in order: entry i is where the first i + 1 characters end. An emoji with
// skin tone or joined family members is one character. At most maxCount entries are returned.
std::vector<std::size_t> graphemeEnds(std::string_view utf8, std::size_t maxCount);

}  // namespace tamo
