// X11 window queries and placement: see X11Window.h. Xlib is reached through
// the Display and Window SDL's X11 driver hands out (SDL_syswm.h).
#include "platform/X11Window.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace platform::x11 {
namespace {

struct Handles {
    ::Display* display = nullptr;
    ::Window window = 0;
};

bool handlesOf(SDL_Window* window, Handles* h) {
    if (!window) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    h->display = info.info.x11.display;
    h->window = info.info.x11.window;
    return h->display != nullptr && h->window != 0;
}

} // namespace

bool windowGeometry(SDL_Window* window, Geometry* geometry) {
    Handles h;
    if (!handlesOf(window, &h)) return false;
    XSync(h.display, False);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(h.display, h.window, &attributes)) return false;
    // Under a window manager the window sits in its frame: the place on the
    // root window is translated from the frame's.
    ::Window child = 0;
    int x = attributes.x, y = attributes.y;
    XTranslateCoordinates(h.display, h.window, attributes.root, 0, 0, &x, &y, &child);
    *geometry = {x, y, attributes.width, attributes.height};
    return true;
}

bool windowManagerRuns(SDL_Window* window) {
    Handles h;
    if (!handlesOf(window, &h)) return false;
    // An EWMH window manager names its check window on the root window.
    const Atom check = XInternAtom(h.display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(h.display, DefaultRootWindow(h.display), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &items, &after, &data);
    const bool runs = status == Success && type == XA_WINDOW && items == 1;
    if (data) XFree(data);
    return runs;
}

bool placeWindow(SDL_Window* window, const Geometry& to) {
    Handles h;
    if (!handlesOf(window, &h) || to.width < 1 || to.height < 1) return false;
    XMoveResizeWindow(h.display, h.window, to.x, to.y, static_cast<unsigned>(to.width),
                      static_cast<unsigned>(to.height));
    XRaiseWindow(h.display, h.window);
    XSync(h.display, False);
    return true;
}

} // namespace platform::x11
