// The render scale of live play: see RenderScale.h.
#include "app/RenderScale.h"

#include "scenes/SceneTable.h"

#include <algorithm>
#include <cmath>

namespace live {

namespace {

// The whole demo's mean cost of a frame in layers (each scene's own is its
// row's in the scene table; layers, not ms, so that the figures hold on any
// machine: only their ratios matter here), for moments past the end.
constexpr double kDemoMeanLayers = 6.3;

// Moments that cost more than their scene's mean (the same benchmark over
// these stretches alone): Scene 4 opens out of Scene 1's blurred white, its
// glow source drawn, blurred and laid over every frame of its first half
// second; Scene 8's last one and a half seconds, before it closes.
constexpr double kScene4OpeningMs = 500, kScene4OpeningLayers = 10;
constexpr double kScene8ClosingMs = 1500, kScene8ClosingLayers = 9;

// How fast the model forgets: a frame's weight falls to a third in about ten frames.
constexpr double kForget = 0.9;
// Before the frames tell the parts apart (all at one scale and one cost),
// a frame is taken to be this much fixed cost, the rest pixels; the
// assumption weighs as one frame.
constexpr double kPriorFixedShare = 0.2;
// A frame measured beyond this many intervals is a stall (the machine, a
// first use of some GL state), not what the next frames cost.
constexpr double kLongestIntervals = 4;

} // namespace

double CostMap::at(double ms) const {
    for (auto span = spans_.rbegin(); span != spans_.rend(); ++span)
        if (ms >= span->fromMs && ms < span->toMs) return span->layers;
    return elsewhere_;
}

CostMap CostMap::builtIn() {
    std::vector<Span> spans;
    for (int i = 0; i < kSceneCount; ++i)
        spans.push_back({stretchStartMs(i), i + 1 < kSceneCount ? stretchEndMs(i) : 1e12, kScenes[i].costLayers});
    spans.push_back({sceneStartMs(4), sceneStartMs(4) + kScene4OpeningMs, kScene4OpeningLayers});
    const double scene8End = stretchEndMs(timelinePlace(8));
    spans.push_back({scene8End - kScene8ClosingMs, scene8End, kScene8ClosingLayers});
    return CostMap(std::move(spans), kDemoMeanLayers);
}

void RenderScale::setIntervalMs(double ms) {
    if (ms > 0 && std::isfinite(ms)) intervalMs_ = ms;
}

void RenderScale::fix(double scale) {
    fixed_ = scale > 0 ? std::clamp(scale, kFloor, 1.0) : 0;
}

double RenderScale::fitting(double ms, double budgetMs) const {
    const double perPicture = layerMs_ * map_.at(ms); // ms of the whole picture's pixels
    if (perPicture <= 0) return 1;
    const double room = budgetMs - fixedMs_;
    if (room <= 0) return kFloor;
    return std::clamp(std::sqrt(room / perPicture), kFloor, 1.0);
}

double RenderScale::ahead(double atMs, double budgetMs) const {
    // Frame j from now may be kStep x j larger than the next: the next is
    // no larger than any later one's fitting scale less the steps down to it.
    const int frames = static_cast<int>(std::ceil((1 - kFloor) / kStep));
    double s = 1;
    for (int j = 0; j <= frames; ++j) s = std::min(s, fitting(atMs + j * intervalMs_, budgetMs) + j * kStep);
    return s;
}

double RenderScale::choose(double atMs) {
    if (fixed_ > 0) return fixed_;
    if (sw_ <= 0) return scale_; // nothing measured yet
    const double budget = intervalMs_ * kBudgetShare;
    const double down = ahead(atMs, budget);
    if (down < scale_) {
        scale_ = std::max(down, scale_ - kStep);
    } else {
        const double up = ahead(atMs, budget * kClimbShare);
        if (up > scale_) scale_ = std::min(up, scale_ + kStep);
    }
    scale_ = std::clamp(scale_, kFloor, 1.0);
    return scale_;
}

void RenderScale::measured(double atMs, double scale, double workMs) {
    if (!(workMs >= 0) || !(scale > 0)) return;
    const double y = std::min(workMs, kLongestIntervals * intervalMs_);
    const double x = map_.at(atMs) * scale * scale;
    if (sw_ <= 0) {
        priorFixedMs_ = kPriorFixedShare * y;
        priorLayerMs_ = x > 0 ? (1 - kPriorFixedShare) * y / x : 0;
        priorX_ = x;
    }
    sw_ = sw_ * kForget + 1;
    sx_ = sx_ * kForget + x;
    sy_ = sy_ * kForget + y;
    sxx_ = sxx_ * kForget + x * x;
    sxy_ = sxy_ * kForget + x * y;
    fit();
}

void RenderScale::fit() {
    // Least squares of y = fixed + layer x over the weighted frames, pulled
    // toward the first frame's split by one frame's weight (ridge): a run at
    // one scale and cost then still has both parts.
    const double kf = 1, kl = priorX_ * priorX_;
    const double a = sw_ + kf, b = sx_, d = sxx_ + kl;
    const double e = sy_ + kf * priorFixedMs_, f = sxy_ + kl * priorLayerMs_;
    const double det = a * d - b * b;
    if (det <= 0) return;
    fixedMs_ = std::max(0.0, (e * d - b * f) / det);
    layerMs_ = std::max(0.0, (a * f - b * e) / det);
}

} // namespace live
