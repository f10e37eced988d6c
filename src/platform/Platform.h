// Platform layer: the only code that knows the operating system.
//
// Provides, on SDL2 + Mesa OpenGL:
//   - the display: a window with an OpenGL compatibility context, and the
//     offscreen framebuffer that stands in for the back buffer (the frame,
//     1024 x 768 unless asked otherwise), with the 4:3 picture centred in it;
//     present() scales the picture into the window (letterboxed), lets an
//     overlay draw over that in window pixels, and swaps;
//   - events: key presses, mouse clicks and motion, quit requests, one at a time;
//   - fullscreen and a window, switched while running;
//   - the pointer: shown or hidden;
//   - the clock: a monotonic millisecond counter;
//   - the error message box (with the same line always on stderr);
//   - GL entry-point lookup.
// The sound layer has its own header, Sound.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// The design space: every scene is given in these units, and the picture is
// drawn at any size from them.
constexpr int kDesignWidth = 1024;
constexpr int kDesignHeight = 768;
// The default frame, in pixels: what --size replaces (and a hardware
// renderer following its window). The same numbers as the design space, so
// that a default frame draws the design one pixel to a unit.
constexpr int kDefaultFrameWidth = kDesignWidth;
constexpr int kDefaultFrameHeight = kDesignHeight;

struct DisplayOptions {
    bool windowed = false; // a window instead of fullscreen at the desktop's size
    // The window's first size in pixels (0 x 0: 1024 x 768); it may be resized.
    int windowWidth = 0, windowHeight = 0;
    bool headless = false; // SDL's offscreen driver: a real GL context, no window on screen
    // The frame's size in pixels. 0 x 0: 1024 x 768, except that a live
    // display on a hardware renderer follows the window's drawable size
    // (on a software rasteriser every pixel costs, so it stays 1024 x 768).
    int width = 0, height = 0;
    // Live, the frame follows the window's drawable size on any renderer, as
    // it does on a hardware one (--size native); width and height are then 0.
    bool followWindow = false;
    // A debug context whose KHR_debug messages (synchronous) go to stderr one
    // line each; without KHR_debug, glGetError after each presented frame.
    bool glDebug = false;
};

enum class DisplayStatus {
    Open,
    NoScreen,    // no display to open (no X server or Wayland session reached)
    Failed,      // no window, context or framebuffer
    SizeRefused, // the frame is larger than this OpenGL renders
};

// Sets the software rasteriser's thread count (LP_NUM_THREADS, unless the
// user set it) before the GL is opened.
void chooseRasteriserThreads();
// Keeps the memory the GL frees in the process for its next frame.
void keepFreedMemory();

// Opens the window and GL context and makes the offscreen framebuffer the
// draw and read target. On failure says what failed in *error (one line).
DisplayStatus openDisplay(const DisplayOptions& options, std::string* error);
// Releases the framebuffer, context and window. Safe to call when not open.
void closeDisplay();
bool displayOpen();
// True when a real screen is there (not the offscreen or dummy driver).
bool hasScreen();

// A rectangle in window pixels, (x, y) its top-left corner (y grows downward,
// as the pointer's coordinates do).
struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// What present() shows: the window's drawable size and, inside it, the
// rectangle the picture is scaled into (the largest 4:3 one that fits,
// centred; the rest is black).
struct Presentation {
    int windowWidth = 0, windowHeight = 0;
    PixelRect picture;
};
Presentation presentation();

// Shows the finished frame: scales the offscreen framebuffer into the window,
// calls the overlay (if one is set) and swaps. The offscreen framebuffer stays
// bound for drawing afterwards. Headless, nothing is presented and no overlay
// runs.
void present();

// With --gl-debug on a context without KHR_debug: the GL errors raised since
// the last call, one line each on stderr (present() calls it; the headless
// tools after each frame). Otherwise nothing.
void reportGlErrors();

// Drawn over the presented picture, before the swap: the window's own
// framebuffer is then the draw and read target, in window pixels. An overlay
// that changes GL state puts it back (the next frame's picture relies on it).
using Overlay = void (*)(const Presentation& where, void* user);
void setOverlay(Overlay draw, void* user);

// Shows or hides the mouse pointer over the window.
void showPointer(bool shown);

// A rectangle of frame pixels, x and y from the lower left (GL's way).
struct Rect {
    int x, y, width, height;
};

// The largest 4:3 rectangle that fits a width x height area, centred in it
// (1440 x 1080 at x 240 in 1920 x 1080).
Rect fitPicture(int width, int height);

// Whether GL_RENDERER names a software rasteriser (Mesa's llvmpipe or
// softpipe), where every pixel of the frame costs CPU time.
bool softwareRenderer(const char* renderer);

// The frame (the offscreen framebuffer, the size of a still or a video
// frame) and the picture in it (at the render scale); the rest of the frame
// is black bars.
int frameWidth();
int frameHeight();
Rect pictureRect();

// Live frames may draw the picture smaller than its place, at a scale s
// (0 < s <= 1) of it each way: pictureRect() is then the lower-left s-part of
// the place (where the glow corner lies too), and present() scales that part
// up into the window. A live frame sets it, draws, presents and puts it back
// to 1, so everything else (stills, captures, benchmarks, a held picture)
// draws at 1; resizeFrame() puts it back to 1 too.
void setRenderScale(double scale);
double renderScale();
// Waits for the frame's drawing to end where present() would anyway (on a
// software rasteriser), so that what it cost can be timed; else nothing.
void finishFrame();
// The display's refresh interval in ms: 1000 / its refresh rate, or 1000 / 60
// where that cannot be read (no window, the offscreen driver).
double refreshIntervalMs();

