// Replay: the one walker of the fixed-step grid. It plays the timeline
// unshown from 0 up to a moment, so that the frame then drawn shows exactly
// what a run from 0 on that step shows there. The still, a live seek, a
// frame step, a capture or benchmark that starts late and the warm-up all
// walk the grid through walkGrid; a picture at a moment is showMoment.
#pragma once

#include <functional>

class CApplication;

// The grid the stills are drawn on (--frame's default, a live seek's and a
// frame step's): 30 frames per second of music time.
constexpr int kStillFps = 30;

// What the walker does with one grid frame.
enum class GridStep {
    Advance, // move the state that outlives the frame (each scene's advance), draw nothing
    Draw,    // the whole frame, scissored down to one pixel
    Stop,    // end the walk before this frame
};

// Walks grid frames 0, 1, ... before `to`, `stepMs` apart, on the
// fixed-step clock (which the caller has chosen), doing with each what
// `step(n)` says; a stop signal (SIGINT, SIGTERM, SIGHUP) also ends it, and
// the caller checks that. Returns the frame it stopped before (`to` when it
// walked them all).
long walkGrid(CApplication& app, long to, double stepMs, const std::function<GridStep(long n)>& step);

// Walks the grid frames before `pictureMs` (those at or after 0 and before
// it, `stepMs` apart), so that the picture then drawn at `pictureMs` is
// exactly what a run from 0 shows. Every frame only advances, except the few
// whose GL state a later frame starts from: the last frame of each scene that
// leaves GL state to later ones (the scene table's leavesGlState) and the
// frame just before the picture. Expects the timeline at its start
// (start-up, or restartTimeline). Returns the index of the first grid frame
// at or after `pictureMs`; with `wholeFrames`, also how many frames it drew.
long replayUnshown(CApplication& app, double pictureMs, double stepMs, long* wholeFrames = nullptr);

// The picture at `ms` exactly as a run from 0 on the `stepMs` grid shows it
// (without the spectrum unless the clock gives one): the grid frames before
// it walked, then the picture drawn on the grid's step from the frame before
// it. Expects the timeline at its start; draws nothing after a stop signal.
void showMoment(CApplication& app, double ms, double stepMs);

// One frame at music time `ms`, `stepMs` after the previous one, on the
// fixed-step clock: the frame's inputs set, then advanced and drawn.
void renderFixedStep(CApplication& app, double ms, double stepMs);
// The same frame advanced without drawing (advanceFrame).
void advanceFixedStep(double ms, double stepMs);
