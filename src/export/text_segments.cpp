#include "export/text_segments.h"

#include <glib.h>
#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <memory>

namespace tamo {

std::string sanitizeUtf8(std::string_view text) {
    std::string noNul;
    noNul.reserve(text.size());
    for (char c : text)
        if (c != '\0') noNul.push_back(c);
    gchar* valid = g_utf8_make_valid(noNul.data(), static_cast<gssize>(noNul.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

std::vector<std::size_t> graphemeEnds(std::string_view utf8, std::size_t maxCount) {
    std::vector<std::size_t> ends;
    if (utf8.empty() || maxCount == 0) return ends;

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, decltype(&utext_close)> ut(
        utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status), &utext_close);
    std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> it(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status),
                                                              &ubrk_close);
    if (U_SUCCESS(status)) ubrk_setUText(it.get(), ut.get(), &status);
    if (U_FAILURE(status)) {
        // Without a segmenter, fall back to code points so typing still advances.
        for (std::size_t i = 0; i < utf8.size() && ends.size() < maxCount; ++i) {
            const unsigned char c = static_cast<unsigned char>(utf8[i]);
            if ((c & 0xC0) != 0x80 && i > 0) ends.push_back(i);
        }
        if (ends.size() < maxCount) ends.push_back(utf8.size());
        return ends;
    }
    ubrk_first(it.get());
    for (int32_t b = ubrk_next(it.get()); b != UBRK_DONE && ends.size() < maxCount; b = ubrk_next(it.get()))
        ends.push_back(static_cast<std::size_t>(b));
    return ends;
}

}  // namespace tamo
