#include "platform/gtk/gtk_window.h"

#include <gtk/gtk.h>

namespace tamo {

GtkMainWindow::GtkMainWindow(GtkWindow* window) : window_(window) {
    if (window_) g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
}

GtkMainWindow::~GtkMainWindow() {
    if (window_) g_object_remove_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
}

void GtkMainWindow::setTitle(const std::string& title) {
    if (window_) gtk_window_set_title(window_, title.c_str());
}

}  // namespace tamo