// Makes the frame width x height pixels (a window that follows its drawable
// size does this on a resize). The picture shown so far is carried over,
// scaled, so a held frame stays on screen. False, with the frame as it was,
// if the framebuffer could not be made.
bool resizeFrame(int width, int height);

// The letterbox, in three steps of every frame: placePicture() before the
// picture is drawn, clearBars() once it is finished, present() to show it.
//
// Sets the GL viewport to the picture's rectangle in the frame (all of it at
// the design size), which the 1024 x 768 design is mapped onto; returns it.
Rect placePicture();
// Blackens what lies outside the picture (a glow source in the corner, a
// scene's clear colour). Nothing to do when the picture fills the frame,
// nor while a scissor is on (the unshown catch-up draws one pixel).
void clearBars();

// Reads the current frame: width x height x 3 bytes of RGB, first row at the
// top of the picture. `rgb` must hold frameWidth() * frameHeight() * 3 bytes.
void readFrame(unsigned char* rgb);

// The GL framebuffer object that stands in for the back buffer (for tests).
unsigned frameBufferObject();

void* glProcAddress(const char* name);

// One input event: its kind and, for the mouse, where the pointer is. An
// event converts to its kind, so it compares and switches as one
// (`event == platform::Event::Space`).
struct Event {
    enum Kind {
        Escape,   // the Escape key (or q) went down
        OtherKey, // any other key went down
        KeyUp,    // a key was released
        Quit,     // the window was closed or the process was asked to quit
        Other,    // anything else (other mouse buttons, focus, ...)
        // The keys of the live controls (a key going down; held keys repeat).
        Space,    // pause and resume
        Left,     // seek back
        Right,    // seek forward
        Previous, // Page Up or Up: the previous scene
        Next,     // Page Down or Down: the next scene
        Home,     // back to the start
        ToggleOsd,  // o: show or hide the on-screen display
        ToggleInfo, // i: the frame-rate line of the on-screen display
        // Toggles and the sound (a held toggle key does not repeat).
        ToggleFullscreen, // f or F11
        ToggleMute,       // m
        VolumeDown,       // 9 (repeats while held)
        VolumeUp,         // 0 (repeats while held)
        ToggleLoop,       // l
        KeyHelp,          // ? (Shift+/ on a US keyboard) or F1
        SavePicture,      // s: the picture on screen as a PNG
        StepForward,      // . : the next frame (repeats while held)
        StepBack,         // , : the previous frame (repeats while held)
        SoundLater,       // Ctrl and + (or =, or keypad +): the audio delay up a step
        SoundEarlier,     // Ctrl and - (or keypad -): the audio delay down a step
        // The mouse, at (x, y).
        Click,        // the left button went down
        Release,      // the left button went up
        PointerMoved, // the pointer moved
    };
    Kind kind = Other;
    int x = 0, y = 0; // pointer position in window pixels from the top left (Click, PointerMoved)

    Event() = default;
    Event(Kind k, int px = 0, int py = 0) : kind(k), x(px), y(py) {}
    operator Kind() const { return kind; }
};

// Takes one waiting event off the queue; false when the queue is empty.
bool pollEvent(Event* event);

// Monotonic milliseconds since an arbitrary start.
uint64_t monotonicMs();
// Sleeps for about `ms` milliseconds (the paused loop's pace).
void sleepMs(unsigned ms);
// Switches between fullscreen at the desktop's size and a window (its first
// size, 1024 x 768 unless asked otherwise, the first time when the demo
// started fullscreen; else the window's last size and place), with or
// without a window manager. The context, the frame's picture and everything
// else stay; the letterbox, and a frame that follows the window, follow the
// size the window then really has. Nothing while no display is open.
void setFullscreen(bool on);
bool fullscreen();
// Sets the window's title bar text (shown only in a window).
void setWindowTitle(const char* title);

// Shows a modal error box titled `caption` (only when a real screen is
// there) and always prints "paper-weather: text" (DEMO_PROGRAM_NAME) as one
// line on stderr (control characters escaped).
// While errors are gathered it only keeps the text.
void showError(const char* caption, const char* text);
// Start-up gathers its problems (missing or damaged files) instead of showing
// a box for each: on(true) starts afresh, gatheredErrors() lists them so far.
void gatherErrors(bool on);
std::vector<std::string> gatheredErrors();
// Every line on stderr as showError prints it, and one box (with a screen)
// that lists the first kErrorBoxLines of them and how many more there are.
constexpr size_t kErrorBoxLines = 12;
void showErrors(const char* caption, const std::vector<std::string>& lines);

// `text` with its control characters shown as escapes (\n, \t, \x1b), so
// that a file name or value in a message stays on one line.
std::string printable(const std::string& text);

// Folder of the running executable ("" if unknown), and a change of the
// working directory (false if it failed).
std::string executableDir();
bool changeDirectory(const std::string& dir);
bool fileExists(const std::string& path);
// True if `path` is a folder (or a link to one).
bool folderExists(const std::string& path);
// `path` made absolute against the current working directory.
std::string absolutePath(const std::string& path);

// True if `stream` is a terminal (progress bars animate only there).
bool isTerminal(std::FILE* stream);

// True if `name` is an executable on PATH.
bool findProgram(const char* name);
// Where `name` is found on PATH (a name with a '/' as it is), "" if nowhere.
std::string programPath(const char* name);

// Writes width x height RGB pixels (first row at the top) as a PNG file. On
// failure the file is removed and *error (if given) says why in a few words.
bool writePng(const char* path, const unsigned char* rgb, int width, int height, std::string* error = nullptr);

} // namespace platform
