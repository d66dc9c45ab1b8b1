#include "export/merge_error_text.h"
#include "platform/texts/export_texts.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace tamo {

std::string mergeErrnoText(int e) {
    switch (e) {
    case ENOSPC: return texts::exporting::kNoSpace;
    case EDQUOT: return texts::exporting::kQuotaExceeded;
    case EACCES:
    case EPERM: return texts::exporting::kNoPermission;
    case EROFS: return texts::exporting::kReadOnly;
    case ENOENT:
    case ENOTDIR: return texts::exporting::kFolderNotFound;
    case ENOMEM: return kOutOfMemoryText;
    case EFBIG: return texts::exporting::kTooLarge;
    case ENAMETOOLONG: return texts::exporting::kNameTooLong;
    case EIO: return texts::exporting::kDiskError;
    default: return texts::exporting::kWriteFailed;
    }
}

std::string mergeErrorText(int averror) {
    if (averror == AVERROR_ENCODER_NOT_FOUND) return texts::exporting::kNoAacEncoder;
    if (averror == AVERROR_INVALIDDATA) return texts::exporting::kBadVideoData;
    // FFmpeg's system errors are negated errno values.
    if (averror < 0 && averror > -4096) return mergeErrnoText(-averror);
    return texts::exporting::kWriteFailed;
}

}  // namespace tamo
