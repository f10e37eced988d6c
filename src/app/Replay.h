// Replay: playing the timeline unshown up to a moment on a fixed step, so
// that the next frame shows exactly what a run from 0 on that step shows
// there. The headless tools start late with it; a live seek uses it too.
#pragma once

class CApplication;

// Plays the grid frames before `pictureMs` (those at or after 0 and before
// it, `stepMs` apart) unshown, on the fixed-step clock (which the caller has
// chosen), so that the picture then drawn at `pictureMs` is exactly what a
// run from 0 shows. Every frame moves the state that outlives it (each
// scene's advance: particles, blocks, positions, its rand() draws) without
// drawing, except the few whose GL state a later frame starts from: the last
// frame of each scene that leaves GL state to later ones (the scene table's
// leavesGlState) and the frame just before the picture, drawn whole but
// scissored down to one pixel. Expects the timeline at its start (start-up,
// or restartTimeline). Returns the index of the first grid frame at or after
// `pictureMs`; with `wholeFrames`, also how many frames it drew.
long replayUnshown(CApplication& app, double pictureMs, double stepMs, long* wholeFrames = nullptr);

// One frame at music time `ms`, `stepMs` after the previous one, on the
// fixed-step clock.
void renderFixedStep(CApplication& app, double ms, double stepMs);
// The same frame advanced without drawing (advanceFrame).
void advanceFixedStep(double ms, double stepMs);
