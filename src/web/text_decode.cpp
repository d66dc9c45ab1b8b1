#include "web/text_decode.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>

namespace tamo {
namespace {

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF, no cut-off sequence.
bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int64_t>(bytes.size());
    for (int64_t i = 0; i < length;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        UChar32 c;
        int32_t j = 0;
        const int32_t window = static_cast<int32_t>(std::min<int64_t>(length - i, 4));
        U8_NEXT(s + i, j, window, c);
        if (c < 0) return false;
        i += j;
    }
    return true;
}

struct UTextClose {
    void operator()(UText* text) const { utext_close(text); }
};

}  // namespace

std::string decodeBodyText(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string cutToCharacters(std::string_view utf8, std::size_t maxCharacters) {
    // Every character takes at least one byte, so a text this short cannot be too long.
    if (utf8.size() <= maxCharacters) return std::string(utf8);
    if (maxCharacters == 0) return {};

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextClose> text(
        utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !text || !characters) return std::string(utf8);
    characters->setText(text.get(), status);
    if (U_FAILURE(status)) return std::string(utf8);

    // Over UTF-8 text the boundaries are byte offsets.
    int32_t end = characters->first();
    for (std::size_t n = 0; n < maxCharacters; ++n) {
        int32_t next = characters->next();
        if (next == icu::BreakIterator::DONE) return std::string(utf8);
        end = next;
    }
    return std::string(utf8.substr(0, static_cast<std::size_t>(end)));
}

}  // namespace tamo
