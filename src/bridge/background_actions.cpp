// The page action that generates a plain background clip to work on.
#include "bridge/background_actions.h"

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/file_address.h"
#include "platform/texts/background_texts.h"

namespace tamo {
namespace {

constexpr const char* kBackgroundLabel = "hu.tamovideoeditor.background";

}  // namespace

void startBackgroundVideo(AppDelegate& app, std::int64_t width, std::int64_t height, double duration,
                          const std::string& colorHex, const std::optional<std::string>& imageURL,
                          const BackgroundOptions& options) {
    auto plan = planBackground(width, height, duration, colorHex);
    if (!plan) {
        app.evaluate(scriptcall::onBackgroundError(texts::background::kBadSizeOrLength));
        return;
    }
    auto task = [weak = app.weak_from_this(), work = app.beginWork(), plan = *plan, imageURL,
                 options](const CancelFlag& cancel) {
        Outcome<std::filesystem::path> clip = makeBackgroundClip(plan, imageURL, options, cancel);
        if (clip.cancelled()) return;
        AppDelegate::onMain(weak, [clip, plan, work](AppDelegate& self) {
            if (!clip) {
                self.evaluate(scriptcall::onBackgroundError(clip.error()));
                return;
            }
            self.currentVideoURL = *clip;
            nlohmann::json payload = {{"url", fileAddress(*clip).value_or("file://" + clip->string())},
                                      {"width", plan.width},
                                      {"height", plan.height},
                                      {"duration", plan.duration}};
            if (self.webView) self.webView->shareFile(*clip);
            self.evaluate(scriptcall::onBackgroundReady(payload));
        });
    };
    if (!app.services().work->start(kBackgroundLabel, WorkKind::Background, std::move(task)))
        app.evaluate(scriptcall::onBackgroundError(texts::background::kWriteFailed));
}

void AppDelegate::generateBackgroundVideo(std::int64_t width, std::int64_t height, double duration,
                                          const std::string& colorHex,
                                          const std::optional<std::string>& imageURLString) {
    startBackgroundVideo(*this, width, height, duration, colorHex, imageURLString, BackgroundOptions{});
}

}  // namespace tamo
