// Fetched page bodies turned into text, and the cut to a number of user-perceived characters: the
// text is valid UTF-8, and the cut is a prefix of it that is never longer than the whole.
#include <glib.h>

#include "fuzz_check.h"
#include "web/text_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t maxCharacters = data[0] % 24;
    std::string text = tamo::decodeBodyText(asText(data + 1, size - 1));
    FUZZ_CHECK(g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr));
    std::string cut = tamo::cutToCharacters(text, maxCharacters);
    FUZZ_CHECK(cut.size() <= text.size());
    FUZZ_CHECK(text.compare(0, cut.size(), cut) == 0);
    FUZZ_CHECK(g_utf8_validate(cut.data(), static_cast<gssize>(cut.size()), nullptr));
    FUZZ_CHECK(maxCharacters > 0 || cut.empty());
    return 0;
}
