#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "media/picture_png.h"
#include "platform/log.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

// "img_" and the first eight upper-case hex digits of a new UUID.
std::string newImageId() { return "img_" + newUuidText().substr(0, 8); }

}  // namespace

void AppDelegate::pickImage() {
    ChooserOptions options{"Kép kiválasztása", {"png", "jpg", "jpeg", "gif", "webp", "tiff", "bmp"}, {}};
    dialogs().chooseFileToOpen(options, [weak = weak_from_this()](std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        auto self = weak.lock();
        if (!self) return;
        std::string imageId = newImageId();
        // Filed before decoding: the export resolves identifiers, the page only learns of good pictures.
        self->storedImages.emplace(imageId, *chosen);
        auto picture = pictureFileToPng(*chosen);
        if (!picture) return;
        self->evaluate(scriptcall::onImagePicked(imageId, base64Text(picture->png), picture->width, picture->height));
        // U+1F5BC without a variation selector.
        logLine("\U0001F5BC Image picked: " + chosen->filename().string() + " (" + std::to_string(picture->width) + "x" +
                std::to_string(picture->height) + ")");
    });
}

void AppDelegate::reloadImage(const std::string& imageId) {
    auto found = storedImages.find(imageId);
    if (found == storedImages.end()) return;
    auto picture = pictureFileToPng(found->second);
    if (!picture) return;
    evaluate(scriptcall::onImageReloaded(imageId, base64Text(picture->png)));
}

}  // namespace tamo
