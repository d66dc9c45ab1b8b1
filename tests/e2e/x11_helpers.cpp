// Xlib apart from the tests: its macros (None, Status, Bool) clash with GoogleTest.
#include <X11/Xlib.h>

#include <string>

// Sends WM_PROTOCOLS / WM_DELETE_WINDOW, as a window manager does when the user closes a window.
bool askWindowToClose(const std::string& windowId) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(std::stoul(windowId));
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return sent != 0;
}
