#include <glib.h>

#include <filesystem>
#include <fstream>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/http.h"
#include "platform/log.h"
#include "media/picture_png.h"
#include "platform/user_media_folder.h"
#include "platform/uuid.h"
#include "web/web_address.h"
#include "web/web_operations.h"

namespace tamo {
namespace {

constexpr const char* kShortUserAgent = "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15";
constexpr const char* kDownloadFailed = "Nem sikerült a kép letöltése!";

// A failed write is not fatal: the page still gets the picture, the library entry points nowhere.
void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void startProductImageDownload(AppDelegate& app, const std::string& urlString, const WebLimits& limits) {
    if (!isWebAddress(urlString)) {
        app.evaluate(scriptcall::onProductImageError("Érvénytelen kép URL!"));
        return;
    }
    HttpRequest request;
    request.url = urlString;
    request.headers = {{"User-Agent", kShortUserAgent}};
    request.idleTimeoutSeconds = limits.idleTimeoutSeconds;
    request.totalTimeoutSeconds = limits.totalTimeoutSeconds;
    request.maxBodyBytes = limits.maxPictureBytes;

    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    performHttpAsync(*app.services().work, std::move(request), [weak, work = app.beginWork()](HttpResponse response) {
        if (response.cancelled) return;  // stopped for quitting: nobody to tell
        auto fail = [&](std::string call) {
            AppDelegate::evaluateOnMain(weak, std::move(call), work);
        };
        if (!response.transportOk) {
            if (response.bodyTooLarge || response.errorText.empty()) fail(scriptcall::onProductImageError(kDownloadFailed));
            else fail(scriptcall::onProductImageError(response.errorText));
            return;
        }
        // Neither the status nor the content type is looked at: what does not decode is no picture.
        // Pictures that are cut off or above the pixel limit do not decode either. (The decoder
        // answers decoding and PNG writing as one step, so a failed PNG write, which only running
        // out of memory causes, ends in the same message.)
        std::optional<PngPicture> picture = pictureBytesToPng(response.body);
        response.body.clear();
        response.body.shrink_to_fit();
        if (!picture) return fail(scriptcall::onProductImageError(kDownloadFailed));

        const std::string imageId = "product_" + newUuidText().substr(0, 8);
        // Projects keep the picture's path, so it goes where a reboot does not remove it.
        const std::filesystem::path file = userMediaFolder() / (imageId + ".png");
        writeFile(file, picture->png);

        const int width = picture->width, height = picture->height;
        AppDelegate::onMain(weak, [imageId, file, data = base64Text(picture->png), width, height, work](AppDelegate& self) {
            self.storedImages[imageId] = file;
            self.evaluate(scriptcall::onProductImageReady(imageId, data, width, height));
        });
        logLine("🛍️ Product image downloaded: " + std::to_string(width) + "x" + std::to_string(height));
    });
}

void AppDelegate::downloadProductImage(const std::string& urlString) {
    startProductImageDownload(*this, urlString, WebLimits{});
}

}  // namespace tamo
