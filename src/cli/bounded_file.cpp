#include "cli/bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tamo::cli {
namespace {

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

FileText readBoundedFile(const std::filesystem::path& file, std::size_t maxBytes) {
    FileText out;
    const std::string name = file.string();
    // O_NONBLOCK: opening a FIFO with no writer must not hang before we can look at what it is.
    Fd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (in.fd < 0) {
        out.error = "cannot read " + name + ": " + std::strerror(errno);
        return out;
    }
    struct stat st {};
    if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.error = name + " is not a regular file";
        return out;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        out.error = name + " is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB";
        return out;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.error = "cannot read " + name + ": " + std::strerror(errno);
            return out;
        }
        if (n == 0) break;
        // The file may grow while we read it: the limit holds for what is read, not for the size seen first.
        if (text.size() + static_cast<std::size_t>(n) > maxBytes) {
            out.error = name + " is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB";
            return out;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    out.text = std::move(text);
    return out;
}

}  // namespace tamo::cli
