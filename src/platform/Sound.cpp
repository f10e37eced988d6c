// Sound layer, first form: the silent clock. The position is the time since
// soundStart on the monotonic clock and the spectrum is all zeros. It is the
// fallback whenever there is no audio device or no playable track.
#include "platform/Sound.h"

#include "platform/Platform.h"

#include <algorithm>

namespace platform {
namespace {
struct SilentClock {
    bool running = false;   // between soundStart and soundStop
    uint64_t startMs = 0;   // monotonic time of soundStart
    uint32_t stoppedAt = 0; // position frozen by soundStop
};
SilentClock silent;
} // namespace

void soundStart(const char* /*path*/) {
    silent.running = true;
    silent.startMs = monotonicMs();
}

void soundUpdate() {}

void soundSpectrum(float* out) { std::fill(out, out + kSpectrumBands, 0.0f); }

uint32_t soundPositionMs() {
    if (!silent.running) return silent.stoppedAt;
    return static_cast<uint32_t>(monotonicMs() - silent.startMs);
}

void soundStop() {
    if (silent.running) silent.stoppedAt = soundPositionMs();
    silent.running = false;
}

bool soundHasTrack() { return false; }

} // namespace platform
