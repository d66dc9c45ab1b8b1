#include "background/background_generator.h"

#include "background/background_frame.h"
#include "background/still_clip_writer.h"
#include "platform/failure_texts.h"
#include "platform/log.h"
#include "platform/texts/background_texts.h"
#include "platform/user_media_folder.h"
#include "platform/uuid.h"
#include "web/picture_fetch.h"
#include "web/web_address.h"

namespace tamo {
namespace {

const char* errorText(StillClipError error) {
    switch (error) {
        case StillClipError::writer: return texts::background::kWriterError;
        case StillClipError::bufferPool: return texts::background::kBufferPoolError;
        case StillClipError::pixelBuffer: return texts::background::kPixelBufferError;
        default: return texts::background::kWriteFailed;
    }
}

}  // namespace

Outcome<std::filesystem::path> makeBackgroundClip(const BackgroundPlan& plan, const std::optional<std::string>& imageURL,
                                     const BackgroundOptions& options, const CancelFlag& cancel) {
    DecodedPicture picture;
    // An address that is no URL at all means no picture, silently; one that fails means the colour.
    if (imageURL && isParsableUrl(*imageURL)) {
        DecodedPicture decoded = fetchPicture(*imageURL, options.limits, cancel);
        if (cancel.raised()) return Failure::cancel();  // the program is quitting: no clip to make
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
    const std::filesystem::path file = directory / ("bg_" + newUuidText() + ".mp4");
    std::error_code ignored;
    std::filesystem::remove(file, ignored);

    PixbufPtr frame = drawBackgroundFrame(plan.encodeWidth, plan.encodeHeight, plan.color, &picture);
    picture = {};
    if (!frame) return fail(texts::background::kPixelBufferError);
    StillClipError error = writeStillClip(file, frame.get(), {kBackgroundFps, plan.frames, plan.bitRate});
    if (error != StillClipError::none) {
        // The encoder does not say why its file could not be made; a read-only or full folder is named.
        if (error == StillClipError::writer) {
            if (auto reason = fileCreationFailure(file)) return fail(std::string(errorText(error)) + " " + *reason);
        }
        return fail(errorText(error));
    }
    logLine("🎨 Background video generated: " + std::to_string(plan.width) + "x" + std::to_string(plan.height) + ", " +
            secondsText(plan.duration) + "s, image: " + (imageURL ? "true" : "false"));
    return file;
}

}  // namespace tamo
