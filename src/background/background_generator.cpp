#include "background/background_generator.h"

#include "background/background_frame.h"
#include "background/still_clip_writer.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/texts/background_texts.h"
#include "platform/user_media_folder.h"
#include "platform/uuid.h"
#include "web/picture_fetch.h"
#include "web/web_address.h"

namespace tamo {
Outcome<std::filesystem::path> makeBackgroundClip(const BackgroundPlan& plan,
                                                  const std::optional<std::string>& imageURL,
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
    removeQuietly(file);

    PixbufPtr frame = drawBackgroundFrame(plan.encodeWidth, plan.encodeHeight, plan.color, &picture);
    picture = {};
    if (!frame) return fail(texts::background::kPixelBufferError);
    if (Outcome<> written = writeStillClip(file, frame.get(), {kBackgroundFps, plan.frames, plan.bitRate}); !written)
        return written.failure();
    logLine("🎨 Background video generated: " + std::to_string(plan.width) + "x" + std::to_string(plan.height) + ", " +
            secondsText(plan.duration) + "s, image: " + (imageURL ? "true" : "false"));
    return file;
}

}  // namespace tamo
