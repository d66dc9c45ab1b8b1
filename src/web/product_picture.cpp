#include "web/product_picture.h"

#include <fstream>

#include "media/picture_png.h"
#include "platform/texts/web_texts.h"
#include "platform/user_media_folder.h"
#include "platform/uuid.h"
#include "web/web_get.h"

namespace tamo {
namespace {

constexpr const char* kShortUserAgent = "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15";
constexpr const char* kDownloadFailed = texts::web::kPictureDownloadFailed;

// A failed write is not fatal: the page still gets the picture, the library entry points nowhere.
void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

Outcome<ProductPicture> downloadProductPicture(const std::string& url, const WebLimits& limits,
                                               const CancelFlag& cancel) {
    Outcome<std::string> body = webGet(url, kShortUserAgent, limits.maxPictureBytes, limits, kDownloadFailed, cancel);
    if (!body) return body.failure();
    // The decoder answers decoding and PNG writing as one step, so a failed PNG write, which only
    // running out of memory causes, ends in the same message.
    std::optional<PngPicture> picture = pictureBytesToPng(*body);
    body = std::string();  // the undecoded bytes go before the PNG is kept
    if (!picture) return fail(kDownloadFailed);

    ProductPicture kept;
    kept.imageId = "product_" + newUuidText().substr(0, 8);
    // Projects keep the picture's path, so it goes where a reboot does not remove it.
    kept.file = userMediaFolder() / (kept.imageId + ".png");
    writeFile(kept.file, picture->png);
    kept.png = std::move(picture->png);
    kept.width = picture->width;
    kept.height = picture->height;
    return kept;
}

}  // namespace tamo
