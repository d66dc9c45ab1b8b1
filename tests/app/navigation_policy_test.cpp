// The web view stays on the editor page; user-chosen web links go to the desktop's browser.
#include "app/navigation_policy.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <unistd.h>

#include <fstream>

namespace tamo {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    std::string uri;
    bool userGesture;
    NavigationVerdict verdict;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class NavigationPolicy : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() {
        dir() = fs::temp_directory_path() / ("tamo nav é " + std::to_string(::getpid()));
        fs::create_directories(dir() / "sub");
        std::ofstream(dir() / "editor.html") << "<html></html>";
        std::ofstream(dir() / "other.html") << "<html></html>";
        fs::create_symlink(dir() / "editor.html", dir() / "link.html");
    }
    static void TearDownTestSuite() { fs::remove_all(dir()); }
    static fs::path& dir() {
        static fs::path d;
        return d;
    }
    // The address of a file in the test folder, as WebKit writes it (percent-encoded).
    static std::string uriOf(const std::string& name) {
        char* uri = g_filename_to_uri((dir() / name).c_str(), nullptr, nullptr);
        std::string s = uri;
        g_free(uri);
        return s;
    }
};

TEST_P(NavigationPolicy, Verdict) {
    std::string uri = GetParam().uri;
    // "@name" stands for the encoded address of a file in the test folder, the rest is appended.
    if (uri.rfind('@', 0) == 0) {
        auto end = uri.find_first_of("?#");
        uri = uriOf(uri.substr(1, end == std::string::npos ? std::string::npos : end - 1)) +
              (end == std::string::npos ? "" : uri.substr(end));
    }
    EXPECT_EQ(decideNavigation(dir() / "editor.html", {uri, GetParam().userGesture}), GetParam().verdict) << uri;
}

using V = NavigationVerdict;

INSTANTIATE_TEST_SUITE_P(
    Addresses, NavigationPolicy,
    ::testing::Values(
        Case{"editor_page", "@editor.html", false, V::Allow},
        Case{"editor_page_reload_by_user", "@editor.html", true, V::Allow},
        Case{"editor_page_fragment", "@editor.html#overlay-3", false, V::Allow},
        Case{"editor_page_query", "@editor.html?x=1", false, V::Allow},
        Case{"editor_page_through_symlink", "@link.html", false, V::Allow},
        Case{"dot_segments_to_editor", "@sub/../editor.html", false, V::Allow},
        Case{"empty_frame", "about:blank", false, V::Allow}, Case{"srcdoc_frame", "about:srcdoc", false, V::Allow},
        Case{"other_local_page", "@other.html", false, V::Refuse},
        Case{"other_local_page_clicked", "@other.html", true, V::Refuse},
        Case{"dropped_video_file", "file:///tmp/clip.mp4", true, V::Refuse},
        Case{"remote_host_same_path", "file://evil.example" + std::string("/editor.html"), false, V::Refuse},
        Case{"script_sets_location_http", "http://example.com/", false, V::Refuse},
        Case{"script_sets_location_https", "https://example.com/x", false, V::Refuse},
        Case{"clicked_http_link", "http://example.com/", true, V::OpenInBrowser},
        Case{"clicked_https_link", "https://example.com/a?b#c", true, V::OpenInBrowser},
        Case{"clicked_upper_case_scheme", "HTTPS://EXAMPLE.COM/", true, V::OpenInBrowser},
        Case{"clicked_javascript_link", "javascript:alert(1)", true, V::Refuse},
        Case{"clicked_data_page", "data:text/html,<script>1</script>", true, V::Refuse},
        Case{"clicked_mailto", "mailto:someone@example.com", true, V::Refuse},
        Case{"clicked_custom_scheme", "steam://run/1", true, V::Refuse},
        Case{"blob_page", "blob:file:///x", false, V::Refuse}, Case{"about_other", "about:config", true, V::Refuse},
        Case{"about_blank_prefix_trick", "about:blankx", false, V::Refuse}, Case{"empty_address", "", false, V::Refuse},
        Case{"no_scheme", "editor.html", false, V::Refuse},
        Case{"broken_file_address", "file://%zz", false, V::Refuse}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tamo
