// Live controls: what a viewer can do while the demo plays (pause, seek 5 s,
// jump between scenes, back to the start), the frame rates they got per
// scene, and the window title that says where the music is.
//
// A seek restarts the timeline and replays it unshown up to the new place on
// the 30 fps grid of the still frames (Replay.h), so the picture goes on with
// the state a still there shows (up to kReplaySceneFrames of the scene sought
// into), and the music seeks with it.
#pragma once

#include "platform/Platform.h"

#include <cstdio>

class CApplication;

namespace live {

constexpr double kSeekStepMs = 5000; // Left and Right
constexpr int kReplayFps = 30;       // the grid a seek replays on, as --frame's
// At most this many frames of the scene sought into are replayed (about a
// third of a second here): deep into a long scene, its frames are replayed
// on longer steps, so motion that builds up frame by frame (falling blocks,
// bubbles) comes close to the still's, not exactly on it. The rand() draws
// of the scenes before it stay exact.
constexpr long kReplaySceneFrames = 240;

// The music time a key asks for, given the time now, or -1 for a key that
// does not seek. Previous and Next go to the start of the scene before the
// one playing and of the one after it (after the last one, the end).
double seekTarget(platform::Event key, double nowMs);

// Picture and music go on from `ms` (0 at the least); past the end of the
// demo, the demo ends (at its very end, it shows the last picture and ends).
void seek(CApplication& app, double ms);

// The frames a viewer got, per scene.
class FrameStats {
public:
    void add(int scene, double frameMs);
    // One line per scene that was shown, in timeline order: frames drawn,
    // mean and slowest frame rate.
    void print(std::FILE* out) const;
    // As it happens: the recent frame time (smoothed over about the last ten
    // frames) and a scene's mean frame time so far, ms (0 before any frame).
    double recentMs() const { return recentMs_; }
    double meanMs(int scene) const;

private:
    double recentMs_ = 0;
    long frames_[12] = {};
    double totalMs_[12] = {};
    double slowestMs_[12] = {};
};

// "Paper Weather - scene 4 - 31.2 s" (DEMO_DISPLAY_NAME), with " - paused" while paused.
void showPlace(int scene, double ms, bool paused);

} // namespace live
