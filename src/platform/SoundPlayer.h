// SoundPlayer: one track playing through an SDL audio device (a real one, or
// the dummy driver that plays silently in real time). Internal to the sound
// layer; Sound.cpp owns at most one.
//
// Glossary: a sample is one value of one channel; a frame is one sample of
// every channel at one instant; a period is the frames of one audio callback.
//
// Threads and what they share:
//   - SDL's audio thread runs only the callback. It owns the TrackReader
//     while the device is open (decodes the next period straight into SDL's
//     buffer, silence after the end: memory stays at one period plus mpg123's
//     frame buffers, and sound starts with the first callback; the file's
//     reads are small and sequential), then, under `mutex_`, appends the mono
//     mix of that period to the history ring and moves the anchor: the count
//     of frames handed to the device and the monotonic time of the callback.
//     Counters that the main thread only reports are atomics.
//   - The main thread (every public function) reads the anchor and 128 frames
//     of the ring under the same mutex; each critical section only copies
//     a few kB, so neither side ever waits long. Opening and closing the
//     device happen-before and after the audio thread (SDL starts and joins it).
//
// Position: frames handed, minus what is still queued in the device
// (queuedPeriods periods), plus the time since the callback at the track's
// rate, never beyond the frames handed; SoundClock smooths that into the
// returned position. Spectrum: computeSpectrum of the 128 mono frames just
// before that position, from the ring.
//
// Seeking and pausing: seek() stops the callback (SDL's device lock), moves
// the decoder and restarts the anchor and the clock at the new place; what is
// already queued in the device (a period or two) still plays out. pause()
// stops the device and freezes the position; resuming seeks to where it
// paused, so picture and sound go on from the same place.
//
// Volume: a gain the callback applies to what it hands to the device, after
// the mono mix is taken, so the spectrum (and the picture that follows it)
// stays the same at any volume; muted is a gain of 0, the device and the
// position running on.
//
// Deliberately not done: looping, more than one track.
#pragma once

#include "platform/Sound.h"
#include "platform/SoundClock.h"
#include "platform/TrackReader.h"

#include <SDL2/SDL_audio.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class SoundPlayer {
public:
    SoundPlayer() = default;
    ~SoundPlayer() { stop(); }
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Opens the track and a device and starts playing from frame 0. False if
    // the track cannot be played at all (the reason is on stderr).
    bool start(const char* path);
    void update();
    double positionMs();
    void spectrum(float* out);
    // Closes the device (joining the audio thread) and the track.
    void stop();
    // Plays on from `ms` (past the track's end: silence, the clock running on).
    void seek(double ms);
    // Holds the sound and the position still (true) or goes on (false).
    void pause(bool paused);
    bool paused() const { return paused_; }
    // What is played is scaled by `gain` (0 silent ... 1 as decoded) from the
    // next period on.
    void setGain(float gain) { gain_.store(gain, std::memory_order_relaxed); }
    SoundStatus status();

private:
    static void SDLCALL audioCallback(void* self, Uint8* stream, int len);
    void fill(float* out, int frames); // audio thread
    bool openDevice();
    bool tryOpenDevice(std::string* why);

    // Set up by start() before the audio thread runs, constant afterwards.
    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    int periodFrames_ = 0;
    int queuedPeriods_ = 0; // periods queued in the device when it asks for the next
    std::string driver_;
    SDL_AudioDeviceID device_ = 0;
    int64_t startNs_ = 0;

    // Audio thread only while the device is open.
    TrackReader reader_;
    std::vector<float> mono_; // one period's mono mix

    // Shared under mutex_.
    std::mutex mutex_;
    std::vector<float> history_; // mono of the last history_.size() frames handed; slot = frame & mask
    int64_t handed_ = 0;         // frames handed to the device
    int64_t anchorNs_ = 0;       // monotonic time of the last callback's start

    // Written by the audio thread, read for reports.
    std::atomic<bool> trackEnded_{false};
    std::atomic<int64_t> framesDecoded_{0};
    std::atomic<int> damaged_{0};
    std::atomic<int64_t> firstCallbackNs_{-1};
    std::atomic<int64_t> callbackCpuNs_{0};
    // Written by the main thread, read by the audio thread.
    std::atomic<float> gain_{1.0f};

    // Main thread only.
    SoundClock clock_;
    int64_t spectrumCpuNs_ = 0;
    bool endReported_ = false;
    bool paused_ = false;
    double pausedAtMs_ = 0; // the position held while paused
    bool damageReported_ = false;
};

} // namespace platform
