#include "bridge/app_delegate.h"

namespace tamo {

AppDelegate::AppDelegate(PlatformServices services) : services_(std::move(services)) {
    if (!services_.work) services_.work = std::make_shared<BackgroundWork>();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::evaluate(const std::string& scriptCall) const {
    if (webView) webView->evaluateScript(scriptCall);
}

void AppDelegate::evaluate(const std::optional<std::string>& scriptCall) const {
    if (scriptCall) evaluate(*scriptCall);
}

void AppDelegate::onMain(const std::weak_ptr<AppDelegate>& app, std::function<void(AppDelegate&)> fn) {
    auto strong = app.lock();
    if (!strong) return;
    // The queue outlives this call; the task itself holds the application object only weakly.
    auto queue = strong->services_.mainQueue;
    // The reference taken here is let go on the main thread, just before the task: were it the last
    // one, the application object (and the owner of the background threads with it) would otherwise
    // end on this worker, which that owner would then wait for.
    queue->post([keep = std::move(strong)] {});
    queue->post([app, fn = std::move(fn)] {
        if (auto self = app.lock()) fn(*self);
    });
}

void AppDelegate::evaluateOnMain(const std::weak_ptr<AppDelegate>& app, std::string scriptCall, WorkToken token) {
    onMain(app, [call = std::move(scriptCall), token = std::move(token)](AppDelegate& self) { self.evaluate(call); });
}

}  // namespace tamo
