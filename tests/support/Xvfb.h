// A real X server for tests of the live window: an Xvfb of the test's own,
// with no window manager, and the demo's window on it found and sent keys
// as the X server delivers a viewer's.
#pragma once

#include "platform/Platform.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <csignal>
#include <string>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testx {

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;

// An Xvfb of the test's own on a display number it picks itself
// (-displayfd), 1920 x 1080: no window manager, nothing else on it.
class Xvfb {
public:
    Xvfb() {
        if (!platform::findProgram("Xvfb")) return;
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // It ends with the test, however the test ends.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char number[16] = {};
        size_t got = 0;
        for (ssize_t n; got + 1 < sizeof number && (n = read(fds[0], number + got, 1)) > 0 && number[got] != '\n';)
            got += static_cast<size_t>(n);
        close(fds[0]);
        if (got > 0) name_ = ":" + std::string(number, got);
        if (!name_.empty()) display_ = XOpenDisplay(name_.c_str());
        // A window that went away between finding it and using it is no
        // reason to end the test (Xlib's own handler exits): the checks
        // after the run say what went wrong.
        XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    }
    ~Xvfb() {
        if (display_) XCloseDisplay(display_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& name() const { return name_; }
    ::Display* display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    ::Display* display_ = nullptr;
};

// The demo's window: a mapped child of the root window named after the demo.
inline ::Window demoWindow(::Display* d) {
    ::Window root = 0, parent = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        char* name = nullptr;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
            XFetchName(d, children[i], &name) && name) {
            if (std::string(name).rfind(DEMO_DISPLAY_NAME, 0) == 0) found = children[i];
        }
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

inline void sendKey(::Display* d, ::Window w, KeySym key) {
    for (const int type : {KeyPress, KeyRelease}) {
        XEvent e{};
        e.xkey.type = type;
        e.xkey.display = d;
        e.xkey.window = w;
        e.xkey.root = DefaultRootWindow(d);
        e.xkey.same_screen = True;
        e.xkey.keycode = XKeysymToKeycode(d, key);
        e.xkey.time = CurrentTime;
        XSendEvent(d, w, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &e);
    }
    XFlush(d);
}

// RGB pixels of a drawable's area, first row at the top.
struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    std::array<int, 3> at(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

inline Shot shoot(::Display* d, ::Window w, int width, int height) {
    Shot s;
    XImage* image = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) return s;
    s.width = width;
    s.height = height;
    s.rgb.resize(static_cast<size_t>(width) * height * 3);
    auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<unsigned char>((pixel >> shift) & mask);
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            unsigned char* o = &s.rgb[(static_cast<size_t>(y) * width + x) * 3];
            o[0] = channel(p, image->red_mask);
            o[1] = channel(p, image->green_mask);
            o[2] = channel(p, image->blue_mask);
        }
    XDestroyImage(image);
    return s;
}

} // namespace testx
