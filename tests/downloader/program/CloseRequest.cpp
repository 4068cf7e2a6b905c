// Apart from the tests: Xlib's names (Window, None, Bool) collide with theirs.
#include <gtest/gtest.h>
// After the test framework, whose names its macros would change.
#include <X11/Xlib.h>

#include <string>

void RequestClose(const std::string& windowId)
{
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(windowId);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);
}
