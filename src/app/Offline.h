// Headless tools on the fixed-step clock: video capture, still frames and
// the frame benchmark. No window, no audio device: frames render into the
// offscreen framebuffer (1024 x 768, or --size) through SDL's offscreen
// video driver.
//
// Frame n of a run at F frames per second is at music time n * 1000 / F with
// skip = (1000 / F) / 50. A run that starts late first walks the grid from 0
// unshown (Replay.h), advancing every frame and drawing only those whose GL
// state later frames start from, so that it shows exactly what a run from 0
// shows.
#pragma once

#include "app/Options.h"

#include <string>

// Runs the mode in `options`; returns the process exit status: 0 done;
// 1 the display could not be opened, ffmpeg failed, stalled or wrote no
// video, memory for the frame ran out, or the output could not be written
// (nothing is left behind); 2 bad arguments, an output that is refused, a
// --size larger than this OpenGL renders or than memory allows, or data
// that is missing or damaged (the track, unless --silent, or any image),
// before anything is rendered; 128 + the signal (130, 143,
// 129) when SIGINT, SIGTERM or SIGHUP stopped the run after the current frame.
int runOffline(const Options& options);

// The shown frames of one run, on the step grid (the unshown catch-up before
// them is Replay.h's). Exposed for tests.
struct FramePlan {
    double stepMs = 0;      // 1000 / fps
    long first = 0;         // first shown grid frame
    long last = -1;         // last shown grid frame (-1: until the demo ends)
};
FramePlan planFrames(int fps, double fromMs, double toMs, bool toGiven);
