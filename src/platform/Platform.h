// Platform layer: the only code that knows the operating system.
//
// Provides, on SDL2 + Mesa OpenGL:
//   - the display: a window with an OpenGL compatibility context, and the
//     1024 x 768 offscreen framebuffer that stands in for the back buffer;
//     present() scales it into the window (letterboxed) and swaps;
//   - events: key presses and quit requests, one at a time;
//   - the clock: a monotonic millisecond counter;
//   - the error message box (with the same line always on stderr);
//   - GL entry-point lookup.
// The sound layer has its own header, Sound.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// The picture is always this size, whatever the window's size.
constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 768;

struct DisplayOptions {
    bool windowed = false; // a 1024 x 768 window instead of fullscreen at the desktop's size
    bool headless = false; // SDL's offscreen driver: a real GL context, no window on screen
};

// Sets the software rasteriser's thread count (LP_NUM_THREADS, unless the
// user set it) before the GL is opened.
void chooseRasteriserThreads();

// Opens the window and GL context and makes the offscreen framebuffer the
// draw and read target. On failure returns false and says what failed in *error.
bool openDisplay(const DisplayOptions& options, std::string* error);
// Releases the framebuffer, context and window. Safe to call when not open.
void closeDisplay();
bool displayOpen();
// True when a real screen is there (not the offscreen or dummy driver).
bool hasScreen();

// Shows the finished frame: scales the offscreen framebuffer into the window
// and swaps. The offscreen framebuffer stays bound for drawing afterwards.
void present();

// Reads the current frame: width x height x 3 bytes of RGB, first row at the
// top of the picture. `rgb` must hold kFrameWidth * kFrameHeight * 3 bytes.
void readFrame(unsigned char* rgb);

// The GL framebuffer object that stands in for the back buffer (for tests).
unsigned frameBufferObject();

void* glProcAddress(const char* name);

enum class Event {
    Escape,   // the Escape key went down
    OtherKey, // any other key went down
    KeyUp,    // a key was released
    Quit,     // the window was closed or the process was asked to quit
    Other,    // anything else (mouse motion, focus, ...)
    // The keys of the live controls (a key going down; held keys repeat).
    Space,    // pause and resume
    Left,     // seek back
    Right,    // seek forward
    Previous, // Page Up or Up: the previous scene
    Next,     // Page Down or Down: the next scene
    Home,     // back to the start
};

// Takes one waiting event off the queue; false when the queue is empty.
bool pollEvent(Event* event);

// Monotonic milliseconds since an arbitrary start.
uint64_t monotonicMs();
// Sleeps for about `ms` milliseconds (the paused loop's pace).
void sleepMs(unsigned ms);
// Sets the window's title bar text (shown only in a window).
void setWindowTitle(const char* title);

// Shows a modal error box (only when a real screen is there) and always
// prints "caption: text" as one line on stderr.
void showError(const char* caption, const char* text);

// Folder of the running executable ("" if unknown), and a change of the
// working directory (false if it failed).
std::string executableDir();
bool changeDirectory(const std::string& dir);
bool fileExists(const std::string& path);
// `path` made absolute against the current working directory.
std::string absolutePath(const std::string& path);

// True if `name` is an executable on PATH.
bool findProgram(const char* name);

// Writes width x height RGB pixels (first row at the top) as a PNG file. On
// failure the file is removed and *error (if given) says why in a few words.
bool writePng(const char* path, const unsigned char* rgb, int width, int height, std::string* error = nullptr);

} // namespace platform
