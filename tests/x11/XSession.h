#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Xlib's own typedef; its headers stay out of the tests, whose macros (None, Bool, Status)
// would collide with everyday names.
struct _XDisplay;

namespace xwindow {

using WindowId = unsigned long;

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct Size {
    int width = 0;
    int height = 0;
};

// A client connection to the X server named by DISPLAY, seen the way a user and a window
// manager see the program: windows, properties, pixels, pointer clicks, close requests.
class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Viewable top-level windows whose _NET_WM_PID is `pid`; also finds clients that a
    // window manager has reparented into frames.
    std::vector<WindowId> viewableWindowsOf(pid_t pid);

    // Nothing when the window has gone.
    std::optional<Size> sizeOf(WindowId window);

    // The property's bytes, nothing when it is absent.
    std::optional<std::string> textProperty(WindowId window, const char* name);

    // The colour at window-relative coordinates; nothing when it cannot be read.
    std::optional<Rgb> pixelAt(WindowId window, int x, int y);

    // A left click at window-relative coordinates, through the XTest extension.
    void click(WindowId window, int x, int y);

    // Whether the window lists WM_DELETE_WINDOW in WM_PROTOCOLS.
    bool acceptsCloseRequest(WindowId window);

    // What a window manager sends when the user presses the frame's close button.
    void requestClose(WindowId window);

private:
    std::optional<long> cardinalProperty(WindowId window, const char* name);
    bool isViewable(WindowId window);
    std::vector<WindowId> childrenOf(WindowId window);

    _XDisplay* display_ = nullptr;
};

} // namespace xwindow
