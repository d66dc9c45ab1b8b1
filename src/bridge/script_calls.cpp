#include "bridge/script_calls.h"

#include "bridge/js_quote.h"
#include "platform/number_text.h"

namespace tamo::scriptcall {
namespace {

std::optional<std::string> callWithPayload(std::string_view function, const nlohmann::json& value) {
    auto text = jsonPayload(value);
    if (!text) return std::nullopt;
    return call(function, *text);
}

std::string pictureLiteral(std::string_view imageId, std::string_view pngBase64) {
    std::string text = "{imageId:";
    text += singleQuoted(imageId);
    text += ",dataURL:";
    text += singleQuoted(std::string("data:image/png;base64,") + std::string(pngBase64));
    return text;
}

std::string pictureWithSize(std::string_view imageId, std::string_view pngBase64, long long w, long long h) {
    return pictureLiteral(imageId, pngBase64) + ",width:" + std::to_string(w) + ",height:" + std::to_string(h) + "}";
}

}  // namespace

std::optional<std::string> jsonPayload(const nlohmann::json& value) {
    try {
        return value.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::string call(std::string_view function, std::string_view argument) {
    std::string text(function);
    text += '(';
    text += argument;
    text += ')';
    return text;
}

std::string callWithText(std::string_view function, std::string_view text) {
    return call(function, singleQuoted(text));
}

std::optional<std::string> onVideoLoaded(const nlohmann::json& payload) {
    return callWithPayload("onVideoLoaded", payload);
}

std::string onVideoError(std::string_view text) { return callWithText("onVideoError", text); }

std::string onImagePicked(std::string_view imageId, std::string_view pngBase64, long long width, long long height) {
    return call("onImagePicked", pictureWithSize(imageId, pngBase64, width, height));
}

std::string onImageReloaded(std::string_view imageId, std::string_view pngBase64) {
    return call("onImageReloaded", pictureLiteral(imageId, pngBase64) + "}");
}

std::string onImageMissing(std::string_view imageId) { return callWithText("onImageMissing", imageId); }

std::string showWhisperStatus(std::string_view html) {
    return call("showWhisperStatus", singleQuoted(html) + ", false");
}

std::string onWhisperError(std::string_view text) { return callWithText("onWhisperError", text); }

std::optional<std::string> onWhisperResult(const nlohmann::json& segments) {
    return callWithPayload("onWhisperResult", segments);
}

std::optional<std::string> onUrlFetched(const nlohmann::json& payload) {
    return callWithPayload("onUrlFetched", payload);
}

std::string onUrlFetchedError(std::string_view text) {
    return call("onUrlFetched", "{error:" + singleQuoted(text) + "}");
}

std::string onNarrationReady(double durationSeconds) {
    return call("onNarrationReady", "{duration:" + fixedDecimalText(durationSeconds, 1) + "}");
}

std::string onNarrationError(std::string_view text) { return callWithText("onNarrationError", text); }

std::string onProductImageReady(std::string_view imageId, std::string_view pngBase64, long long width,
                                long long height) {
    return call("onProductImageReady", pictureWithSize(imageId, pngBase64, width, height));
}

std::string onProductImageError(std::string_view text) { return callWithText("onProductImageError", text); }

std::optional<std::string> onBackgroundReady(const nlohmann::json& payload) {
    return callWithPayload("onBackgroundReady", payload);
}

std::string onBackgroundError(std::string_view text) { return callWithText("onBackgroundError", text); }

std::string onExportProgress(int percent) { return call("onExportProgress", std::to_string(percent)); }

std::string onExportComplete() { return call("onExportComplete"); }

std::string onExportCancelled() { return call("onExportCancelled"); }

std::string onExportError(std::string_view text) { return callWithText("onExportError", text); }

std::optional<std::string> onProjectLoaded(const nlohmann::json& project) {
    return callWithPayload("onProjectLoaded", project);
}

std::string triggerExport() { return call("triggerExport"); }

std::string triggerSaveProject() { return call("triggerSaveProject"); }

std::string onSubtitlesSaved(std::string_view fileName) { return callWithText("onSubtitlesSaved", fileName); }

std::string onSubtitlesError(std::string_view text) { return callWithText("onSubtitlesError", text); }

std::string onProjectSaved(std::string_view fileName) { return callWithText("onProjectSaved", fileName); }

std::string onProjectOpened(std::string_view fileName) { return callWithText("onProjectOpened", fileName); }

}  // namespace tamo::scriptcall
