// SoundClock: a slewed follower of the device's position; see SoundClock.h.
#include "platform/SoundClock.h"

#include <algorithm>

namespace platform {

double SoundClock::track(double rawMs, double nowMs) {
    if (!started_) {
        started_ = true;
        position_ = std::max(rawMs, 0.0);
        lastNowMs_ = nowMs;
        return position_;
    }
    const double dt = std::max(nowMs - lastNowMs_, 0.0);
    lastNowMs_ = nowMs;
    const double predicted = position_ + dt; // real-time rate since the last query
    const double error = rawMs - predicted;
    double next;
    if (error > kSnapMs)
        next = rawMs; // far behind the device (a late start, a stall of ours): catch up at once
    else if (error < -kSnapMs)
        next = position_; // far ahead (the device stalled): wait for it
    else
        next = predicted + error * std::min(dt / kSlewMs, 1.0);
    position_ = std::max(next, position_); // never backwards
    return position_;
}

} // namespace platform
