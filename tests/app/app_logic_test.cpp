// The window's two gatekeepers: which addresses the web view may show, and which local media
// files the page may read (and which bytes of them).
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app/media_request.h"
#include "app/navigation_policy.h"

namespace tamo {
namespace {

namespace fs = std::filesystem;

std::string uriOf(const fs::path& file, const std::string& scheme = "file") {
    char* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    std::string text = scheme + (uri + 4);
    g_free(uri);
    return text;
}

class AppLogic : public ::testing::Test {
protected:
    AppLogic() {
        fs::create_directories(dir_ / ".hidden folder");
        for (const char* name : {"editor.html", "other.html", ".hidden folder/klip é.mp4"})
            std::ofstream(dir_ / name, std::ios::binary) << std::string(1000, 'v');
        fs::create_symlink(dir_ / "editor.html", dir_ / "link.html");
        allowed_.allow(clip_);
    }
    ~AppLogic() override { fs::remove_all(dir_); }
    int status(const fs::path& file, const char* range = "") {
        return answerMediaRequest(allowed_, uriOf(file, std::string(kMediaScheme)), range).status;
    }
    fs::path dir_ = fs::temp_directory_path() / ("tamo app é " + std::to_string(::getpid()));
    fs::path clip_ = dir_ / ".hidden folder/klip é.mp4";
    MediaAllowList allowed_;
};

TEST_F(AppLogic, OnlyTheEditorPageIsShownAndOnlyClickedWebLinksGoToTheBrowser) {
    using V = NavigationVerdict;
    const std::pair<std::string, V> scripted[] = {
        {uriOf(dir_ / "editor.html") + "#overlay-3", V::Allow},
        {uriOf(dir_ / "link.html"), V::Allow},  // the same file through a link
        {uriOf(dir_ / "editor.html").replace(uriOf(dir_).size(), 0, "/x/.."), V::Allow},
        {"about:srcdoc", V::Allow},
        {uriOf(dir_ / "other.html"), V::Refuse},
        {"file://evil.example" + (dir_ / "editor.html").string(), V::Refuse},
        {"file://%zz", V::Refuse},
        {"https://example.com/x", V::Refuse},
        {"about:blankx", V::Refuse},
        {"editor.html", V::Refuse},
    };
    for (const auto& [uri, verdict] : scripted)
        EXPECT_EQ(decideNavigation(dir_ / "editor.html", {uri, false}), verdict) << uri;
    const std::pair<std::string, V> clicked[] = {
        {"HTTPS://EXAMPLE.COM/a?b#c", V::OpenInBrowser},
        {uriOf(dir_ / "other.html"), V::Refuse},
        {"javascript:alert(1)", V::Refuse},
        {"data:text/html,<script>1</script>", V::Refuse},
    };
    for (const auto& [uri, verdict] : clicked)
        EXPECT_EQ(decideNavigation(dir_ / "editor.html", {uri, true}), verdict) << uri;
}

TEST_F(AppLogic, AnAllowedFileIsServedWholeOrInPartAndNothingElse) {
    MediaAnswer part = answerMediaRequest(allowed_, uriOf(clip_, std::string(kMediaScheme)), " Bytes=900-5000 ");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.file, clip_);
    EXPECT_EQ(part.contentType, "video/mp4");
    std::map<std::string, std::string> headers(part.headers.begin(), part.headers.end());
    EXPECT_EQ(headers["Content-Range"], "bytes 900-999/1000");
    EXPECT_EQ(headers["Content-Length"], "100");
    // Spans the answer cannot give as asked: the whole file (HTTP allows it) or nothing at all.
    for (const char* whole : {"", "bytes=200-100", "bytes=0-10,20-30", "items=0-10", "bytes=10", "bytes=-x"})
        EXPECT_EQ(status(clip_, whole), 200) << whole;
    for (const char* none : {"bytes=1000-", "bytes=-0"}) EXPECT_EQ(status(clip_, none), 416) << none;
    EXPECT_EQ(answerRange("bytes=-5000", 1000).offset, 0u);

    // A file beside the allowed one, a detour around the list, the system: refused; a detour
    // that lands on the listed file reads it under its listed name.
    EXPECT_EQ(status(dir_ / "other.html"), 403);
    EXPECT_EQ(status(dir_ / ".hidden folder/../other.html"), 403);
    EXPECT_EQ(status("/etc/passwd"), 403);
    EXPECT_EQ(
        answerMediaRequest(allowed_,
                           uriOf(dir_ / "./.hidden folder/../.hidden folder/klip é.mp4", std::string(kMediaScheme)), "")
            .file,
        clip_);
    EXPECT_EQ(answerMediaRequest(allowed_, uriOf(clip_), "").status, 404);  // not the media scheme
    EXPECT_FALSE(mediaFileFromUri(std::string(kMediaScheme) + "://somehost/x.mp4"));
    // An allowed entry that is no longer a regular file is not found, never read.
    fs::remove(clip_);
    fs::create_directory(clip_);
    EXPECT_EQ(status(clip_), 404);
}

}  // namespace
}  // namespace tamo
