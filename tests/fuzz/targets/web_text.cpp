// Fetched page bodies turned into text, and the cut to a number of user-perceived characters: the
// text is valid UTF-8, and the cut is a prefix of it that is never longer than the whole.
#include <glib.h>

#include <algorithm>

#include "fuzz_check.h"
#include "web/text_decode.h"

namespace {
// UTF-8 allows U+0000, which GLib's validator refuses; the text may hold it (a body with NUL bytes).
bool validUtf8(std::string text) {
    std::replace(text.begin(), text.end(), '\0', ' ');
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t maxCharacters = data[0] % 24;
    std::string text = tamo::decodeBodyText(asText(data + 1, size - 1));
    FUZZ_CHECK(validUtf8(text));
    std::string cut = tamo::cutToCharacters(text, maxCharacters);
    FUZZ_CHECK(cut.size() <= text.size());
    FUZZ_CHECK(text.compare(0, cut.size(), cut) == 0);
    FUZZ_CHECK(validUtf8(cut));
    FUZZ_CHECK(maxCharacters > 0 || cut.empty());
    return 0;
}
