// Downloaded picture bytes: decoded within the pixel limit, or refused; never more pixels than allowed.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "fuzz_check.h"
#include "web/picture_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A small limit keeps the fuzzer's memory low; the rule is the same at the real one.
    constexpr std::uint64_t kMaxPixels = 1u << 20;
    tamo::DecodedPicture picture = tamo::decodePicture(asText(data, size), kMaxPixels);
    if (picture.pixbuf) {
        FUZZ_CHECK(!picture.tooLarge);
        FUZZ_CHECK(picture.width == gdk_pixbuf_get_width(picture.pixbuf.get()));
        FUZZ_CHECK(picture.height == gdk_pixbuf_get_height(picture.pixbuf.get()));
        FUZZ_CHECK(static_cast<std::uint64_t>(picture.width) * picture.height <= kMaxPixels);
    }
    return 0;
}
