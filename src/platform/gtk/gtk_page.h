#pragma once
#include <string>

#include "platform/page.h"

typedef struct _WebKitWebView WebKitWebView;

namespace tamo {

// The editor page inside a WebKitWebView. Script calls are evaluated with no completion; once the
// view is gone they are dropped.
class GtkPage : public Page {
public:
    explicit GtkPage(WebKitWebView* view);
    ~GtkPage() override;
    GtkPage(const GtkPage&) = delete;
    GtkPage& operator=(const GtkPage&) = delete;

    void evaluateScript(const std::string& script) override;
    WebKitWebView* view() const { return view_; }

private:
    WebKitWebView* view_;  // weak: cleared by GObject when the view is finalized
};

}  // namespace tamo
