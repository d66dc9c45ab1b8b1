// Colours the page writes as text: always an opaque colour with every part between 0 and 1.
#include "export/hex_color.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tamo::RgbaColor c = tamo::colorFromHex(asText(data, size));
    for (double part : {c.red, c.green, c.blue}) FUZZ_CHECK(part >= 0.0 && part <= 1.0);
    FUZZ_CHECK(c.alpha == 1.0);
    return 0;
}
