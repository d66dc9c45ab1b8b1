#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace tamo {

// The body as UTF-8 text: taken as it is when it is valid UTF-8, otherwise read as Latin-1
// (one character per byte, which always succeeds). Character sets named by the server are ignored.
std::string decodeBodyText(std::string_view bytes);

// The first maxCharacters user-perceived characters (extended grapheme clusters) of valid UTF-8
// text, so that no emoji sequence or combining accent is split; shorter texts come back whole.
std::string cutToCharacters(std::string_view utf8, std::size_t maxCharacters);

}  // namespace tamo
