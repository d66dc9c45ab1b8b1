// Replacing a file: the old one survives every failure, only regular files are replaced, no temporary
// file is left behind, and the user reads the real reason in Hungarian.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fault/fault_env.h"
#include "platform/atomic_file.h"
#include "platform/failure_texts.h"
#include "support/read_only_folder.h"

namespace tamo::test {
namespace {

const std::string kOld = "{\n  \"régi\": true\n}", kNew = "{\n  \"új\": [1, 2, 3]\n}";

TEST(AtomicFile, ReplacesKeepingModeAndLinksAndAFailingWriteLeavesTheOldFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    const auto file = dir / "real" / "munka.tamovid";
    writeFile(file, kOld);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    auto halfThenFail = [](int fd, std::string_view bytes) -> std::optional<std::string> {
        if (auto e = writeAllBytes(fd, bytes.substr(0, bytes.size() / 2))) return e;
        return "Input/output error";
    };
    EXPECT_EQ(replaceFileAtomically(file, kNew, halfThenFail), "Input/output error");
    EXPECT_EQ(readFile(file), kOld);
    std::filesystem::create_symlink(file, dir / "link.tamovid");
    EXPECT_EQ(replaceFileAtomically(dir / "link.tamovid", kNew), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tamovid"));
    EXPECT_EQ(readFile(file), kNew);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(visibleNames(dir / "real"), std::vector<std::string>{"munka.tamovid"}) << "temporary file left";

    // Names up to the file system's limit fit, also with the temporary name's prefix.
    const std::string longName = std::string(247, 'a') + ".tamovid";
    std::string accented;
    while (accented.size() + 10 <= 255) accented += "é";
    accented += ".tamovid";
    const auto sibling = temporarySibling(dir / accented, "12345678").filename().string();
    EXPECT_LE(sibling.size(), 255u);
    EXPECT_TRUE(g_utf8_validate(sibling.data(), static_cast<gssize>(sibling.size()), nullptr));
    for (const auto& name : {longName, accented}) {
        EXPECT_EQ(replaceFileAtomically(dir / name, "[1]"), std::nullopt);
        EXPECT_EQ(readFile(dir / name), "[1]");
    }
}

TEST(AtomicFile, PipesFoldersAndUnwritablePlacesStayAsTheyAre) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.tamovid").c_str(), 0600), 0);
    std::filesystem::create_symlink("pipe.tamovid", dir / "link.tamovid");
    for (const char* name : {"pipe.tamovid", "link.tamovid"})
        EXPECT_EQ(replaceFileAtomically(dir / name, "{}"), "not a regular file") << name;
    writeFile(dir / "plain.txt", "x");
    EXPECT_EQ(renameOverRegularFile(dir / "plain.txt", dir / "pipe.tamovid"), "not a regular file");
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe.tamovid"));
    std::filesystem::create_directory(dir / "mappa.tamovid");
    EXPECT_EQ(replaceFileAtomically(dir / "mappa.tamovid", kNew), "A megadott név egy mappáé.");
    EXPECT_EQ(replaceFileAtomically(dir / "plain.txt" / "p.tamovid", kNew), "Az útvonal egyik tagja nem mappa.");
    auto full = [](int, std::string_view) { return std::optional<std::string>(fileFailureText(ENOSPC)); };
    EXPECT_EQ(replaceFileAtomically(dir / "plain.txt", kNew, full), "Nincs elég szabad hely a lemezen.");
    EXPECT_EQ(readFile(dir / "plain.txt"), "x");
    EXPECT_EQ(visibleNames(dir.path()),
              (std::vector<std::string>{"link.tamovid", "mappa.tamovid", "pipe.tamovid", "plain.txt"}));

    // The probe that names why FFmpeg could not make a file leaves nothing behind.
    EXPECT_EQ(fileCreationFailure(dir / "new.mp4"), std::nullopt);
    EXPECT_EQ(fileCreationFailure(dir / "plain.txt"), std::nullopt);
    EXPECT_EQ(readFile(dir / "plain.txt"), "x");
    {
        ReadOnlyFolder readOnly(dir / "ro");
        EXPECT_EQ(fileCreationFailure(dir / "ro" / "o.mp4"), "Nincs jogosultság a fájlhoz vagy a mappájához.");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "ro"));
    EXPECT_EQ(knownFileFailureText(EPROTO), std::nullopt);
    EXPECT_EQ(fileFailureText(EPROTO), "Fájlhiba történt.");
}

}  // namespace
}  // namespace tamo::test
