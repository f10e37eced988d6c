// What the display needs of X11 that SDL does not give: the size the X
// server really gave the window (SDL reports the size it asked for, which
// differs when nothing honours the request), whether a window manager runs,
// and placing the window where none does. Private to src/platform.
//
// Every function does nothing and returns false for a window that is not an
// X11 one (Wayland, the offscreen driver); the caller then keeps to SDL.
#pragma once

#include <SDL2/SDL.h>

namespace platform::x11 {

// The window's place and size on the screen, in pixels (x, y from the top
// left of the root window).
struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// The window's geometry as the X server has it now (after the requests so
// far have been carried out).
bool windowGeometry(SDL_Window* window, Geometry* geometry);

// Whether a window manager that follows the EWMH conventions (and so acts on
// a fullscreen request) runs on the window's screen.
bool windowManagerRuns(SDL_Window* window);

// Moves and sizes the window to `to` and raises it, waiting until the X
// server has done it (where no window manager runs, nothing else would).
bool placeWindow(SDL_Window* window, const Geometry& to);

} // namespace platform::x11
