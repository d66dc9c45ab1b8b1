// Page actions that reach the web: a page's text for the product tools, and a product picture.
#include "bridge/web_actions.h"

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "media/picture_png.h"
#include "platform/log.h"
#include "platform/texts/web_texts.h"
#include "web/page_fetch.h"
#include "web/product_picture.h"
#include "web/web_address.h"

namespace tamo {
namespace {

constexpr const char* kFetchLabel = "hu.tamovideoeditor.urlfetch";
constexpr const char* kPictureLabel = "hu.tamovideoeditor.productimage";

}  // namespace

void startUrlFetch(AppDelegate& app, const std::string& urlString, const WebLimits& limits) {
    if (!isWebAddress(urlString)) {
        app.evaluate(scriptcall::onUrlFetchedError(texts::web::kBadPageAddress));
        return;
    }
    auto task = [weak = app.weak_from_this(), work = app.beginWork(), urlString, limits](const CancelFlag& cancel) {
        Outcome<FetchedPage> page = fetchPageText(urlString, limits, cancel);
        if (page.cancelled()) return;
        if (!page) {
            AppDelegate::evaluateOnMain(weak, scriptcall::onUrlFetchedError(page.error()), work);
            return;
        }
        if (auto call = scriptcall::onUrlFetched({{"html", std::move(page->text)}, {"url", urlString}}))
            AppDelegate::evaluateOnMain(weak, std::move(*call), work);
        logLine("🌐 URL fetched: " + urlString + " (" + std::to_string(page->bytes) + " bytes)");
    };
    if (!app.services().work->start(kFetchLabel, WorkKind::Network, std::move(task)))
        app.evaluate(scriptcall::onUrlFetchedError(texts::web::kPageDownloadFailed));
}

void startProductImageDownload(AppDelegate& app, const std::string& urlString, const WebLimits& limits) {
    if (!isWebAddress(urlString)) {
        app.evaluate(scriptcall::onProductImageError(texts::web::kBadPictureAddress));
        return;
    }
    auto task = [weak = app.weak_from_this(), work = app.beginWork(), urlString, limits](const CancelFlag& cancel) {
        Outcome<ProductPicture> picture = downloadProductPicture(urlString, limits, cancel);
        if (picture.cancelled()) return;
        if (!picture) {
            AppDelegate::evaluateOnMain(weak, scriptcall::onProductImageError(picture.error()), work);
            return;
        }
        const int width = picture->width, height = picture->height;
        AppDelegate::onMain(weak, [id = picture->imageId, file = picture->file, data = base64Text(picture->png), width,
                                   height, work](AppDelegate& self) {
            self.storedImages[id] = file;
            self.evaluate(scriptcall::onProductImageReady(id, data, width, height));
        });
        logLine("🛍️ Product image downloaded: " + std::to_string(width) + "x" + std::to_string(height));
    };
    if (!app.services().work->start(kPictureLabel, WorkKind::Network, std::move(task)))
        app.evaluate(scriptcall::onProductImageError(texts::web::kPictureDownloadFailed));
}

void AppDelegate::fetchUrl(const std::string& urlString) { startUrlFetch(*this, urlString, WebLimits{}); }

void AppDelegate::downloadProductImage(const std::string& urlString) {
    startProductImageDownload(*this, urlString, WebLimits{});
}

}  // namespace tamo
