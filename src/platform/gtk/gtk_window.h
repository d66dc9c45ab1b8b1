#pragma once
#include <string>

#include "platform/window.h"

typedef struct _GtkWindow GtkWindow;

namespace tamo {

class GtkMainWindow : public Window {
public:
    explicit GtkMainWindow(GtkWindow* window);
    ~GtkMainWindow() override;
    GtkMainWindow(const GtkMainWindow&) = delete;
    GtkMainWindow& operator=(const GtkMainWindow&) = delete;

    void setTitle(const std::string& title) override;
    GtkWindow* window() const { return window_; }

private:
    GtkWindow* window_;  // weak: cleared when the window is finalized
};

}  // namespace tamo
