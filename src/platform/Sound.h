// Sound layer: plays the music track once and is the demo's clock.
//
// What the music clock relies on:
//   soundStart     open the track as a stream and start playing it from 0 ms
//   soundUpdate    once per frame
//   soundSpectrum  64 magnitudes of what is heard now, lowest band first
//   soundPositionMs  the music time the picture shows: the playback position
//                  as the listener hears it, plus the audio delay
//   soundStop      stop at the end of the demo
//
// The track is decoded incrementally (TrackReader, libmpg123) inside SDL's
// audio callback and played at its own rate and channel count; the position
// follows the frames the device has played, smoothed between callbacks
// (SoundClock); the spectrum is computeSpectrum (Spectrum.h) of the 128 mono
// frames just before the position.
//
// Failures degrade, never crash, each with one line on stderr: without an
// audio device the track plays silently on SDL's dummy driver (the position
// still runs in real time, the spectrum still comes from the decoded
// samples); without a playable track the demo runs silently on the monotonic
// clock (position = ms since start) with an all-zero spectrum; after the end
// of a short track the position runs on in silence.
//
// Threads: every function here belongs to the main thread. SDL's audio
// thread runs only the callback inside (see SoundPlayer.h for what it shares).
#pragma once

#include "platform/Spectrum.h"

#include <cstdint>
#include <string>

namespace platform {

// Starts the track at `path` (nullptr: no track at all, silent clock). A
// running track is stopped first.
void soundStart(const char* path);
// Once per frame: reports (on stderr, once each) a track that ended early or
// had damaged stretches.
void soundUpdate();
// Writes kSpectrumBands magnitudes into `out`: band k centred on
// k * rate / 128 Hz, 1.0 for a full-scale sine centred in it; all zero
// without a track, after its end and after soundStop.
void soundSpectrum(float* out);
// The music time the picture shows, ms: the playback position from the
// start of the track as it is heard, plus the audio delay (0 at the least).
// Never decreases while playing (but see soundSeek and soundSetDelayMs);
// frozen by soundStop and while paused.
uint32_t soundPositionMs();
// The user's audio delay, ms, counted as video players count it: positive
// delays the sound against the picture (the picture shows music time
// heard + delay), negative delays the picture (for headphones or a
// projector whose sound arrives late). The silent clock keeps it too. The
// spectrum stays with the sound heard. Clamped to +-kMaxAudioDelayMs.
constexpr int kMaxAudioDelayMs = 1000;
void soundSetDelayMs(int ms);
int soundDelayMs();
// How long a frame takes from reading the position to being on screen, ms
// (0 at the start): the live loop sets it each frame, so that the picture
// shows the music heard when the frame appears. Like the delay it is added
// to soundPositionMs(); soundSeek does not count it.
void soundSetLeadMs(double ms);
// Stops playing and releases the device and the decoder.
void soundStop();
// Plays on from music time `ms` as the picture shows it (the sound from
// ms - the delay; past the track's end: silence; the silent clock jumps
// there too). The position restarts exactly there, forwards or backwards
// (with a positive delay, a place before the delay restarts the sound at 0
// and the picture at the delay).
void soundSeek(uint32_t ms);
// Holds the sound and the position still, or goes on from where it stopped.
void soundPause(bool paused);
bool soundPaused();
// Scales what is heard by `gain` (0 silent ... 1 as decoded, the default);
// the position and the spectrum go on as at any volume. Kept for a track
// started later.
void soundSetGain(float gain);
// True while a real decoded track drives the position (not the silent clock),
// from a successful soundStart until soundStop, also after a short track's end.
bool soundHasTrack();

// What the sound layer is doing, for tests, benchmarks and diagnostics.
struct SoundStatus {
    bool track = false;          // as soundHasTrack()
    std::string driver;          // SDL audio driver; "dummy" plays silently; "" without a device
    int rate = 0;                // track frames per second
    int channels = 0;            // track channels
    int periodFrames = 0;        // frames per audio callback
    int queuedPeriods = 0;       // periods still queued in the device when it asks for the next
    int64_t framesDecoded = 0;   // frames taken from the track so far
    int64_t framesHanded = 0;    // frames handed to the device (the track, then silence)
    bool trackEnded = false;     // the decoder reached the end of the track
    int damagedStretches = 0;    // damaged stretches of the file skipped
    double firstCallbackMs = -1; // from soundStart to the first audio callback; -1 before it
    double callbackCpuMs = 0;    // CPU time spent in the audio callback (decoding, mixing)
    double spectrumCpuMs = 0;    // CPU time spent in soundSpectrum
};
SoundStatus soundStatus();

} // namespace platform
