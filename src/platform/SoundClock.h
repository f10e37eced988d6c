// SoundClock: turns the audio device's coarse, jittery idea of the playback
// position into the position the demo reads once per frame: smooth (it
// advances with the monotonic clock between audio callbacks, no steps of a
// callback period), never backwards, and close to what is audible.
//
// Input, once per query: the raw position in ms (frames handed to the device,
// minus those still queued in it, plus the time since the last callback; see
// SoundPlayer) and the monotonic time in ms. The clock runs at real-time rate
// and slews towards the raw position with time constant kSlewMs; it jumps
// forward when more than kSnapMs behind, and waits (holds still) when more
// than kSnapMs ahead, so its error stays within the callbacks' jitter.
//
// Threads: plain value type, used by the main thread only.
// Deliberately not done: any knowledge of devices, rates or files.
#pragma once

namespace platform {

class SoundClock {
public:
    static constexpr double kSlewMs = 100.0; // time constant of the correction
    static constexpr double kSnapMs = 50.0;  // beyond this error: jump or wait

    void reset() { started_ = false; }
    // Position in ms at time `nowMs` given the raw estimate `rawMs`.
    double track(double rawMs, double nowMs);
    // The last position returned (0 before the first track call).
    double positionMs() const { return started_ ? position_ : 0.0; }

private:
    bool started_ = false;
    double position_ = 0.0; // ms
    double lastNowMs_ = 0.0;
};

} // namespace platform
