// The music clock, the sync points and the scene schedule.
//
// demoMS is the playback position in ms, read once per frame; every
// animation is a function of it. The sync points are moments at which the
// first four scenes on the timeline cut and flash.
#pragma once

#include "app/SyncPoints.h"
#include "scenes/SceneTable.h"

extern float demoMS;        // music position of this frame, ms
extern float* frequencies;  // spectrum buffer: 10000 floats, entries 0..63 written each frame
extern int currentScene;    // index of the scene that owns the frame (0..11)
extern int syncs[41];       // sync points in ms (SyncPoints.h), ascending, closed by 999999
extern int syncCount;       // sync points before the terminator (kSyncPointCount, counted at start-up)

constexpr int kSyncTerminator = 999999;

// The music track, in the data folder.
constexpr char kTrackFile[] = "demosong.mp3";
// The track InitFMOD starts: kTrackFile, or null to play silently on the
// sound layer's wall clock (--silent, and tests that want no sound).
extern const char* musicFile;

// Index of the last sync point the music has passed (0 before the first).
int getSync();
// 1 just after a sync point, falling linearly to 0 over 500 ms.
float getSyncFloat();
// ms since the last sync point passed (negative before the first).
float getTimeSinceSync();

// The schedule (the scene table's stretches): the index of the scene that
// owns `ms`, or `previous` from 200000 on. Every boundary belongs to the
// later scene.
int sceneForTime(float ms, int previous);
// Counts the sync points (the index of the first terminator).
int countSyncs();

// Starts the music through the sound layer (platform/Sound.h: the track
// decoded with libmpg123, played through SDL's audio, its spectrum made as it
// plays): the last step of start-up, so that music time 0 falls after all
// loading. Without a track (musicFile null) or a sound device the sound
// layer's clock runs on silently. Under the fixed-step clock nothing is
// played.
void InitFMOD();

// The fixed-step clock, for capture, stills and benchmarks: the caller sets
// the position before each frame, and the spectrum comes from `spectrumAt`
// (the decoded track at that position; null gives all zeros).
using SpectrumSource = void (*)(double ms, float* out64);
void useFixedStepClock(SpectrumSource spectrumAt);
// Back to the sound layer's position and spectrum.
void useLiveClock();
void setFixedStepPosition(double ms);
bool fixedStepClock();

// A frame of the schedule that draws nothing: it reads the clock as a frame
// does and lets the owning scene advance only the state that outlives it (its
// share of the rand() sequence). Catching up to a late moment runs these for
// the frames of the scenes that are over.
void advanceFrame();

// Back to the start of the timeline as start-up left it: every scene's moving
// state, the rand() sequence and the texture environment. The next frames
// then play exactly as from the first.
void restartTimeline();
