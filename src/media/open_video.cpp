#include <glib.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "media/media_probe.h"
#include "platform/log.h"
#include "platform/number_text.h"

namespace tamo {
namespace {

// "file:///…" with the path percent-encoded; nothing when GLib cannot express the path.
std::optional<std::string> fileUrl(const std::filesystem::path& absolute) {
    gchar* uri = g_filename_to_uri(absolute.c_str(), nullptr, nullptr);
    if (!uri) return std::nullopt;
    std::unique_ptr<gchar, decltype(&g_free)> owned(uri, &g_free);
    return std::string(uri);
}

std::string loadedLine(const std::filesystem::path& file, double width, double height, double duration) {
    return "📹 Video loaded: " + file.filename().string() + " (" + std::to_string(static_cast<long long>(width)) + "x" +
           std::to_string(static_cast<long long>(height)) + ", " + fixedDecimalText(duration, 1) + "s)";
}

}  // namespace

void AppDelegate::openVideo() {
    ChooserOptions options{"Videó megnyitása", {"mp4", "mov", "m4v", "avi", "mkv"}, {}};
    dialogs().chooseFileToOpen(options, [weak = weak_from_this()](std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        if (auto self = weak.lock()) self->loadVideo(*chosen);
    });
}

void AppDelegate::loadVideo(const std::filesystem::path& url) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(url, ec);
    if (ec) absolute = url;
    // The file becomes the current video before it is examined, even if it turns out to hold no picture.
    currentVideoURL = absolute;

    auto info = probeMedia(absolute);
    if (!info || !info->hasVideo) {
        logLine("❌ No video track found");
        return;
    }

    // A file of unknown length has nothing sensible to tell the page; it is still logged.
    double duration = info->duration.value_or(NAN);
    auto uri = fileUrl(absolute);
    if (uri && std::isfinite(duration)) {
        nlohmann::json payload = {{"url", *uri}, {"width", info->width}, {"height", info->height}, {"duration", duration}};
        if (webView) webView->shareFile(absolute);
        evaluate(scriptcall::onVideoLoaded(payload));
    }
    logLine(loadedLine(absolute, info->width, info->height, std::isfinite(duration) ? duration : 0.0));
}

}  // namespace tamo
