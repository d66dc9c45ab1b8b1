#include "bridge/js_quote.h"

#include <cstdio>

namespace tamo {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when it is not valid.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    std::size_t len;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4;
    else
        return 0;
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    unsigned char c1 = byte(i + 1);
    if (c == 0xE0 && c1 < 0xA0) return 0;  // overlong
    if (c == 0xED && c1 > 0x9F) return 0;  // surrogates
    if (c == 0xF0 && c1 < 0x90) return 0;  // overlong
    if (c == 0xF4 && c1 > 0x8F) return 0;  // above U+10FFFF
    return len;
}

void appendUnicodeEscape(std::string& out, unsigned code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", code);
    out += buf;
}

}  // namespace

std::string escapeForSingleQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t len = utf8SequenceLength(text, i);
        if (len == 0) {
            out += "\\uFFFD";
            ++i;
            continue;
        }
        if (len == 1) {
            switch (c) {
            case '\\': out += "\\\\"; break;
            case '\'': out += "\\'"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20 || c == 0x7F)
                    appendUnicodeEscape(out, c);
                else
                    out += static_cast<char>(c);
            }
        } else if (len == 3 && c == 0xE2 && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 / U+2029 end a line inside older script engines' string literals.
            appendUnicodeEscape(out, static_cast<unsigned char>(text[i + 2]) == 0xA8 ? 0x2028 : 0x2029);
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::string singleQuoted(std::string_view text) { return "'" + escapeForSingleQuotes(text) + "'"; }

}  // namespace tamo
