// Headless tools on the fixed-step clock: video capture, still frames and
// the frame benchmark. No window, no audio device: frames render into the
// offscreen 1024 x 768 framebuffer through SDL's offscreen video driver.
//
// Frame n of a run at F frames per second is at music time n * 1000 / F with
// skip = (1000 / F) / 50. A run that starts inside a scene first plays that
// scene from its start on the same step, unpresented and scissored down to
// one pixel (cheap), so that state built up over frames looks as it would in
// a full capture.
#pragma once

#include "app/Options.h"

// Runs the mode in `options`; returns the process exit status (0 done,
// 1 the display could not be opened or ffmpeg failed, 2 bad arguments).
int runOffline(const Options& options);

// The frames of one run: music times on the step grid plus the catch-up
// frames before them. Exposed for tests.
struct FramePlan {
    double stepMs = 0;      // 1000 / fps
    long catchUpFirst = 0;  // first grid frame of the catch-up (inclusive)
    long first = 0;         // first shown grid frame
    long last = -1;         // last shown grid frame (-1: until the demo ends)
};
FramePlan planFrames(int fps, double fromMs, double toMs, bool toGiven);
