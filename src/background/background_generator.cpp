#include "background/background_generator.h"

#include <glib.h>

#include <thread>

#include "background/background_frame.h"
#include "background/still_clip_writer.h"
#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/failure_texts.h"
#include "platform/log.h"
#include "platform/user_media_folder.h"
#include "platform/work_gate.h"
#include "platform/uuid.h"
#include "web/picture_fetch.h"
#include "web/web_address.h"

namespace tamo {
namespace {

const char* errorText(StillClipError error) {
    switch (error) {
        case StillClipError::writer: return "Writer hiba!";
        case StillClipError::bufferPool: return "Buffer pool hiba!";
        case StillClipError::pixelBuffer: return "PixelBuffer hiba!";
        default: return "Videó írás hiba!";
    }
}

std::string fileUrl(const std::filesystem::path& file) {
    gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    if (!uri) return "file://" + file.string();
    std::string text(uri);
    g_free(uri);
    return text;
}

}  // namespace

BackgroundOutcome makeBackgroundClip(const BackgroundPlan& plan, const std::optional<std::string>& imageURL,
                                     const BackgroundOptions& options) {
    DecodedPicture picture;
    // An address that is no URL at all means no picture, silently; one that fails means the colour.
    if (imageURL && isParsableUrl(*imageURL)) {
        DecodedPicture decoded = fetchPicture(*imageURL, options.limits);
        if (decoded) {
            logLine("🖼 Background image downloaded: " + std::to_string(decoded.width) + "x" +
                    std::to_string(decoded.height));
            picture = std::move(decoded);
        } else {
            logLine("⚠️ Failed to download background image, falling back to solid color");
        }
    }

    // The clip becomes the project's video, so it is kept where a reboot does not remove it.
    std::filesystem::path directory = options.directory.empty() ? userMediaFolder() : options.directory;
    BackgroundOutcome outcome;
    outcome.file = directory / ("bg_" + newUuidText() + ".mp4");
    std::error_code ignored;
    std::filesystem::remove(outcome.file, ignored);

    PixbufPtr frame = drawBackgroundFrame(plan.encodeWidth, plan.encodeHeight, plan.color, &picture);
    picture = {};
    if (!frame) {
        outcome.error = "PixelBuffer hiba!";
        return outcome;
    }
    StillClipError error = writeStillClip(outcome.file, frame.get(), {kBackgroundFps, plan.frames, plan.bitRate});
    if (error != StillClipError::none) {
        outcome.error = errorText(error);
        // The encoder does not say why its file could not be made; a read-only or full folder is named.
        if (error == StillClipError::writer) {
            if (auto reason = fileCreationFailure(outcome.file)) outcome.error = std::string(errorText(error)) + " " + *reason;
        }
        return outcome;
    }
    logLine("🎨 Background video generated: " + std::to_string(plan.width) + "x" + std::to_string(plan.height) + ", " +
            secondsText(plan.duration) + "s, image: " + (imageURL ? "true" : "false"));
    return outcome;
}

void startBackgroundVideo(AppDelegate& app, std::int64_t width, std::int64_t height, double duration,
                          const std::string& colorHex, const std::optional<std::string>& imageURL,
                          const BackgroundOptions& options) {
    auto plan = planBackground(width, height, duration, colorHex);
    if (!plan) {
        app.evaluate(scriptcall::onBackgroundError("Érvénytelen méret vagy hossz!"));
        return;
    }
    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    std::thread([weak, work = app.beginWork(), plan = *plan, imageURL, options] {
        auto turn = workGate(WorkKind::Background).enter();  // clips past the bound wait their turn
        BackgroundOutcome outcome = makeBackgroundClip(plan, imageURL, options);
        turn.release();
        AppDelegate::onMain(weak, [outcome, plan, work](AppDelegate& self) {
            if (outcome.error) {
                self.evaluate(scriptcall::onBackgroundError(*outcome.error));
                return;
            }
            self.currentVideoURL = outcome.file;
            nlohmann::json payload = {{"url", fileUrl(outcome.file)},
                                      {"width", plan.width},
                                      {"height", plan.height},
                                      {"duration", plan.duration}};
            if (self.webView) self.webView->shareFile(outcome.file);
            self.evaluate(scriptcall::onBackgroundReady(payload));
        });
    }).detach();
}

void AppDelegate::generateBackgroundVideo(std::int64_t width, std::int64_t height, double duration,
                                          const std::string& colorHex, const std::optional<std::string>& imageURLString) {
    startBackgroundVideo(*this, width, height, duration, colorHex, imageURLString, BackgroundOptions{});
}

}  // namespace tamo
