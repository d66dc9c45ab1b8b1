// Replacing a project file: the old file survives every failure, and no temporary file is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/media_fixtures.h"
#include "platform/atomic_file.h"

namespace tamo::test {
namespace {

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kOld = "{\n  \"régi\": true\n}";
const std::string kNew = "{\n  \"új\": [1, 2, 3]\n}";

TEST(AtomicFile, ReplacesTheOldFileAndKeepsItsMode) {
    TempDir dir;
    auto file = dir / "munka.tamovid";
    writeFile(file, kOld);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    EXPECT_EQ(replaceFileAtomically(file, kNew), std::nullopt);
    EXPECT_EQ(readFile(file), kNew);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"munka.tamovid"});
}

TEST(AtomicFile, CreatesANewFile) {
    TempDir dir;
    auto file = dir / "új.tamovid";
    EXPECT_EQ(replaceFileAtomically(file, kNew), std::nullopt);
    EXPECT_EQ(readFile(file), kNew);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"új.tamovid"});
}

// Failing disks: the step fails before writing, after half the bytes, or by writing nothing.
TEST(AtomicFile, AFailingWriteLeavesTheOldFileIntact) {
    struct Case {
        const char* name;
        WriteStep step;
        std::string error;
    };
    const Case cases[] = {
        {"full disk at once",
         [](int, std::string_view) { return std::optional<std::string>("No space left on device"); },
         "No space left on device"},
        {"I/O error half way",
         [](int fd, std::string_view bytes) -> std::optional<std::string> {
             if (auto e = writeAllBytes(fd, bytes.substr(0, bytes.size() / 2))) return e;
             return "Input/output error";
         },
         "Input/output error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto file = dir / "munka.tamovid";
        writeFile(file, kOld);
        EXPECT_EQ(replaceFileAtomically(file, kNew, c.step), c.error);
        EXPECT_EQ(readFile(file), kOld);
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"munka.tamovid"}) << "temporary file left behind";
    }
}

TEST(AtomicFile, UnwritablePlacesFailWithoutTouchingAnything) {
    TempDir dir;
    writeFile(dir / "plain.txt", "x");
    // The folder is a file: the temporary file cannot be made.
    EXPECT_EQ(replaceFileAtomically(dir / "plain.txt" / "p.tamovid", kNew), "Az útvonal egyik tagja nem mappa.");
    EXPECT_EQ(readFile(dir / "plain.txt"), "x");
    // The target is a folder: the rename fails and the folder stays.
    std::filesystem::create_directory(dir / "mappa.tamovid");
    writeFile(dir / "mappa.tamovid" / "inner", "y");
    EXPECT_EQ(replaceFileAtomically(dir / "mappa.tamovid", kNew), "A megadott név egy mappáé.");
    EXPECT_EQ(readFile(dir / "mappa.tamovid" / "inner"), "y");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"mappa.tamovid", "plain.txt"}));
    EXPECT_EQ(replaceFileAtomically(dir / "nincs" / "p.tamovid", kNew), "A fájl vagy a mappa nem található.");
}

TEST(AtomicFile, ASymbolicLinkKeepsPointingAtTheReplacedFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    writeFile(dir / "real" / "p.tamovid", kOld);
    std::filesystem::create_symlink(dir / "real" / "p.tamovid", dir / "link.tamovid");
    EXPECT_EQ(replaceFileAtomically(dir / "link.tamovid", kNew), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tamovid"));
    EXPECT_EQ(readFile(dir / "real" / "p.tamovid"), kNew);
    EXPECT_EQ(namesIn(dir / "real"), std::vector<std::string>{"p.tamovid"});
}

}  // namespace
}  // namespace tamo::test
