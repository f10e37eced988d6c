// Live controls: see Live.h.
#include "app/Live.h"

#include "app/CApplication.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "platform/Output.h"
#include "platform/Sound.h"

#include <algorithm>
#include <cmath>

namespace live {

const KeyUse kKeyUses[] = {
    {"Escape, q", "quit"},
    {"Space", "pause and resume"},
    {"Left, Right", "seek 5 s back, forward"},
    {"Page Up / Up", "the previous scene's start"},
    {"Page Down / Down", "the next scene's start"},
    {"Home", "back to the start"},
    {"f, F11", "fullscreen or a window"},
    {"m", "mute and unmute the music"},
    {"9, 0", "volume down, up (10 % steps)"},
    {"Ctrl + +, Ctrl + -", "the sound 10 ms later, earlier"},
    {"l", "loop: start again at the end"},
    {"o", "show or hide the on-screen display"},
    {"i", "the frame rate and scale on the on-screen display"},
    {". ,", "paused: the next, the previous frame"},
    {"s", "save the picture as a PNG"},
    {"?, F1", "this list, until any key"},
    {"a click on the bar", "seek there; drag along it to scrub"},
};
const int kKeyUseCount = static_cast<int>(sizeof kKeyUses / sizeof kKeyUses[0]);

float volumeGain(int percent, bool muted) {
    if (muted) return 0.0f;
    const float v = static_cast<float>(std::clamp(percent, 0, kVolumeMax)) / kVolumeMax;
    return v * v * v;
}

double seekTarget(platform::Event key, double nowMs) {
    // The stretch playing now.
    int now = 0;
    while (now + 1 < kSceneCount && nowMs >= stretchStartMs(now + 1)) ++now;
    switch (key) {
    case platform::Event::Left: return std::max(0.0, nowMs - kSeekStepMs);
    case platform::Event::Right: return nowMs + kSeekStepMs;
    case platform::Event::Previous: return now > 0 ? stretchStartMs(now - 1) : 0.0;
    case platform::Event::Next: return stretchEndMs(now);
    case platform::Event::Home: return 0.0;
    default: return -1;
    }
}

double stepTarget(double fromMs, int frames) {
    const double step = 1000.0 / kStillFps;
    // The grid frame at or just before `fromMs`, then `frames` on from it. A
    // time within a millisecond of a grid frame is that frame: a float time
    // lies a hair off its frame, and a picture saved there (Snapshot.h) is
    // drawn at its time cut to the millisecond.
    const double at = fromMs / step, slack = 1.0 / step;
    const double n = frames > 0 ? std::floor(at + slack) + frames : std::ceil(at - slack) + frames;
    return std::max(0.0, n * step);
}

void seek(CApplication& app, double ms, bool show) {
    ms = std::max(0.0, ms);
    // Past the end the demo ends; at the end itself its last picture shows first.
    if (ms > kDemoEndMs) {
        done = true;
        return;
    }
    // No scene's moving state follows the spectrum, so the replay needs none.
    restartTimeline();
    useFixedStepClock(nullptr);
    // The picture at the new place, drawn as the still there is (without
    // the spectrum); or only the grid before it, for the next frame to draw.
    if (show)
        showMoment(app, ms, 1000.0 / kStillFps);
    else
        replayUnshown(app, ms, 1000.0 / kStillFps);
    useLiveClock();
    platform::soundSeek(static_cast<uint32_t>(ms));
    // The replay's own time is no frame time: the next frame starts afresh.
    app.previousFrameTime = CApplication::kUnmeasured;
}

void FrameStats::add(int scene, double frameMs, double atMs, double scale) {
    if (scene < 0 || scene >= kSceneCount) return;
    ++frames_[scene];
    totalMs_[scene] += frameMs;
    squaresMs_[scene] += frameMs * frameMs;
    totalScale_[scene] += scale;
    lowestScale_[scene] = frames_[scene] == 1 ? scale : std::min(lowestScale_[scene], scale);
    recentScale_ = scale;
    if (atMs >= 0 && atMs < kSteps * kStepMs) {
        Step& at = steps_[static_cast<int>(atMs / kStepMs)];
        at.slowestMs = std::max(at.slowestMs, static_cast<float>(frameMs));
        at.lowestScale = at.lowestScale > 0 ? std::min(at.lowestScale, static_cast<float>(scale))
                                            : static_cast<float>(scale);
    }
    reachedMs_[scene] = std::max(reachedMs_[scene], atMs + frameMs);
    if (frameMs > slowestMs_[scene] || frames_[scene] == 1) {
        slowestMs_[scene] = frameMs;
        slowestAtMs_[scene] = atMs;
    }
    const double bin = std::floor(std::max(frameMs, 0.0) / kBinMs);
    ++histogram_[scene][bin < kBins ? static_cast<int>(bin) : kBins];
    // An exponential average: steady enough to read, quick to follow a new scene.
    recentMs_ = recentMs_ > 0 ? recentMs_ + (frameMs - recentMs_) * 0.1 : frameMs;
}

double FrameStats::meanMs(int scene) const {
    if (scene < 0 || scene >= kSceneCount || frames_[scene] == 0) return 0;
    return totalMs_[scene] / frames_[scene];
}

double FrameStats::deviationMs(int scene) const {
    if (scene < 0 || scene >= kSceneCount || frames_[scene] == 0) return 0;
    const double mean = totalMs_[scene] / frames_[scene];
    return std::sqrt(std::max(0.0, squaresMs_[scene] / frames_[scene] - mean * mean));
}

double FrameStats::meanScale(int scene) const {
    if (scene < 0 || scene >= kSceneCount || frames_[scene] == 0) return 0;
    return totalScale_[scene] / frames_[scene];
}

double FrameStats::percentileMs(int scene, double share) const {
    if (scene < 0 || scene >= kSceneCount || frames_[scene] == 0) return 0;
    // The rank of the frame time that `share` of the frames keep within.
    const long rank = std::max(1L, static_cast<long>(std::ceil(share * frames_[scene] - 1e-9)));
    long counted = 0;
    for (int bin = 0; bin < kBins; ++bin) {
        counted += histogram_[scene][bin];
        if (counted >= rank) return std::min((bin + 1) * kBinMs, slowestMs_[scene]);
    }
    return slowestMs_[scene]; // among the frames beyond the bins
}

void FrameStats::print(std::FILE* out, double fromMs, double toMs) const {
    auto fps = [](double ms) { return ms > 0 ? 1000.0 / ms : 0.0; };
    std::fprintf(out, "scene  music time (ms)      frames  mean fps  slowest fps  p95 fps  p99 fps  slowest at (ms)"
                      "  sd (ms)  mean scale  lowest scale\n");
    for (int i = 0; i < kSceneCount; ++i) {
        const int s = stretchScene(i);
        if (frames_[s] == 0) continue;
        const double mean = totalMs_[s] > 0 ? frames_[s] * 1000.0 / totalMs_[s] : 0.0;
        const double from = std::max<double>(stretchStartMs(i), fromMs);
        const double to = std::max(from, std::min<double>({stretchEndMs(i), toMs, reachedMs_[s]}));
        std::fprintf(out, "%5d  %6.0f - %6.0f  %10ld  %8.1f  %11.1f  %7.1f  %7.1f  %15.1f  %7.1f  %10.2f  %12.2f\n",
                     s + 1, from, to, frames_[s], mean, fps(slowestMs_[s]), fps(percentileMs(s, 0.95)),
                     fps(percentileMs(s, 0.99)), slowestAtMs_[s], deviationMs(s), meanScale(s), lowestScale_[s]);
    }
}

void showPlace(int scene, double ms, bool paused) {
    char title[96];
    std::snprintf(title, sizeof title, DEMO_DISPLAY_NAME " - scene %d - %.1f s%s", scene + 1, ms / 1000.0,
                  paused ? " - paused" : "");
    platform::setWindowTitle(title);
}

} // namespace live
