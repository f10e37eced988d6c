// SoundClock against a simulated device: callbacks with scheduling jitter,
// the raw position the player derives from them, and the demo querying once
// per frame. The clock must stay close to what is audible, advance by about
// the frame time each frame (no callback-period steps), never go backwards,
// and cope with a late start and a device stall.
#include "platform/SoundClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using platform::SoundClock;

namespace {

// A device that plays continuously from t = 0 (audible ms = t) and asks for
// a period every `periodMs`, `jitter(i)` ms late or early, with two periods
// queued; the raw estimate is what SoundPlayer computes from it.
struct Device {
    double periodMs;
    double maxJitterMs;
    double stallFromMs = 1e300, stallToMs = 1e300; // no callbacks in between

    double jitter(long i) const { // deterministic, in [-max, +max]
        const unsigned h = static_cast<unsigned>(i) * 2654435761u;
        return maxJitterMs * ((h >> 8) % 2001 / 1000.0 - 1.0);
    }
    // Raw position at time t: from the last callback at or before t.
    double raw(double t) const {
        long i = static_cast<long>(std::floor(t / periodMs)) + 1;
        for (; i >= 0; --i) {
            const double at = (i - 1) * periodMs + jitter(i);
            const bool stalled = at >= stallFromMs && at < stallToMs;
            if (at <= t && !stalled) {
                const double handed = (i + 1) * periodMs; // two periods ahead of what plays
                return std::clamp(handed - 2 * periodMs + (t - at), 0.0, handed);
            }
        }
        return 0.0;
    }
};

} // namespace

TEST(SoundClock, FollowsAJitteryDeviceSmoothlyAndNeverBackwards) {
    const Device device{11.6, 4.0};
    SoundClock clock;
    double previous = 0.0, previousT = 0.0;
    for (double t = 0.0; t < 10000.0; t += 16.7) {
        const double pos = clock.track(device.raw(t), t);
        ASSERT_GE(pos, previous) << "backwards at " << t;
        if (t > 500.0) {
            EXPECT_NEAR(pos, t, 8.0) << "far from what is audible at " << t;
            EXPECT_NEAR(pos - previous, t - previousT, 4.0) << "a step at " << t;
        }
        previous = pos;
        previousT = t;
    }
}

TEST(SoundClock, CatchesUpALateStartAndWaitsOutAStall) {
    Device device{23.2, 1.0};
    device.stallFromMs = 3000.0; // the device hangs for 400 ms
    device.stallToMs = 3400.0;
    SoundClock clock;
    double previous = 0.0;
    for (double t = 0.0; t < 6000.0; t += 5.0) {
        // Nothing is heard for the first 120 ms (a slow device start).
        const double raw = t < 120.0 ? 0.0 : device.raw(t - 120.0);
        const double pos = clock.track(raw, t);
        ASSERT_GE(pos, previous) << t;
        if (t > 400.0 && t < 3000.0) {
            EXPECT_NEAR(pos, t - 120.0, 6.0) << t;
        } else if (t >= 3000.0) { // during the stall at most kSnapMs past the device
            EXPECT_LE(pos, raw + SoundClock::kSnapMs + 6.0) << t;
        }
        if (t > 4200.0) {
            EXPECT_NEAR(pos, raw, 6.0) << t; // together again after the stall
        }
        previous = pos;
    }
}
