#include "XSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <bit>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace xwindow {
namespace {

// Windows may vanish between listing and asking, above all while the program quits; a
// failed request then simply yields no answer instead of Xlib's default exit.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

int channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    const unsigned long value = (pixel & mask) >> std::countr_zero(mask);
    const unsigned long maximum = mask >> std::countr_zero(mask);
    return static_cast<int>(value * 255 / maximum);
}

struct PropertyData {
    unsigned char* bytes = nullptr;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    ~PropertyData() {
        if (bytes != nullptr) {
            XFree(bytes);
        }
    }
};

bool readProperty(Display* display, Window window, Atom name, PropertyData& data) {
    unsigned long remaining = 0;
    const int result =
        XGetWindowProperty(display, window, name, 0, 4096, False, AnyPropertyType, &data.type,
                           &data.format, &data.items, &remaining, &data.bytes);
    return result == Success && data.type != None;
}

} // namespace

XSession::XSession() {
    XSetErrorHandler(ignoreXError);
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        throw std::runtime_error("cannot open the X display named by DISPLAY");
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display_);
        throw std::runtime_error("the X server lacks the XTest extension");
    }
}

XSession::~XSession() {
    XCloseDisplay(display_);
}

std::vector<WindowId> XSession::viewableWindowsOf(pid_t pid) {
    std::vector<WindowId> found;
    for (WindowId topLevel : childrenOf(DefaultRootWindow(display_))) {
        std::vector<WindowId> candidates{topLevel};
        if (!cardinalProperty(topLevel, "_NET_WM_PID")) {
            candidates = childrenOf(topLevel);
        }
        for (WindowId window : candidates) {
            if (cardinalProperty(window, "_NET_WM_PID") == pid && isViewable(window)) {
                found.push_back(window);
            }
        }
    }
    return found;
}

std::optional<Size> XSession::sizeOf(WindowId window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) {
        return std::nullopt;
    }
    return Size{attributes.width, attributes.height};
}

std::optional<std::string> XSession::textProperty(WindowId window, const char* name) {
    PropertyData data;
    if (!readProperty(display_, window, XInternAtom(display_, name, False), data)) {
        return std::nullopt;
    }
    const auto length = data.items * static_cast<unsigned long>(data.format / 8);
    return std::string(reinterpret_cast<const char*>(data.bytes), length);
}

std::optional<Rgb> XSession::pixelAt(WindowId window, int x, int y) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) {
        return std::nullopt;
    }
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return std::nullopt;
    }
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    const Visual* visual = attributes.visual;
    return Rgb{channel(pixel, visual->red_mask), channel(pixel, visual->green_mask),
               channel(pixel, visual->blue_mask)};
}

void XSession::click(WindowId window, int x, int y) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    XSync(display_, False);
    // Let the toolkit see the pointer enter and hover before the press, as with a real mouse.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
    XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
    XSync(display_, False);
}

bool XSession::acceptsCloseRequest(WindowId window) {
    Atom* protocols = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display_, window, &protocols, &count)) {
        return false;
    }
    const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    bool found = false;
    for (int i = 0; i < count; ++i) {
        found = found || protocols[i] == deleteWindow;
    }
    XFree(protocols);
    return found;
}

void XSession::requestClose(WindowId window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
}

std::optional<long> XSession::cardinalProperty(WindowId window, const char* name) {
    PropertyData data;
    if (!readProperty(display_, window, XInternAtom(display_, name, False), data) ||
        data.format != 32 || data.items < 1) {
        return std::nullopt;
    }
    // Xlib hands out 32-bit items as longs.
    return *reinterpret_cast<const long*>(data.bytes);
}

bool XSession::isViewable(WindowId window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display_, window, &attributes) &&
           attributes.map_state == IsViewable && attributes.c_class == InputOutput;
}

std::vector<WindowId> XSession::childrenOf(WindowId window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) {
        return {};
    }
    std::vector<WindowId> result(children, children + count);
    if (children != nullptr) {
        XFree(children);
    }
    return result;
}

} // namespace xwindow
