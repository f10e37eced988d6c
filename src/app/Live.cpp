// Live controls: see Live.h.
#include "app/Live.h"

#include "app/CApplication.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "platform/Sound.h"

#include <algorithm>
#include <cmath>

namespace live {
namespace {

// The starts of the twelve stretches in timeline order.
struct Starts {
    float ms[12];
    Starts() {
        for (int s = 0; s < 12; ++s) ms[s] = sceneStartMs(s);
        std::sort(ms, ms + 12);
    }
};

} // namespace

double seekTarget(platform::Event key, double nowMs) {
    static const Starts starts;
    // The stretch playing now.
    int now = 0;
    while (now + 1 < 12 && nowMs >= starts.ms[now + 1]) ++now;
    switch (key) {
    case platform::Event::Left: return std::max(0.0, nowMs - kSeekStepMs);
    case platform::Event::Right: return nowMs + kSeekStepMs;
    case platform::Event::Previous: return now > 0 ? starts.ms[now - 1] : 0.0;
    case platform::Event::Next: return now + 1 < 12 ? starts.ms[now + 1] : kDemoEndMs;
    case platform::Event::Home: return 0.0;
    default: return -1;
    }
}

void seek(CApplication& app, double ms) {
    ms = std::max(0.0, ms);
    if (ms >= kDemoEndMs) {
        done = true;
        return;
    }
    // No scene's moving state follows the spectrum, so the replay needs none.
    restartTimeline();
    useFixedStepClock(nullptr);
    const double step = 1000.0 / kReplayFps;
    replayUnshown(app, ms, step, kReplaySceneFrames);
    useLiveClock();
    platform::soundSeek(static_cast<uint32_t>(ms));
    // The replay's own time is no frame time: the next frame starts afresh.
    app.previousFrameTime = CApplication::kUnmeasured;
}

void FrameStats::add(int scene, double frameMs) {
    if (scene < 0 || scene >= 12) return;
    ++frames_[scene];
    totalMs_[scene] += frameMs;
    slowestMs_[scene] = std::max(slowestMs_[scene], frameMs);
}

void FrameStats::print(std::FILE* out) const {
    static const Starts starts;
    std::fprintf(out, "scene  music time (ms)      frames  mean fps  slowest fps\n");
    for (int i = 0; i < 12; ++i)
        for (int s = 0; s < 12; ++s) {
            if (sceneStartMs(s) != starts.ms[i] || frames_[s] == 0) continue;
            const double mean = totalMs_[s] > 0 ? frames_[s] * 1000.0 / totalMs_[s] : 0.0;
            const double slowest = slowestMs_[s] > 0 ? 1000.0 / slowestMs_[s] : 0.0;
            std::fprintf(out, "%5d  %6.0f - %6.0f  %10ld  %8.1f  %11.1f\n", s + 1, starts.ms[i],
                         i + 1 < 12 ? starts.ms[i + 1] : kDemoEndMs, frames_[s], mean, slowest);
        }
}

void showPlace(int scene, double ms, bool paused) {
    char title[96];
    std::snprintf(title, sizeof title, "Demo - scene %d - %.1f s%s", scene + 1, ms / 1000.0,
                  paused ? " - paused" : "");
    platform::setWindowTitle(title);
}

} // namespace live
