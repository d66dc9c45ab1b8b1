#include "export/merge_error_text.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace tamo {

std::string mergeErrnoText(int e) {
    switch (e) {
    case ENOSPC: return "Nincs elég hely a lemezen";
    case EDQUOT: return "Elfogyott a lemezkvóta";
    case EACCES:
    case EPERM: return "Nincs jogosultság a fájl írásához";
    case EROFS: return "A célhely csak olvasható";
    case ENOENT:
    case ENOTDIR: return "A célmappa nem található";
    case ENOMEM: return kOutOfMemoryText;
    case EFBIG: return "A fájl túl nagy";
    case ENAMETOOLONG: return "Túl hosszú fájlnév";
    case EIO: return "Lemezhiba (írás vagy olvasás)";
    default: return "Az exportált fájl írása nem sikerült";
    }
}

std::string mergeErrorText(int averror) {
    if (averror == AVERROR_ENCODER_NOT_FOUND) return "Nincs AAC hangkódoló";
    if (averror == AVERROR_INVALIDDATA) return "Hibás adat a videóban";
    // FFmpeg's system errors are negated errno values.
    if (averror < 0 && averror > -4096) return mergeErrnoText(-averror);
    return "Az exportált fájl írása nem sikerült";
}

}  // namespace tamo
