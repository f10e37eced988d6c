// The soundtrack's composition: tempo map, harmony, melodies and the
// arrangement of every section, written against the demo's fixed picture
// (accents on the sync points the scenes flash on, a new section at every
// scene cut). Relies on instruments.h for the sounds and mixer.h for mixing.
#pragma once

#include <functional>

#include "app/SyncPoints.h"
#include "dsp.h"

namespace musicgen {

// Length of the finished track in seconds.
constexpr double kSongSeconds = 205.0;

// The moments (ms of music time) at which the opening scenes flash: the
// program's own list (SyncPoints.h).
extern const double kSyncMs[kSyncPointCount];

// Renders the first `seconds` of the track (the whole track when seconds is 0
// or more than kSongSeconds) as a mastered stereo mix, reporting progress 0..1.
Stereo renderSong(double seconds, const std::function<void(float)>& progress);

}  // namespace musicgen
