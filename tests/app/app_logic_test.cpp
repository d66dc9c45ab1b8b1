// The window's two gatekeepers: which addresses the web view may show, and which local media
// files the page may read (and which bytes of them).
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app/media_request.h"
#include "app/navigation_policy.h"
#include "app/resource_folder.h"
#include "app/sandbox_paths.h"

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
    MediaAnswer media(const fs::path& file, const char* range = "") {
        return answerMediaRequest(allowed_, uriOf(file, std::string(kMediaScheme)), range);
    }
    fs::path dir_ = fs::temp_directory_path() / ("tamo app é " + std::to_string(::getpid()));
    fs::path clip_ = dir_ / ".hidden folder/klip é.mp4";
    MediaAllowList allowed_;
};

TEST_F(AppLogic, OnlyTheEditorPageIsShownAndOnlyClickedWebLinksGoToTheBrowser) {
    using V = NavigationVerdict;
    const std::tuple<std::string, bool, V> cases[] = {
        {uriOf(dir_ / "editor.html") + "#overlay-3", false, V::Allow},
        {uriOf(dir_ / "link.html"), false, V::Allow},  // the same file through a link
        {"about:srcdoc", false, V::Allow},
        {uriOf(dir_ / "other.html"), true, V::Refuse},
        {"file://evil.example" + (dir_ / "editor.html").string(), false, V::Refuse},
        {"file://%zz", false, V::Refuse},
        {"https://example.com/x", false, V::Refuse},  // a script, not the user
        {"HTTPS://EXAMPLE.COM/a?b#c", true, V::OpenInBrowser},
        {"javascript:alert(1)", true, V::Refuse},
        {"editor.html", false, V::Refuse},
    };
    for (const auto& [uri, clicked, verdict] : cases)
        EXPECT_EQ(decideNavigation(dir_ / "editor.html", {uri, clicked}), verdict) << uri;
}

TEST_F(AppLogic, AnAllowedFileIsServedWholeOrInPartAndNothingElse) {
    MediaAnswer part = media(clip_, " Bytes=900-5000 ");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.file, clip_);
    EXPECT_EQ(part.contentType, "video/mp4");
    std::map<std::string, std::string> headers(part.headers.begin(), part.headers.end());
    EXPECT_EQ(headers["Content-Range"], "bytes 900-999/1000");
    EXPECT_EQ(headers["Content-Length"], "100");
    // Spans the answer cannot give as asked: the whole file (HTTP allows it) or nothing at all.
    for (const char* whole :
         {"bytes=200-100", "bytes=0-10,20-30", "items=0-10", "bytes=10", "bytes=-x", "bytes=x-5", "bytes=5-x"})
        EXPECT_EQ(media(clip_, whole).status, 200) << whole;
    for (const char* none : {"bytes=1000-", "bytes=-0"}) EXPECT_EQ(media(clip_, none).status, 416) << none;
    EXPECT_EQ(answerRange("bytes=-5000", 1000).offset, 0u);
    EXPECT_EQ(answerRange("bytes=0-", 0).kind, RangeAnswer::Kind::Unsatisfiable);
    EXPECT_EQ(answerMediaRequest(allowed_, uriOf(clip_, std::string(kMediaScheme)) + "?t=5#x", "").status, 200);
    EXPECT_EQ(mediaContentType("a.MKV") + mediaContentType("a.bin"), "video/x-matroskaapplication/octet-stream");

    // A file beside the allowed one, a detour around the list, the system: refused; a detour
    // that lands on the listed file reads it under its listed name.
    EXPECT_EQ(media(dir_ / "other.html").status, 403);
    EXPECT_EQ(media(dir_ / ".hidden folder/../other.html").status, 403);
    EXPECT_EQ(media("/etc/passwd").status, 403);
    EXPECT_EQ(media(dir_ / "./.hidden folder/../.hidden folder/klip é.mp4").file, clip_);
    EXPECT_EQ(answerMediaRequest(allowed_, uriOf(clip_), "").status, 404);  // not the media scheme
    EXPECT_FALSE(mediaFileFromUri(std::string(kMediaScheme) + "://somehost/x.mp4"));
    // An allowed entry that is no longer a regular file is not found, never read.
    fs::remove(clip_);
    fs::create_directory(clip_);
    EXPECT_EQ(media(clip_).status, 404);
}

// The page is found beside a build tree's executable, in share/tamovid when installed, or in an override.
TEST_F(AppLogic, TheEditorPageIsFoundInTheBuildTreeOrTheInstalledLayout) {
    fs::create_directories(dir_ / "bin/resources");
    EXPECT_EQ(resourceFolder(dir_ / "bin"), std::nullopt);  // no editor.html there yet, nothing installed
    std::ofstream(dir_ / "bin/resources/editor.html") << "<html>";
    EXPECT_EQ(resourceFolder(dir_ / "bin"), dir_ / "bin/resources");
    fs::create_directories(dir_ / "share/tamovid");
    fs::create_directories(dir_ / "usr/bin");
    EXPECT_EQ(resourceFolder(dir_ / "usr/bin"), std::nullopt);  // share/tamovid is not beside usr/
    fs::create_directories(dir_ / "usr/share/tamovid");
    EXPECT_EQ(resourceFolder(dir_ / "usr/bin"), dir_ / "usr/share/tamovid");
    EXPECT_EQ(editorPagePath(std::nullopt, "/work"), fs::path("/work/Resources/editor.html"));
    EXPECT_EQ(editorPagePath(dir_ / "usr/share/tamovid", "/work", fs::path("pages")),
              fs::path("/work/pages/editor.html"));
    EXPECT_EQ(executableDirectory()->filename(), fs::path("app"));
}

// The web process may read media folders, never home itself, its hidden folders or the system's.
TEST_F(AppLogic, TheSandboxOpensMediaFoldersOnly) {
    const fs::path root = dir_ / "root", home = root / "home/u";
    for (const char* d : {"usr", "etc", "data", ".cache", "run/media", "home/u/Videók", "home/u/.ssh"})
        fs::create_directories(root / d);
    std::ofstream(home / "notes.txt") << "a file, not a folder";
    EXPECT_EQ(sandboxReadPaths(root, home, dir_ / ".hidden folder"),
              (std::vector<fs::path>{dir_ / ".hidden folder", root / "data", home / "Videók", root / "run/media"}));
    EXPECT_EQ(sandboxReadPaths(root, root, root), (std::vector<fs::path>{root / "data", root / "run/media"}));
}

}  // namespace
}  // namespace tamo
