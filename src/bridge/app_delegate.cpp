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
    strong.reset();
    queue->post([app, fn = std::move(fn)] {
        if (auto self = app.lock()) fn(*self);
    });
}

void AppDelegate::evaluateOnMain(const std::weak_ptr<AppDelegate>& app, std::string scriptCall, WorkToken token) {
    onMain(app, [call = std::move(scriptCall), token = std::move(token)](AppDelegate& self) { self.evaluate(call); });
}

}  // namespace tamo
