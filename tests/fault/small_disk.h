#pragma once
// A real small file system for fault injection: a tmpfs of a few hundred kilobytes mounted on a
// fresh folder, which can be filled up or made read-only. Needs root (CI runs as root); elsewhere
// mounted() is false and the tests fall back to a cap on file sizes or a folder without write rights.
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/media_fixtures.h"

namespace tamo::test {

class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes) {
        // TAMO_FAULT_NO_MOUNT=1 tries the fallbacks where mounting would work.
        if (::geteuid() != 0 || std::getenv("TAMO_FAULT_NO_MOUNT")) return;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ = ::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return folder_.path(); }

    // Fills the disk with one file until fewer than `leave` bytes are free.
    void fillLeaving(std::size_t leave) {
        std::ofstream filler(path() / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (std::filesystem::space(path()).available > leave + block.size()) {
            filler.write(block.data(), static_cast<std::streamsize>(block.size()));
            filler.flush();
            if (!filler) break;
        }
    }
    bool makeReadOnly() {
        return ::mount(nullptr, folder_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    TempDir folder_;
    bool mounted_ = false;
};

}  // namespace tamo::test
