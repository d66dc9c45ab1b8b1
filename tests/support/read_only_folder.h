#pragma once
// A folder this process cannot create files in, also when the tests run as root (as CI does,
// where permission bits alone stop nobody): it is made read-only and a root process acts as the
// user "nobody" while the guard lives. Its parent is opened for others to pass through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace tamo::test {

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::filesystem::path& folder) : folder_(folder) {
        std::filesystem::create_directories(folder_);
        ::chmod(folder_.parent_path().c_str(), 0755);
        ::chmod(folder_.c_str(), 0555);
        if (::geteuid() != 0) return;
        EXPECT_EQ(::setegid(65534), 0);
        EXPECT_TRUE(droppedRoot_ = ::seteuid(65534) == 0) << "cannot act as nobody";
    }
    ~ReadOnlyFolder() {
        if (droppedRoot_) (void)(::seteuid(0) + ::setegid(0));
        ::chmod(folder_.c_str(), 0755);  // the temporary folder must be removable again
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    std::filesystem::path folder_;
    bool droppedRoot_ = false;
};

}  // namespace tamo::test
