// The render scale of live play: the share s of the picture's place (in
// each direction) that a live frame draws, so that the frame fits the
// display's refresh interval; the present scales it up to the window.
//
// The scale is chosen ahead, per frame, from a model of what a frame costs:
// a fixed part (geometry, the 128 x 128 glow work, clears) and a part that
// grows with the pixels drawn, fitted to the last frames' measured costs; and
// from a cost map, what each moment of the music costs relative to the
// others, so that the frames before a heavier moment are already drawn
// smaller when it comes. It moves at most kStep a frame, between kFloor and 1,
// and climbs back only while the frames fit with room to spare, so it does
// not pump. Everything it knows is handed to it (the costs, the interval):
// no clock of its own, no GL. A picture that stands still (paused, a seek's
// first picture, a step, the headless tools) is never scaled: the callers
// draw those at 1.
#pragma once

#include <utility>
#include <vector>

namespace live {

// The relative cost of each moment's picture, in layers (one blended quad
// over the whole picture), by music time: spans, and a cost where none lies.
class CostMap {
public:
    struct Span {
        double fromMs, toMs; // [fromMs, toMs)
        double layers;
    };
    CostMap() = default; // every moment alike
    CostMap(std::vector<Span> spans, double elsewhere) : spans_(std::move(spans)), elsewhere_(elsewhere) {}
    // The cost at `ms`: the last span holding it, or the cost elsewhere.
    double at(double ms) const;
    // The program's own: each scene's mean cost at 1024 x 768, and the
    // moments that cost more than their scene's mean (RenderScale.cpp says
    // where the figures come from).
    static CostMap builtIn();

private:
    std::vector<Span> spans_;
    double elsewhere_ = 1;
};

class RenderScale {
public:
    static constexpr double kFloor = 0.6; // below this the picture goes visibly soft
    static constexpr double kStep = 0.05; // the most it moves a frame
    // Of the display's interval, the share a frame's drawing may take (the
    // rest is the present's: its scaled copy, the display and the swap).
    static constexpr double kBudgetShare = 0.88;
    // It climbs only where the frames would still fit this share of the budget.
    static constexpr double kClimbShare = 0.9;

    explicit RenderScale(CostMap map = CostMap::builtIn()) : map_(std::move(map)) {}

    // The display's refresh interval, ms (1000 / 60 unless told otherwise).
    void setIntervalMs(double ms);
    // A fixed scale (kFloor ... 1), or 0 for automatic (the default).
    void fix(double scale);
    bool automatic() const { return fixed_ <= 0; }

    // The scale of the frame that will show music time `atMs` (the next
    // frames are expected one interval apart after it).
    double choose(double atMs);
    // The frame drawn at `scale`, showing `atMs`, took `workMs` to draw (to
    // the end of its rasterisation).
    void measured(double atMs, double scale, double workMs);
    // The scale chosen last (1 before any).
    double scale() const { return fixed_ > 0 ? fixed_ : scale_; }

private:
    // The largest scale at which a frame at `ms` fits `budgetMs`, in bounds.
    double fitting(double ms, double budgetMs) const;
    // The largest scale for the next frame that lets every frame of the
    // next kStep-limited ramp fit `budgetMs`.
    double ahead(double atMs, double budgetMs) const;
    void fit();

    CostMap map_;
    double intervalMs_ = 1000.0 / 60;
    double fixed_ = 0;
    double scale_ = 1;
    // The last frames' costs, weighted down by kForget a frame: sums over
    // frames of w, w x, w y, w x x, w x y, x = layers x scale^2, y = ms.
    double sw_ = 0, sx_ = 0, sy_ = 0, sxx_ = 0, sxy_ = 0;
    double priorFixedMs_ = 0, priorLayerMs_ = 0, priorX_ = 0; // from the first frame measured
    // The model as fitted so far: ms a frame costs whatever its size, and ms
    // per layer of the whole picture (0 before any frame was measured).
    double fixedMs_ = 0, layerMs_ = 0;
};

} // namespace live
