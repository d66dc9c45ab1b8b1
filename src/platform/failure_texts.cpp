#include "platform/failure_texts.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

namespace tamo {

const char* transportFailureText(TransportFailure failure) {
    switch (failure) {
        case TransportFailure::cannotConnect: return "Nem sikerült kapcsolódni a kiszolgálóhoz.";
        case TransportFailure::nameNotResolved: return "A kiszolgáló neve nem található.";
        case TransportFailure::timedOut: return "A kérés időtúllépés miatt megszakadt.";
        case TransportFailure::tlsFailure: return "Nem sikerült biztonságos kapcsolatot létesíteni a kiszolgálóval.";
        case TransportFailure::connectionReset: return "A kapcsolat megszakadt.";
        case TransportFailure::tooLarge: return "A válasz nagyobb a megengedettnél.";
        case TransportFailure::badAddress: return "Érvénytelen webcím.";
        case TransportFailure::tooManyRedirects: return "Túl sok átirányítás.";
        case TransportFailure::noAnswer: return "A kiszolgáló nem küldött választ.";
        case TransportFailure::other: break;
    }
    return "Hálózati hiba történt.";
}

std::optional<std::string> knownFileFailureText(int errorNumber) {
    switch (errorNumber) {
        case EACCES:
        case EPERM: return "Nincs jogosultság a fájlhoz vagy a mappájához.";
        case EROFS: return "A célhely csak olvasható.";
        case ENOSPC:
        case EDQUOT: return "Nincs elég szabad hely a lemezen.";
        case ENOENT: return "A fájl vagy a mappa nem található.";
        case ENOTDIR: return "Az útvonal egyik tagja nem mappa.";
        case EISDIR: return "A megadott név egy mappáé.";
        case ENAMETOOLONG: return "A fájlnév túl hosszú.";
        case EEXIST: return "A fájl már létezik.";
        case EMFILE:
        case ENFILE: return "Túl sok fájl van megnyitva.";
        case EFBIG: return "A fájl túl nagy.";
        case EIO: return "Lemezhiba történt olvasás vagy írás közben.";
        case EBUSY:
        case ETXTBSY: return "A fájlt egy másik folyamat használja.";
        case ENOMEM: return "Nincs elég memória.";
        default: return std::nullopt;
    }
}

std::string fileFailureText(int errorNumber) {
    return knownFileFailureText(errorNumber).value_or("Fájlhiba történt.");
}

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
