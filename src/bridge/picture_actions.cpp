// Page actions for pictures: picking one, handing it to the page again, choosing a moved one anew.
#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "media/picture_png.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "platform/texts/picture_texts.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

// "img_" and the first eight upper-case hex digits of a new UUID.
std::string newImageId() { return "img_" + newUuidText().substr(0, 8); }

ChooserOptions pictureChooser() {
    return {texts::picture::kChooserTitle, {"png", "jpg", "jpeg", "gif", "webp", "tiff", "bmp"}, {}};
}

// Decoding opens the file: a FIFO or device would block the main thread, a folder is no picture.
bool refusedAsPicture(const std::filesystem::path& file) {
    auto reason = notRegularFileReason(file);
    if (!reason) return false;
    logLine("❌ Image not opened: " + file.filename().string() + ": " + *reason);
    return true;
}

}  // namespace

void AppDelegate::pickImage() {
    dialogs().chooseFileToOpen(pictureChooser(), [weak =
                                                      weak_from_this()](std::optional<std::filesystem::path> chosen) {
        if (!chosen || refusedAsPicture(*chosen)) return;
        auto self = weak.lock();
        if (!self) return;
        std::string imageId = newImageId();
        // Filed before decoding: the export resolves identifiers, the page only learns of good pictures.
        self->storedImages.emplace(imageId, *chosen);
        auto picture = pictureFileToPng(*chosen);
        if (!picture) return;
        self->evaluate(scriptcall::onImagePicked(imageId, base64Text(picture->png), picture->width, picture->height));
        // U+1F5BC without a variation selector.
        logLine("\U0001F5BC Image picked: " + chosen->filename().string() + " (" + std::to_string(picture->width) +
                "x" + std::to_string(picture->height) + ")");
    });
}

void AppDelegate::reloadImage(const std::string& imageId) {
    // A picture the page asks for but cannot have (its file gone since the project was saved, or
    // filed by an earlier run) is reported, so the page can show it as missing instead of waiting.
    if (imageId.empty()) return;
    auto found = storedImages.find(imageId);
    if (found == storedImages.end() || refusedAsPicture(found->second)) {
        evaluate(scriptcall::onImageMissing(imageId));
        return;
    }
    auto picture = pictureFileToPng(found->second);
    if (!picture) {
        evaluate(scriptcall::onImageMissing(imageId));
        return;
    }
    evaluate(scriptcall::onImageReloaded(imageId, base64Text(picture->png)));
}

void AppDelegate::chooseImageAgain(const std::string& imageId) {
    dialogs().chooseFileToOpen(
        pictureChooser(), [weak = weak_from_this(), imageId](std::optional<std::filesystem::path> chosen) {
            if (!chosen || refusedAsPicture(*chosen)) return;
            auto self = weak.lock();
            if (!self) return;
            // Only a picture that decodes takes the identifier over: a wrong choice keeps the old entry.
            auto picture = pictureFileToPng(*chosen);
            if (!picture) {
                logLine("❌ Image not opened: " + chosen->filename().string());
                return;
            }
            self->storedImages[imageId] = *chosen;
            self->evaluate(scriptcall::onImageReloaded(imageId, base64Text(picture->png)));
            logLine("\U0001F5BC Image chosen again: " + chosen->filename().string() + " (" +
                    std::to_string(picture->width) + "x" + std::to_string(picture->height) + ")");
        });
}

}  // namespace tamo
