#pragma once
#include <filesystem>
#include <string>

namespace tamo {

// What the web view does with a navigation it is asked to make.
enum class NavigationVerdict {
    Allow,          // the editor page itself (a reload, a fragment), or an empty frame
    Refuse,         // anything else: the web view never leaves the editor page
    OpenInBrowser,  // refused here, but an http(s) address the user chose opens in the default browser
};

struct NavigationRequest {
    std::string uri;
    bool userGesture = false;  // a click or key press of the user started it
};

// Only the editor page may be shown; otherwise a page reached from it would inherit the
// "swift" handler and with it every native operation.
NavigationVerdict decideNavigation(const std::filesystem::path& editorPage, const NavigationRequest& request);

}  // namespace tamo
