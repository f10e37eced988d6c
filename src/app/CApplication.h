// The application: the window and GL context, the main loop with its
// frame-time step, what the viewer's keys and pointer do while it plays, and
// the orderly shutdown. Everything else it reaches through two calls:
// precalc() (start-up, Startup.cpp) and run() (one frame, Timeline.cpp).
// demoMain (program.cpp) drives it live; the headless modes (Offline.h) use
// precalc() and run() on the fixed-step clock, without the loop.
#pragma once

#include "app/FrameStep.h"
#include "app/Osd.h"
#include "app/OsdDraw.h"
#include "app/RenderScale.h"
#include "platform/Platform.h"

#include <cstdint>

namespace live {
class FrameStats;
}

extern bool done; // quit flag: the main loop ends when it is true

class CApplication {
public:
    static constexpr uint64_t kUnmeasured = ~uint64_t{0};

    uint64_t currentFrameTime = 0;           // timer at the start of this frame, ms
    uint64_t previousFrameTime = kUnmeasured; // timer of the previous frame, ms
    // The frame timer (monotonic ms); tests put a clock of their own here.
    uint64_t (*timeGetTime)() = platform::monotonicMs;
    // What one frame draws; null means run() and present. Tests replace it.
    void (*drawFrame)() = nullptr;

    // Live controls (Live.h).
    bool paused = false;            // Space: picture and music hold still
    bool scrubbing = false;         // the left button went down on the bar and is still held
    double placeMs = -1;            // where the last seek the viewer asked for went (ms)
    bool placeInTitle = false;      // a window's title shows the scene and time when paused or after a seek
    double stopAtMs = -1;           // --to: the demo ends at this music time (-1: at its own end)
    live::FrameStats* stats = nullptr; // frame intervals counted per scene (--stats, the OSD's second line)
    bool loop = false;              // l, --loop: at the end the demo starts again
    double loopFromMs = 0;          // where a loop starts again (--from)
    int volumePercent = 100;        // 9 and 0, in steps of live::kVolumeStep; kept for the run
    bool muted = false;             // m: silent, the music clock running on
    // The scale live frames draw the picture at (automatic unless fixed,
    // --render-scale); what stands still draws at 1.
    live::RenderScale renderScale;

    // The on-screen display over the presented picture (Osd.h); never headless.
    osd::Osd osd;
    osd::Renderer osdRenderer;

    // Opens the window and context; returns 0, or on failure prints one line
    // naming what failed and returns the exit status for it: 1 (no display or
    // context), 2 (a frame size this OpenGL does not render).
    int init(const platform::DisplayOptions& display);
    void precalc();
    void execute();
    void run();
    // The frame just drawn drawn again, moving nothing (its music time,
    // spectrum and step as they were): a held picture at the render scale
    // now set.
    void redraw();
    void deinit();

    // One turn of the main loop: handles one waiting event, or draws a frame.
    void turn();
    // Measures skip and draws one frame.
    void frame();
    // What a waiting event does: Escape, q and quit requests end the demo,
    // the live controls pause, seek and jump, f and F11 switch fullscreen,
    // m, 9 and 0 work the sound, l the loop, o, i, ? and F1 the on-screen
    // display, and a click on its bar seeks; any other event does nothing.
    // While the key list shows, the next key only hides it.
    void handle(platform::Event event);
    void setPaused(bool on);
    // A seek the viewer asked for: the timeline replayed to `ms`, the picture
    // there drawn exactly as the still there and presented at once.
    void seekAndShow(double ms);
    // A drag along the bar to window column `x` (the button `released`
    // there or still held): the picture there, the music silent until released.
    void drag(int x, bool released);
    // Drawn over each presented picture, before the swap: the OSD; and the
    // pointer shown or hidden.
    void overlay(const platform::Presentation& where);

private:
    int lastScene = -1;        // scene of the previous frame, for the statistics
    uint64_t titleUntil = 0;   // the title shows the place until this time (ms)
    bool pointerShown = false; // the pointer over the window
    double presentLeadMs = 0;  // a frame's time from reading the clock to the screen, smoothed (ms)
    double lastScale = 1;      // the render scale of the picture on screen
    void showPlace();
    void volumeChanged();
};

