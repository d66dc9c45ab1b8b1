#pragma once
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

// The exact texts of the page function calls the native side makes. Pure functions, so the
// call texts can be checked without a page. Every text that is put between single quotes is
// escaped (see js_quote.h); the program's own literals pass through that unchanged.
namespace tamo::scriptcall {

// Compact JSON, or nothing when the value cannot be serialised (for example invalid UTF-8):
// a payload that cannot be written suppresses its call.
std::optional<std::string> jsonPayload(const nlohmann::json& value);

// name + "(" + argument + ")"
std::string call(std::string_view function, std::string_view argument = {});
// name + "('" + escaped text + "')"
std::string callWithText(std::string_view function, std::string_view text);

std::optional<std::string> onVideoLoaded(const nlohmann::json& payload);
std::string onVideoError(std::string_view text);
std::string onImagePicked(std::string_view imageId, std::string_view pngBase64, long long width, long long height);
std::string onImageReloaded(std::string_view imageId, std::string_view pngBase64);
std::string onImageMissing(std::string_view imageId);
std::string showWhisperStatus(std::string_view html);
std::string onWhisperError(std::string_view text);
std::optional<std::string> onWhisperResult(const nlohmann::json& segments);
std::optional<std::string> onUrlFetched(const nlohmann::json& payload);
std::string onUrlFetchedError(std::string_view text);
std::string onNarrationReady(double durationSeconds);
std::string onNarrationError(std::string_view text);
std::string onProductImageReady(std::string_view imageId, std::string_view pngBase64, long long width,
                                long long height);
std::string onProductImageError(std::string_view text);
std::optional<std::string> onBackgroundReady(const nlohmann::json& payload);
std::string onBackgroundError(std::string_view text);
std::string onExportProgress(int percent);
std::string onExportComplete();
std::string onExportCancelled();
std::string onExportError(std::string_view text);
std::optional<std::string> onProjectLoaded(const nlohmann::json& project);
std::string triggerExport();
std::string triggerSaveProject();
// A subtitle file written (its file name) or not written (why).
std::string onSubtitlesSaved(std::string_view fileName);
std::string onSubtitlesError(std::string_view text);
// The project file the page's state now matches: just saved, or just opened (sent before onProjectLoaded).
std::string onProjectSaved(std::string_view fileName);
std::string onProjectOpened(std::string_view fileName);

}  // namespace tamo::scriptcall
