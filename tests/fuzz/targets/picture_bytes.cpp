// Downloaded picture bytes: decoded within the pixel limit, or refused; never more pixels than allowed.
#include "fuzz_check.h"
#include "media/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A small limit keeps the fuzzer's memory low; the rule is the same at the real one.
    constexpr std::uint64_t kMaxPixels = 1u << 20;
    tamo::DecodedPicture picture = tamo::decodePictureBytes(asText(data, size), kMaxPixels);
    if (picture) {
        FUZZ_CHECK(!picture.tooLarge);
        FUZZ_CHECK(picture.width > 0 && picture.height > 0);
        FUZZ_CHECK(picture.pixels.size() == static_cast<std::size_t>(picture.width) * picture.height);
        FUZZ_CHECK(static_cast<std::uint64_t>(picture.width) * picture.height <= kMaxPixels);
        // Premultiplied: no colour channel exceeds its alpha.
        for (std::uint32_t p : picture.pixels) {
            const std::uint32_t a = p >> 24;
            FUZZ_CHECK((p >> 16 & 0xFF) <= a && (p >> 8 & 0xFF) <= a && (p & 0xFF) <= a);
        }
    }
    return 0;
}
