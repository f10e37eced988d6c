// The loop (l, --loop) through the real main loop: keys pushed into SDL's
// queue, frames drawn by the loop's turns on the fixed-step clock and a test
// clock, so that both passes see the same music times and steps. At the end
// every scene starts again exactly as a fresh start: the first seconds of
// the second pass are the first pass's, byte for byte.
#include "scenes/DemoFixture.h"

#include "app/Live.h"
#include "app/Timeline.h"
#include "support/SdlEvents.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using demotest::app;

uint64_t testNow = 0;
uint64_t testClock() { return testNow; }

constexpr double kStepMs = 100;

// One turn that draws the frame at `ms`, kStepMs after the previous one.
void turnAt(double ms) {
    useFixedStepClock(nullptr); // a loop's restart goes back to the live clock
    setFixedStepPosition(ms);
    testNow += static_cast<uint64_t>(kStepMs);
    app.turn();
}

// The frames of the first two seconds, drawn by the loop's turns.
std::vector<std::vector<unsigned char>> firstSeconds() {
    std::vector<std::vector<unsigned char>> frames;
    for (double ms = 0; ms <= 2000; ms += kStepMs) {
        turnAt(ms);
        std::vector<unsigned char> rgb(platform::frameWidth() * platform::frameHeight() * 3);
        platform::readFrame(rgb.data());
        frames.push_back(rgb);
    }
    return frames;
}

TEST(LoopTest, AtTheEndTheDemoStartsAgainAsFromAFreshStartUntilLIsPressedAgain) {
    ASSERT_TRUE(demotest::started);
    app.timeGetTime = testClock;
    app.renderScale.fix(1); // the automatic scale follows what frames cost this machine now
    const std::vector<std::vector<unsigned char>> first = firstSeconds(); // fresh from start-up

    testsdl::pushKey(SDLK_l);
    app.turn();
    ASSERT_TRUE(app.loop);
    live::seek(app, 199800);
    turnAt(199900);
    turnAt(200000);
    EXPECT_FALSE(done);
    turnAt(200100); // past the end: shown, then the start again
    EXPECT_FALSE(done);
    const std::vector<std::vector<unsigned char>> second = firstSeconds();
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_TRUE(first[i] == second[i]) << "frame at " << i * kStepMs << " ms";

    testsdl::pushKey(SDLK_l);
    app.turn();
    ASSERT_FALSE(app.loop);
    live::seek(app, 199900);
    turnAt(200100);
    EXPECT_TRUE(done);
}

} // namespace
