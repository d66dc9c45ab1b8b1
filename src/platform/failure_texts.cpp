#include "platform/failure_texts.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/texts/file_texts.h"
#include "platform/texts/transport_texts.h"

namespace tamo {

const char* transportFailureText(TransportFailure failure) {
    switch (failure) {
    case TransportFailure::cannotConnect: return texts::transport::kCannotConnect;
    case TransportFailure::nameNotResolved: return texts::transport::kNameNotResolved;
    case TransportFailure::timedOut: return texts::transport::kTimedOut;
    case TransportFailure::tlsFailure: return texts::transport::kTlsFailure;
    case TransportFailure::connectionReset: return texts::transport::kConnectionReset;
    case TransportFailure::tooLarge: return texts::transport::kTooLarge;
    case TransportFailure::badAddress: return texts::transport::kBadAddress;
    case TransportFailure::tooManyRedirects: return texts::transport::kTooManyRedirects;
    case TransportFailure::noAnswer: return texts::transport::kNoAnswer;
    case TransportFailure::other: break;
    }
    return texts::transport::kOther;
}

std::optional<std::string> knownFileFailureText(int errorNumber) {
    switch (errorNumber) {
    case EACCES:
    case EPERM: return texts::file::kNoPermission;
    case EROFS: return texts::file::kReadOnly;
    case ENOSPC:
    case EDQUOT: return texts::file::kNoSpace;
    case ENOENT: return texts::file::kNotFound;
    case ENOTDIR: return texts::file::kNotAFolder;
    case EISDIR: return texts::file::kIsAFolder;
    case ENAMETOOLONG: return texts::file::kNameTooLong;
    case EEXIST: return texts::file::kAlreadyExists;
    case EMFILE:
    case ENFILE: return texts::file::kTooManyOpen;
    case EFBIG: return texts::file::kTooLarge;
    case EIO: return texts::file::kDiskError;
    case EBUSY:
    case ETXTBSY: return texts::file::kBusy;
    case ENOMEM: return texts::file::kOutOfMemory;
    default: return std::nullopt;
    }
}

std::string fileFailureText(int errorNumber) { return knownFileFailureText(errorNumber).value_or(texts::file::kOther); }

std::optional<std::string> fileCreationFailure(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        // An existing name says nothing about the folder: that one is not ours to remove.
        if (errno == EEXIST) return std::nullopt;
        return fileFailureText(errno);
    }
    struct statvfs disk {};
    bool full = ::fstatvfs(fd, &disk) == 0 && disk.f_bavail == 0;
    ::close(fd);
    ::unlink(file.c_str());
    if (full) return fileFailureText(ENOSPC);
    return std::nullopt;
}

}  // namespace tamo
