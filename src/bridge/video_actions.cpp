// Page actions that open the clip: choosing it, loading it, and bringing back the clip of unsaved
// work of an earlier run.
#include <glib.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "media/media_probe.h"
#include "platform/file_address.h"
#include "platform/log.h"
#include "platform/number_text.h"
#include "platform/regular_file.h"
#include "platform/texts/video_texts.h"

namespace tamo {
namespace {

std::string loadedLine(const std::filesystem::path& file, double width, double height, double duration) {
    return "📹 Video loaded: " + file.filename().string() + " (" + std::to_string(static_cast<long long>(width)) + "x" +
           std::to_string(static_cast<long long>(height)) + ", " + fixedDecimalText(duration, 1) + "s)";
}

}  // namespace

void AppDelegate::openVideo() {
    ChooserOptions options{texts::video::kChooserTitle, {"mp4", "mov", "m4v", "avi", "mkv"}, {}};
    dialogs().chooseFileToOpen(options, [weak = weak_from_this()](std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        if (auto self = weak.lock()) self->loadVideo(*chosen);
    });
}

bool AppDelegate::loadVideo(const std::filesystem::path& url) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(url, ec);
    if (ec) absolute = url;

    // The file becomes the current video only once it has been examined and found playable: a
    // broken file must not replace the clip the page still shows (export, transcription and
    // saving would all use the broken one). The page hears of the failure.
    auto refuse = [this](const std::string& logText, const std::string& pageText) {
        logLine(logText);
        evaluate(scriptcall::onVideoError(pageText));
        return false;
    };
    // Before any open: libavformat blocks for ever on a FIFO, and a folder or device is no video.
    if (auto reason = notRegularFileReason(absolute)) {
        std::string pageText = *reason == "not found"  ? texts::video::kNotFound
                               : *reason == "a folder" ? texts::video::kIsAFolder
                                                       : texts::video::kNotARegularFile;
        return refuse("❌ Video not opened: " + absolute.filename().string() + ": " + *reason, pageText);
    }
    auto info = probeMedia(absolute);
    if (!info) return refuse("❌ No video track found", texts::video::kNotMedia);
    if (!info->hasVideo) return refuse("❌ No video track found", texts::video::kNoVideoTrack);
    // The page cannot place anything on a clip of unknown length, nor show a path it cannot address.
    double duration = info->duration.value_or(NAN);
    if (!std::isfinite(duration) || duration < 0)
        return refuse("❌ Video length unknown: " + absolute.filename().string(), texts::video::kUnknownLength);
    auto uri = fileAddress(absolute);
    if (!uri)
        return refuse("❌ Video not opened: " + absolute.filename().string() + ": no file address",
                      texts::video::kNoFileAddress);
    nlohmann::json payload = {{"url", *uri}, {"width", info->width}, {"height", info->height}, {"duration", duration}};
    auto call = scriptcall::onVideoLoaded(payload);
    if (!call)
        return refuse("❌ Video not opened: " + absolute.filename().string() + ": name is not UTF-8",
                      texts::video::kNameNotReadable);

    currentVideoURL = absolute;
    if (webView) webView->shareFile(absolute);  // the page may preview it
    evaluate(*call);
    logLine(loadedLine(absolute, info->width, info->height, duration));
    return true;
}

void AppDelegate::restoreVideo(const std::string& fileUrl) {
    // Only a local file that is still there: the address comes from the page's storage.
    GError* error = nullptr;
    char* hostname = nullptr;
    char* name = g_filename_from_uri(fileUrl.c_str(), &hostname, &error);
    g_clear_error(&error);
    std::unique_ptr<char, decltype(&g_free)> ownedName(name, g_free), ownedHost(hostname, g_free);
    std::error_code ec;
    if (!name || (hostname && *hostname) || !std::filesystem::is_regular_file(name, ec)) {
        logLine("❌ Video to restore not found: " + fileUrl.substr(0, 300));
        return;
    }
    loadVideo(name);
}

}  // namespace tamo
