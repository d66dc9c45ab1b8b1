// What a user reads when a file cannot be written: the real reason, in Hungarian.
#include "platform/failure_texts.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "support/read_only_folder.h"

namespace tamo {
namespace {

class FileFailures : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tamo_failure_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::filesystem::path root_;
};

TEST_F(FileFailures, AFolderThatRefusesNewFilesIsNamed) {
    auto folder = root_ / "csak_olvashato";
    {
        test::ReadOnlyFolder readOnly(folder);
        EXPECT_EQ(fileCreationFailure(folder / "kimenet.mp4"), "Nincs jogosultság a fájlhoz vagy a mappájához.");
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the probe leaves nothing behind";

    EXPECT_EQ(fileCreationFailure(root_ / "nincs_ilyen" / "kimenet.mp4"), "A fájl vagy a mappa nem található.");
    std::ofstream(root_ / "fajl.txt") << "x";
    EXPECT_EQ(fileCreationFailure(root_ / "fajl.txt" / "kimenet.mp4"), "Az útvonal egyik tagja nem mappa.");
}

TEST_F(FileFailures, AWritableFolderAndAnExistingNameAreNoFailure) {
    EXPECT_EQ(fileCreationFailure(root_ / "uj.mp4"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(root_ / "uj.mp4")) << "the probe removes its file";
    std::ofstream(root_ / "megvan.mp4") << "earlier export";
    EXPECT_EQ(fileCreationFailure(root_ / "megvan.mp4"), std::nullopt);
    std::ifstream kept(root_ / "megvan.mp4");
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "earlier export") << "an existing file is never touched";
}

TEST(FailureTexts, EveryNamedFileFailureHasItsOwnText) {
    EXPECT_EQ(fileFailureText(ENOSPC), "Nincs elég szabad hely a lemezen.");
    EXPECT_EQ(fileFailureText(EDQUOT), "Nincs elég szabad hely a lemezen.");
    EXPECT_EQ(fileFailureText(EROFS), "A célhely csak olvasható.");
    EXPECT_EQ(fileFailureText(EPERM), fileFailureText(EACCES));
    EXPECT_EQ(fileFailureText(EPROTO), "Fájlhiba történt.");
    EXPECT_EQ(knownFileFailureText(EPROTO), std::nullopt);
    EXPECT_EQ(knownFileFailureText(ENOENT), "A fájl vagy a mappa nem található.");
}

}  // namespace
}  // namespace tamo
