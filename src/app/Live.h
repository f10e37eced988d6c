// Live controls: what a viewer can do while the demo plays (pause, seek 5 s,
// jump between scenes, back to the start, fullscreen, volume, loop), the
// keys for it in one table, the frame rates they got per scene, and the
// window title that says where the music is.
//
// A seek restarts the timeline and replays it unshown up to the new place on
// the 30 fps grid of the still frames (Replay.h), so the picture goes on with
// exactly the state a still there shows, and the music seeks with it.
#pragma once

#include "platform/Platform.h"
#include "scenes/SceneTable.h"

#include <cstdio>
#include <string>

class CApplication;

namespace live {

constexpr double kSeekStepMs = 5000; // Left and Right

// Every key and what it does, in the order --help and the key list on the
// on-screen display (? or F1) give them.
struct KeyUse {
    const char* keys; // "Left, Right"
    const char* does; // "seek 5 s back, forward"
};
extern const KeyUse kKeyUses[];
extern const int kKeyUseCount;

// The volume keys' steps (percent), from silent to as decoded.
constexpr int kVolumeStep = 10;
constexpr int kVolumeMax = 100;
// The gain for a volume in percent, on a cubic curve (as PulseAudio's and
// mpv's volumes): each step sounds about as loud a change as the next,
// where a linear gain would crowd every audible change into the last few.
// Muted: 0.
float volumeGain(int percent, bool muted);

// The music time a key asks for, given the time now, or -1 for a key that
// does not seek. Previous and Next go to the start of the scene before the
// one playing and of the one after it (after the last one, the end).
double seekTarget(platform::Event key, double nowMs);

// The frame `frames` steps (+1 the next, -1 the previous) from `fromMs` on
// the 30 fps grid of the stills: from a time between two grid frames, the
// next is the one after it and the previous the one before it; a time within
// a millisecond of a grid frame counts as that frame. 0 at the least.
double stepTarget(double fromMs, int frames);

// Picture and music go on from `ms` (0 at the least); past the end of the
// demo, the demo ends (at its very end, it shows the last picture and ends).
// With `show`, the picture at `ms` is drawn too, exactly the still there
// (without the spectrum), ready to be presented; else the next frame draws.
void seek(CApplication& app, double ms, bool show = false);

// The frames a viewer got, per scene.
class FrameStats {
public:
    // A frame of `scene` that showed music time `atMs`, lasted `frameMs` and
    // drew the picture at render scale `scale`.
    void add(int scene, double frameMs, double atMs = 0, double scale = 1);
    // One line per scene that was shown, in timeline order: the part of its
    // stretch that played (within the run's `fromMs` to `toMs`, up to where
    // its last frame's time ended), frames drawn, mean and slowest frame
    // rate, the rates that 95 % and 99 % of its frames reached (the 95th and
    // 99th percentile frame times), the music time its slowest frame showed,
    // the spread of its frame times (standard deviation, ms), and its mean
    // and lowest render scale.
    void print(std::FILE* out, double fromMs = 0, double toMs = kDemoEndMs) const;
    // As it happens: the recent frame time (smoothed over about the last ten
    // frames) and a scene's mean frame time so far, ms (0 before any frame);
    // the last frame's render scale.
    double recentMs() const { return recentMs_; }
    double recentScale() const { return recentScale_; }
    double meanMs(int scene) const;
    // A scene's frame times' standard deviation (ms) and its mean render
    // scale (0 before any frame).
    double deviationMs(int scene) const;
    double meanScale(int scene) const;
    // The frame time `share` (0.95, 0.99) of a scene's frames kept within,
    // ms (nearest rank, to the next kBinMs, never above its slowest frame;
    // 0 before any frame).
    double percentileMs(int scene, double share) const;

    static constexpr double kBinMs = 0.1; // the frame-time histogram's resolution
    static constexpr int kBins = 2000;    // up to 200 ms; slower frames share one more

    // Along the music time, in steps of kStepMs over the whole demo: the
    // slowest frame and the lowest render scale among the frames that showed
    // a moment of the step (0 where none did), for the plot (--stats-plot).
    struct Step {
        float slowestMs = 0;
        float lowestScale = 0;
    };
    static constexpr double kStepMs = 100;
    static constexpr int kSteps = static_cast<int>(kDemoEndMs / kStepMs) + 1;
    const Step& step(int i) const { return steps_[i]; }

private:
    double recentMs_ = 0;
    double recentScale_ = 1;
    long frames_[kSceneCount] = {};
    double totalMs_[kSceneCount] = {};
    double squaresMs_[kSceneCount] = {}; // sum of the squared frame times, for the spread
    double totalScale_[kSceneCount] = {};
    double lowestScale_[kSceneCount] = {};
    double slowestMs_[kSceneCount] = {};
    double slowestAtMs_[kSceneCount] = {};
    double reachedMs_[kSceneCount] = {}; // the latest music time a frame of the scene lasted until
    // Frames per kBinMs of frame time: a bounded record of a run of any
    // length (a loop plays on), counted without allocating.
    unsigned histogram_[kSceneCount][kBins + 1] = {};
    Step steps_[kSteps] = {};
};

// Writes a run's frames as a picture (--stats-plot): the slowest frame time
// and the lowest render scale against the music time the run covered, the
// scenes' starts marked and numbered, lines at 16.7 and 33.3 ms (60 and 30
// fps) and at scales 1 and 0.6. False, with why in *error, if it could not.
bool writeStatsPlot(const FrameStats& stats, const std::string& path, std::string* error);

// "Paper Weather - scene 4 - 31.2 s" (DEMO_DISPLAY_NAME), with " - paused" while paused.
void showPlace(int scene, double ms, bool paused);

} // namespace live
