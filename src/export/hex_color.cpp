#include "export/hex_color.h"

#include <glib.h>
#include <cstdint>

namespace tamo {
namespace {

// Unicode-aware trim of white space and line breaks at both ends.
std::string_view trimWhitespace(std::string_view s) {
    auto isSpaceAt = [](std::string_view t, const char* p) {
        gunichar c = g_utf8_get_char_validated(p, static_cast<gssize>(t.data() + t.size() - p));
        return c != static_cast<gunichar>(-1) && c != static_cast<gunichar>(-2) && (g_unichar_isspace(c) || c == 0x85);
    };
    while (!s.empty() && isSpaceAt(s, s.data())) {
        const char* next = g_utf8_next_char(s.data());
        s.remove_prefix(static_cast<std::size_t>(next - s.data()));
    }
    while (!s.empty()) {
        const char* last = g_utf8_find_prev_char(s.data(), s.data() + s.size());
        if (!last || !isSpaceAt(s, last)) break;
        s.remove_suffix(static_cast<std::size_t>(s.data() + s.size() - last));
    }
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a hex number like a scanner would: skips leading white space, accepts 0x, stops at the
// first non-digit, saturates on overflow, and gives 0 when no digit can be read.
std::uint64_t scanHex(std::string_view s) {
    s = trimWhitespace(s);
    if (s.size() >= 3 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && hexDigit(s[2]) >= 0) s.remove_prefix(2);
    std::uint64_t value = 0;
    bool saturated = false;
    for (char c : s) {
        int d = hexDigit(c);
        if (d < 0) break;
        if (value > (UINT64_MAX >> 4)) saturated = true;
        if (!saturated) value = (value << 4) | static_cast<std::uint64_t>(d);
    }
    return saturated ? UINT64_MAX : value;
}

}  // namespace

RgbaColor colorFromHex(std::string_view hex) {
    std::string_view s = trimWhitespace(hex);
    if (!s.empty() && s.front() == '#') s.remove_prefix(1);
    std::uint64_t v = scanHex(s);
    return RgbaColor{static_cast<double>((v >> 16) & 0xFF) / 255.0, static_cast<double>((v >> 8) & 0xFF) / 255.0,
                     static_cast<double>(v & 0xFF) / 255.0, 1.0};
}

}  // namespace tamo
