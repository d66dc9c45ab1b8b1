#include "platform/gtk/gtk_page.h"

#include <webkit/webkit.h>

namespace tamo {

GtkPage::GtkPage(WebKitWebView* view) : view_(view) {
    if (view_) g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
}

GtkPage::~GtkPage() {
    if (view_) g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
}

void GtkPage::evaluateScript(const std::string& script) {
    if (!view_) return;
    webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

}  // namespace tamo
