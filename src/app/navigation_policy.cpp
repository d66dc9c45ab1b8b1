#include "app/navigation_policy.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <system_error>

namespace tamo {
namespace {

namespace fs = std::filesystem;

std::string lowerScheme(const std::string& uri) {
    auto colon = uri.find(':');
    if (colon == std::string::npos) return {};
    std::string scheme = uri.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    return scheme;
}

// The local file a file: address names (query and fragment dropped), or nothing for a remote
// host or an address that does not decode.
std::optional<fs::path> localFile(std::string uri) {
    uri = uri.substr(0, uri.find_first_of("?#"));
    GError* error = nullptr;
    char* host = nullptr;
    char* name = g_filename_from_uri(uri.c_str(), &host, &error);
    std::unique_ptr<char, decltype(&g_free)> nameOwner(name, g_free), hostOwner(host, g_free);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    if (host && *host && std::string(host) != "localhost") return std::nullopt;
    return fs::path(name);
}

bool samePath(const fs::path& a, const fs::path& b) {
    std::error_code ea, eb;
    fs::path ca = fs::weakly_canonical(a, ea), cb = fs::weakly_canonical(b, eb);
    if (ea || eb) return a.lexically_normal() == b.lexically_normal();
    return ca == cb;
}

}  // namespace

NavigationVerdict decideNavigation(const fs::path& editorPage, const NavigationRequest& request) {
    const std::string scheme = lowerScheme(request.uri);
    // Frames the page makes for itself start out empty.
    if (request.uri == "about:blank" || request.uri == "about:srcdoc") return NavigationVerdict::Allow;
    if (scheme == "file") {
        auto file = localFile(request.uri);
        if (file && samePath(*file, editorPage)) return NavigationVerdict::Allow;
        return NavigationVerdict::Refuse;
    }
    if ((scheme == "http" || scheme == "https") && request.userGesture) return NavigationVerdict::OpenInBrowser;
    return NavigationVerdict::Refuse;
}

}  // namespace tamo
