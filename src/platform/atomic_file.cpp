#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>

#include "platform/failure_texts.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

// The user reads this in Hungarian whatever the C library's message catalogs say.
std::string errnoText(int error) { return fileFailureText(error); }

// Closes the descriptor and removes the temporary file unless the rename has taken it over.
class TemporaryFile {
public:
    TemporaryFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(path_.c_str());
    }
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    // close(2) can report a delayed write error, so its result counts.
    std::optional<std::string> close() {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return errnoText(errno);
        return std::nullopt;
    }
    void keep() { kept_ = true; }

private:
    int fd_;
    std::filesystem::path path_;
    bool kept_ = false;
};

// The file a path ends up at: a symbolic link is followed, so the link itself stays in place.
std::filesystem::path finalTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) return resolved;
    }
    return path;
}

void syncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: some file systems refuse it, the rename has happened anyway
    ::close(fd);
}

}  // namespace

std::optional<std::string> refuseUnlessReplaceable(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::nullopt;  // a new file
        return errnoText(errno);
    }
    if (S_ISREG(st.st_mode)) return std::nullopt;
    if (S_ISDIR(st.st_mode)) return errnoText(EISDIR);
    return std::string("not a regular file");
}

void removeQuietly(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

std::optional<std::string> renameOverRegularFile(const std::filesystem::path& finished,
                                                 const std::filesystem::path& target) {
    if (auto refused = refuseUnlessReplaceable(target)) return refused;
    if (::rename(finished.c_str(), target.c_str()) != 0) return errnoText(errno);
    return std::nullopt;
}

std::filesystem::path temporarySibling(const std::filesystem::path& target, const std::string& uniquePart) {
    const std::string suffix = "." + uniquePart + ".tmp";
    std::string stem = target.filename().string();
    // "." + stem + suffix must fit in NAME_MAX bytes; a cut lands on a UTF-8 character boundary.
    const std::size_t room = NAME_MAX > 1 + suffix.size() ? NAME_MAX - 1 - suffix.size() : 0;
    if (stem.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    return target.parent_path() / ("." + stem + suffix);
}

std::optional<std::string> writeAllBytes(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errnoText(errno);
        }
        if (n == 0) return errnoText(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

std::optional<std::string> replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                                 const WriteStep& write) {
    const std::filesystem::path target = finalTarget(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    if (!target.has_filename()) return errnoText(EISDIR);
    if (auto refused = refuseUnlessReplaceable(target)) return refused;

    // Created with the usual 0666 less umask, like a plain write would; an existing file keeps its mode.
    int fd = -1;
    std::filesystem::path tempPath;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        tempPath = folder / temporarySibling(target, newUuidText().substr(0, 8)).filename();
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return errnoText(errno);
    }
    if (fd < 0) return errnoText(EEXIST);
    TemporaryFile temp(fd, tempPath);

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(temp.fd(), old.st_mode & 07777);

    if (auto error = write(temp.fd(), bytes)) return error;
    if (::fsync(temp.fd()) != 0) return errnoText(errno);
    if (auto error = temp.close()) return error;
    if (auto error = renameOverRegularFile(temp.path(), target)) return error;
    temp.keep();
    syncFolder(folder);
    return std::nullopt;
}

}  // namespace tamo
