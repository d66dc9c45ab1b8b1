#pragma once
#include <filesystem>
#include <memory>

#include "app/media_request.h"
#include "platform/gtk/gtk_page.h"

typedef struct _WebKitWebContext WebKitWebContext;

namespace tamo {

// Serves the files on the allow-list to the page under "tamo-media:///path", from the UI process,
// with byte ranges so the page's <video> can seek. The web process's sandbox stays as narrow as it
// was: it never opens these files itself. Must run before the first web process starts.
void registerMediaScheme(WebKitWebContext* context, std::shared_ptr<MediaAllowList> allowed);

// The page in the window: every file the native side hands it is put on the allow-list.
class MediaSharingPage : public GtkPage {
public:
    MediaSharingPage(WebKitWebView* view, std::shared_ptr<MediaAllowList> allowed)
        : GtkPage(view), allowed_(std::move(allowed)) {}
    void shareFile(const std::filesystem::path& file) override { allowed_->allow(file); }

private:
    std::shared_ptr<MediaAllowList> allowed_;
};

}  // namespace tamo
