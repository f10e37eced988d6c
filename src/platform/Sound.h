// Sound layer: plays the music track once and is the demo's clock.
//
// What the music clock relies on:
//   soundStart     open the track as a stream and start playing it from 0 ms
//   soundUpdate    once per frame
//   soundSpectrum  64 magnitudes of what is heard now, lowest band first
//   soundPositionMs  playback position in ms, as the listener hears it
//   soundStop      stop at the end of the demo
//
// Failures degrade, never crash: with no audio device, or no playable track,
// playback is silent on the monotonic clock (position = ms since start) and
// one line on stderr says why.
#pragma once

#include <cstdint>

namespace platform {

constexpr int kSpectrumBands = 64;

// Starts the track at `path` (nullptr: no track at all, silent clock).
void soundStart(const char* path);
void soundUpdate();
// Writes kSpectrumBands magnitudes into `out`.
void soundSpectrum(float* out);
uint32_t soundPositionMs();
void soundStop();
// True while a real decoded track drives the position (not the silent clock).
bool soundHasTrack();

} // namespace platform
