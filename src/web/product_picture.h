#pragma once
#include <filesystem>
#include <string>

#include "platform/cancel_flag.h"
#include "platform/outcome.h"
#include "web/web_limits.h"

namespace tamo {

// A downloaded product picture, kept as "<imageId>.png" in the user's media folder.
struct ProductPicture {
    std::string imageId;  // "product_" and eight hex digits
    std::filesystem::path file;
    std::string png;  // what the page shows
    int width = 0;
    int height = 0;
};

// Downloads the picture (blocking, on a worker) and keeps it. Neither the status nor the content
// type is looked at: what does not decode (cut off, above the pixel limit) is no picture.
// Failure: the transport's Hungarian text, or texts::web::kPictureDownloadFailed; cancelled when the
// flag is raised.
Outcome<ProductPicture> downloadProductPicture(const std::string& url, const WebLimits& limits,
                                               const CancelFlag& cancel = CancelFlag());

}  // namespace tamo
