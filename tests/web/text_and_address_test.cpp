// Body decoding, the character cut and the address check.
#include <gtest/gtest.h>

#include "web/text_decode.h"
#include "web/web_address.h"

namespace tamo {
namespace {

TEST(WebAddress, OnlyAbsoluteHttpAndHttpsAreWebAddresses) {
    struct Case {
        const char* text;
        bool parsable;
        bool web;
    };
    const Case cases[] = {
        {"http://example.com/a?b=c", true, true}, {"https://example.com", true, true},
        {"HTTPS://EXAMPLE.COM/", true, true},  // the scheme is compared without case
        {"hTtP://127.0.0.1:8080/x", true, true},  {" http://example.com", false, false},  // not trimmed
        {"http://example.com ", false, false},    {"example.com", false, false},          // no scheme
        {"/relative/path", false, false},         {"", false, false},
        {"ftp://example.com/file", true, false},  {"file:///etc/passwd", true, false},
        {"data:text/plain,hi", true, false},      {"javascript:alert(1)", true, false},
        {"http://exa mple.com", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isParsableUrl(c.text), c.parsable) << "'" << c.text << "'";
        EXPECT_EQ(isWebAddress(c.text), c.web) << "'" << c.text << "'";
    }
    EXPECT_FALSE(isWebAddress(std::string_view("http://a\0b", 10)));
}

TEST(BodyText, ValidUtf8IsKeptAndAnythingElseIsLatin1) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"plain ascii", "plain ascii"},
        {"\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91 \xF0\x9F\x98\x80", "árvíztűrő 😀"},
        {"\xE1rv\xEDzt\xFBr\xF5", "árvíztûrõ"},  // Latin-1 (ISO 8859-2 text comes out as Latin-1 letters)
        {"ok \xC3", "ok Ã"},                     // cut-off sequence
        {"\xC0\xAF", "À¯"},                      // overlong form
        {"\xED\xA0\x80", "í\xC2\xA0\xC2\x80"},   // encoded surrogate
        {std::string("nul\0inside", 10), std::string("nul\0inside", 10)},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(decodeBodyText(c.bytes), c.text) << c.bytes;
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(CharacterCut, CountsUserPerceivedCharactersAndNeverSplitsOne) {
    const std::string a49999(49999, 'a');
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"short text whole", "héllo", "héllo"},
        {"ascii cut", std::string(50001, 'x'), std::string(50000, 'x')},
        {"exactly the limit", std::string(50000, 'y'), std::string(50000, 'y')},
        {"skin-toned emoji at the cut", a49999 + "👍🏽" + "tail", a49999 + "👍🏽"},
        {"family sequence at the cut", a49999 + "👨‍👩‍👧‍👦" + "zz",
         a49999 + "👨‍👩‍👧‍👦"},
        {"flag at the cut", a49999 + "🇭🇺" + "🇭🇺", a49999 + "🇭🇺"},
        {"combining accent at the cut", a49999 + "e\xCC\x81" + "b", a49999 + "e\xCC\x81"},
        {"crlf is one character", a49999 + "\r\n" + "b", a49999 + "\r\n"},
        {"multi-byte letters", repeat("ő", 50010), repeat("ő", 50000)},
    };
    for (const auto& c : cases) EXPECT_EQ(cutToCharacters(c.text, 50000), c.expected) << c.name;
}

}  // namespace
}  // namespace tamo
