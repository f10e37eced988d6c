// Replay: playing the timeline unshown up to a moment on a fixed step, so
// that the next frame shows exactly what a run from 0 on that step shows
// there. The headless tools start late with it; a live seek uses it too.
#pragma once

class CApplication;

// Plays the grid frames before `pictureMs` (those at or after 0 and before
// it, `stepMs` apart) unshown and scissored down to one pixel, on the
// fixed-step clock (which the caller has chosen), so that the picture then
// drawn at `pictureMs` is what a run from 0 shows. The scene that owns
// `pictureMs` plays all its frames whole, so every one of its updates runs in
// order; a scene that is over by then only advances what it leaves to later
// scenes (its rand() draws), except its last frame, which runs whole so that
// the GL state it leaves behind is there too. Expects the timeline at its
// start (start-up, or restartTimeline). With `maxSceneFrames` > 0 the owning
// scene plays at most that many frames, on longer, equal steps from its
// first grid frame (a live seek's bound on waiting: motion that accumulates
// over frames then lands close to, not exactly on, the still's state).
// Returns the index of the first grid frame at or after `pictureMs`; with
// `wholeFrames`, also how many frames it rendered whole (the rest only advanced).
long replayUnshown(CApplication& app, double pictureMs, double stepMs, long maxSceneFrames = 0,
                   long* wholeFrames = nullptr);

// One frame at music time `ms`, `stepMs` after the previous one, on the
// fixed-step clock.
void renderFixedStep(CApplication& app, double ms, double stepMs);
