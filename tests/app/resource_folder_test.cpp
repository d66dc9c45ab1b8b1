// Where the program finds editor.html: beside the executable (build tree), in ../share/tamovid
// (installed), else in "Resources" under the working directory.
#include "app/resource_folder.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <unistd.h>

#include <fstream>

namespace tamo {
namespace {

namespace fs = std::filesystem;

class ResourceFolder : public ::testing::Test {
protected:
    ResourceFolder() {
        root_ = fs::temp_directory_path() / ("tamo_res_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "bin");
    }
    ~ResourceFolder() override { fs::remove_all(root_); }
    void touch(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "<html></html>";
    }
    fs::path root_;
};

TEST_F(ResourceFolder, ResourcesBesideTheExecutableWin) {
    touch(root_ / "bin/resources/editor.html");
    fs::create_directories(root_ / "share/tamovid");
    EXPECT_EQ(resourceFolder(root_ / "bin"), root_ / "bin/resources");
}

TEST_F(ResourceFolder, ResourcesFolderWithoutThePageIsSkipped) {
    fs::create_directories(root_ / "bin/resources");
    fs::create_directories(root_ / "share/tamovid");
    EXPECT_EQ(resourceFolder(root_ / "bin"), root_ / "share/tamovid");
}

TEST_F(ResourceFolder, EditorHtmlThatIsAFolderDoesNotCount) {
    fs::create_directories(root_ / "bin/resources/editor.html");
    EXPECT_EQ(resourceFolder(root_ / "bin"), std::nullopt);
}

TEST_F(ResourceFolder, InstalledLayout) {
    fs::create_directories(root_ / "share/tamovid");
    EXPECT_EQ(resourceFolder(root_ / "bin"), root_ / "share/tamovid");
}

TEST_F(ResourceFolder, NeitherMeansNoResourceFolder) {
    EXPECT_EQ(resourceFolder(root_ / "bin"), std::nullopt);
    EXPECT_EQ(resourceFolder(root_ / "does-not-exist"), std::nullopt);
}

TEST(EditorPagePath, FallsBackToResourcesUnderTheWorkingDirectory) {
    EXPECT_EQ(editorPagePath(std::nullopt, "/work/here"), fs::path("/work/here/Resources/editor.html"));
}

TEST(EditorPagePath, ProgramResourceFolderWins) {
    EXPECT_EQ(editorPagePath(fs::path("/opt/t/share/tamovid"), "/work/here"),
              fs::path("/opt/t/share/tamovid/editor.html"));
}

TEST(EditorPagePath, OverrideReplacesBothAndRelativeIsTakenFromTheWorkingDirectory) {
    EXPECT_EQ(editorPagePath(fs::path("/opt/t/share/tamovid"), "/w", fs::path("/tmp/pages")),
              fs::path("/tmp/pages/editor.html"));
    EXPECT_EQ(editorPagePath(std::nullopt, "/w", fs::path("pages/../test")), fs::path("/w/test/editor.html"));
}

TEST(ExecutableDirectory, IsTheFolderOfThisTestProgram) {
    auto dir = executableDirectory();
    ASSERT_TRUE(dir);
    EXPECT_TRUE(fs::is_regular_file(*dir / "app_logic_test"));
}

}  // namespace
}  // namespace tamo
