// Headless tools on the fixed-step clock: video capture, still frames and
// the frame benchmark. No window, no audio device: frames render into the
// offscreen 1024 x 768 framebuffer through SDL's offscreen video driver.
//
// Frame n of a run at F frames per second is at music time n * 1000 / F with
// skip = (1000 / F) / 50. A run that starts late first catches up, unshown,
// so that it shows exactly what a run from 0 shows: the owning scene plays
// from its start on the same step, scissored down to one pixel (cheap), and
// the scenes before it only advance what they leave to later ones (their
// rand() draws) and play their last frame for the GL state they leave.
#pragma once

#include "app/Options.h"

// Runs the mode in `options`; returns the process exit status (0 done,
// 1 the display could not be opened or ffmpeg failed, 2 bad arguments).
int runOffline(const Options& options);

// The frames of one run: music times on the step grid plus the catch-up
// frames before them. Exposed for tests.
struct FramePlan {
    double stepMs = 0;      // 1000 / fps
    long catchUpFirst = 0;  // first grid frame the catch-up plays whole: the owning scene's start
    long first = 0;         // first shown grid frame
    long last = -1;         // last shown grid frame (-1: until the demo ends)
};
FramePlan planFrames(int fps, double fromMs, double toMs, bool toGiven);
