#include "web/web_address.h"

#include <glib.h>

#include <cstring>
#include <memory>
#include <string>

namespace tamo {
namespace {

struct UriUnref {
    void operator()(GUri* uri) const { g_uri_unref(uri); }
};

// Characters that may never stand in an address as they are (RFC 3986): blanks, controls and a
// few delimiters. Letters beyond ASCII are let through for the networking layer to encode.
bool hasForbiddenCharacter(std::string_view text) {
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F || std::strchr("\"<>\\^`{|}", c)) return true;
    return false;
}

// Strict RFC 3986 parse: no trimming, no fixing up; relative references have no scheme and fail.
std::unique_ptr<GUri, UriUnref> parse(std::string_view text) {
    if (text.empty() || hasForbiddenCharacter(text)) return nullptr;
    std::string owned(text);
    return std::unique_ptr<GUri, UriUnref>(g_uri_parse(owned.c_str(), G_URI_FLAGS_NONE, nullptr));
}

}  // namespace

bool isParsableUrl(std::string_view text) { return parse(text) != nullptr; }

bool isWebAddress(std::string_view text) {
    auto uri = parse(text);
    if (!uri) return false;
    const char* scheme = g_uri_get_scheme(uri.get());
    if (!scheme) return false;
    std::unique_ptr<gchar, decltype(&g_free)> lower(g_ascii_strdown(scheme, -1), &g_free);
    return g_str_equal(lower.get(), "http") || g_str_equal(lower.get(), "https");
}

}  // namespace tamo
