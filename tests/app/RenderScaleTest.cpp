// The render scale's choice, frame by frame, on frame costs given here (a
// machine made of a fixed part and a per-pixel part, no clock): it falls
// before a heavy moment the cost map knows, so that moment's frames already
// fit; it never moves more than a step a frame nor leaves its bounds; it
// climbs back to 1 once the frames fit; fixed, it stays put.
#include "app/RenderScale.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kIntervalMs = 1000.0 / 60;

// Light moments cost 4 layers, 10 to 12 s costs 8.
live::CostMap heavyStretch() { return live::CostMap({{10000, 12000, 8}}, 4); }

// What a frame at `ms` drawn at `scale` costs this machine: `fixedMs` and
// `layerMs` per layer of the whole picture.
struct Machine {
    double fixedMs, layerMs;
    live::CostMap map;
    double costMs(double ms, double scale) const { return fixedMs + layerMs * map.at(ms) * scale * scale; }
};

// Plays frames one interval apart over [fromMs, toMs), each chosen, drawn
// at its scale and measured; checks every step on the way and calls `seen`
// with each frame's music time, scale and cost.
template <typename Seen>
void play(live::RenderScale& rs, const Machine& m, double fromMs, double toMs, Seen seen) {
    double previous = rs.scale();
    for (double ms = fromMs; ms < toMs; ms += kIntervalMs) {
        const double s = rs.choose(ms);
        ASSERT_GE(s, live::RenderScale::kFloor - 1e-12) << ms;
        ASSERT_LE(s, 1.0) << ms;
        ASSERT_LE(std::fabs(s - previous), live::RenderScale::kStep + 1e-12) << ms;
        previous = s;
        const double cost = m.costMs(ms, s);
        rs.measured(ms, s, cost);
        seen(ms, s, cost);
    }
}

TEST(RenderScaleTest, FallsBeforeAKnownHeavyMomentSoItsFramesFitAndClimbsBackAfter) {
    // 3 ms + 2.5 ms a layer: 13 ms the light frames at full size, 23 ms the heavy ones.
    const Machine m{3, 2.5, heavyStretch()};
    live::RenderScale rs(heavyStretch());
    rs.setIntervalMs(kIntervalMs);
    const double budget = kIntervalMs * live::RenderScale::kBudgetShare;
    double beforeHeavy = 1, lowest = 1;
    int heavyOver = 0, lightUnscaledLate = 0;
    play(rs, m, 5000, 14000, [&](double ms, double s, double cost) {
        if (ms < 10000 && ms >= 10000 - kIntervalMs) beforeHeavy = s; // the last light frame
        if (ms < 9000) EXPECT_EQ(s, 1.0) << ms; // light frames fit at full size
        if (ms >= 10000 && ms < 12000) {
            heavyOver += cost > budget + 1e-9;
            lowest = std::min(lowest, s);
        }
        // After the heavy stretch, back to 1 within a ramp's frames.
        if (ms >= 12000 + 12 * kIntervalMs) lightUnscaledLate += s < 1;
    });
    EXPECT_LT(beforeHeavy, 0.9); // lowered ahead, not a frame late
    EXPECT_EQ(heavyOver, 0);     // so every heavy frame fits
    // No lower than needed: 3 + 20 s^2 within the budget gives s of about 0.77.
    EXPECT_GT(lowest, 0.7);
    EXPECT_EQ(lightUnscaledLate, 0);
    EXPECT_EQ(rs.scale(), 1.0);
}

TEST(RenderScaleTest, StaysAtItsFloorWhereNothingFitsAndHoldsWithoutPumping) {
    // A machine where even the floor misses the interval: the floor, no lower.
    Machine slow{10, 10, heavyStretch()};
    live::RenderScale rs(heavyStretch());
    rs.setIntervalMs(kIntervalMs);
    play(rs, slow, 0, 3000, [](double, double, double) {});
    EXPECT_EQ(rs.scale(), live::RenderScale::kFloor);
    // Frames that fit at a scale a little below 1: it settles and holds still
    // (no frame-to-frame pumping up and down).
    Machine tight{2, 3.3, heavyStretch()};
    live::RenderScale settled(heavyStretch());
    settled.setIntervalMs(kIntervalMs);
    int changes = 0;
    double last = 1;
    play(settled, tight, 0, 6000, [&](double ms, double s, double) {
        if (ms > 1000 && s != last) ++changes;
        last = s;
    });
    EXPECT_LT(last, 1.0);
    EXPECT_EQ(changes, 0);
}

TEST(RenderScaleTest, AFixedScaleStaysWhateverTheFramesCost) {
    const Machine m{3, 2.5, heavyStretch()};
    live::RenderScale rs(heavyStretch());
    rs.fix(0.8);
    play(rs, m, 9000, 13000, [](double ms, double s, double) { EXPECT_EQ(s, 0.8) << ms; });
    rs.fix(1);
    play(rs, m, 9000, 13000, [](double ms, double s, double) { EXPECT_EQ(s, 1.0) << ms; });
    rs.fix(0.3); // held to the floor
    EXPECT_EQ(rs.choose(0), live::RenderScale::kFloor);
    rs.fix(0); // automatic again
    EXPECT_TRUE(rs.automatic());
}

TEST(RenderScaleTest, TheBuiltInMapKnowsTheHeavyMomentsAndCoversTheWholeDemo) {
    const live::CostMap map = live::CostMap::builtIn();
    // Scene 1 (14.8 - 29.6 s) is light, Scene 4's opening half second heavier than the rest of it.
    EXPECT_LT(map.at(20000), map.at(35000));
    EXPECT_GT(map.at(29700), map.at(35000));
    EXPECT_GT(map.at(118500), map.at(110000)); // Scene 8's close
    for (double ms = 0; ms <= 200000; ms += 100) EXPECT_GT(map.at(ms), 0) << ms;
}

} // namespace
