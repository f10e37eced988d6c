// Sound layer: the functions the demo calls (Sound.h). With a playable track
// they drive a SoundPlayer (SDL device, real or dummy). Otherwise the silent
// clock stands in: the position is the time since soundStart on the
// monotonic clock and the spectrum is all zeros.
//
// Threads: all of this runs on the main thread; the player's audio callback
// touches none of the state here.
// Deliberately not done: playing more than one track.
#include "platform/Sound.h"

#include "platform/Platform.h"
#include "platform/SoundPlayer.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace platform {
namespace {

struct SilentClock {
    bool running = false;   // between soundStart and soundStop
    uint64_t startMs = 0;   // monotonic time at which the position heard was 0
    bool paused = false;
    uint32_t pausedAt = 0;  // the position held while paused
};

struct SoundState {
    std::unique_ptr<SoundPlayer> player; // a track is playing (on a real or the dummy device)
    SilentClock silent;                  // no track: the clock alone
    uint32_t stoppedAt = 0;              // position frozen by soundStop
    float gain = 1.0f;                   // what is heard, scaled (soundSetGain)
    int delayMs = 0;                     // the audio delay, ms (soundSetDelayMs)
    double leadMs = 0;                   // a frame's time to the screen, ms (soundSetLeadMs)
};
SoundState state;

uint32_t toPositionMs(double ms) { return static_cast<uint32_t>(std::max(ms, 0.0)); }

} // namespace

void soundStart(const char* path) {
    soundStop();
    state.stoppedAt = 0;
    if (path) {
        auto player = std::make_unique<SoundPlayer>();
        player->setGain(state.gain);
        if (player->start(path)) {
            state.player = std::move(player);
            return;
        }
    }
    state.silent.running = true;
    state.silent.startMs = monotonicMs();
}

void soundUpdate() {
    if (state.player) state.player->update();
}

void soundSpectrum(float* out) {
    if (state.player)
        state.player->spectrum(out);
    else
        std::fill(out, out + kSpectrumBands, 0.0f);
}

namespace {

// The position heard, ms (the silent clock's own, without a track).
double heardMs() {
    if (state.player) return state.player->positionMs();
    if (state.silent.paused) return state.silent.pausedAt;
    // Signed: a seek with a negative delay may start the silent clock before 0.
    return static_cast<double>(static_cast<int64_t>(monotonicMs() - state.silent.startMs));
}

} // namespace

uint32_t soundPositionMs() {
    if (!state.player && !state.silent.running) return state.stoppedAt;
    return toPositionMs(heardMs() + state.delayMs + state.leadMs);
}

void soundSetLeadMs(double ms) { state.leadMs = ms; }

void soundSetDelayMs(int ms) { state.delayMs = std::clamp(ms, -kMaxAudioDelayMs, kMaxAudioDelayMs); }

int soundDelayMs() { return state.delayMs; }

void soundStop() {
    if (state.player || state.silent.running) state.stoppedAt = soundPositionMs();
    if (state.player) {
        state.player->stop();
        state.player.reset();
    }
    state.silent.running = false;
    state.silent.paused = false;
}

void soundSeek(uint32_t ms) {
    // The sound goes to where the picture's time will be heard.
    const double heard = static_cast<double>(ms) - state.delayMs;
    if (state.player) {
        state.player->seek(heard);
    } else if (state.silent.running) {
        // The silent clock may start before 0, so that the picture starts exactly at `ms`.
        state.silent.startMs = monotonicMs() - static_cast<int64_t>(heard);
        state.silent.pausedAt = static_cast<uint32_t>(std::max(heard, 0.0));
    }
}

void soundPause(bool paused) {
    if (state.player) {
        state.player->pause(paused);
    } else if (state.silent.running && paused != state.silent.paused) {
        if (paused) state.silent.pausedAt = toPositionMs(heardMs());
        state.silent.paused = paused;
        if (!paused) state.silent.startMs = monotonicMs() - state.silent.pausedAt;
    }
}

void soundSetGain(float gain) {
    state.gain = std::clamp(gain, 0.0f, 1.0f);
    if (state.player) state.player->setGain(state.gain);
}

bool soundPaused() { return state.player ? state.player->paused() : state.silent.paused; }

bool soundHasTrack() { return state.player != nullptr; }

SoundStatus soundStatus() { return state.player ? state.player->status() : SoundStatus{}; }

} // namespace platform
