// A still anywhere in the demo shows what a run from 0 shows at that moment:
// the earlier scenes' share of the rand() sequence and the texture
// environment they leave behind are there, not only the owning scene's state.
#include "app/DemoProcess.h"
#include "scenes/DemoFixture.h"
#include "app/Replay.h"
#include "app/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class ReplayTest : public DemoTest {};

// Pixels of the still at `ms` (top-left 256 x 256) darker than a quarter
// of full brightness, set by differingPixels.
long darkCornerPixels = -1;

// Pixels of the last rendered frame that differ from the still at `ms`.
long differingPixels(const Frame& full, double ms, int fps) {
    const std::string out = testgl::tmpDir() + "/replay-" + std::to_string(static_cast<long>(ms)) + ".png";
    const RunResult r = runDemo({"--frame", std::to_string(static_cast<long>(ms)), "--fps", std::to_string(fps),
                                 "--silent", "--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<unsigned char> still = decodePng(out);
    if (still.size() != 1024u * 768 * 3) {
        ADD_FAILURE() << "still at " << ms << " ms has " << still.size() << " bytes";
        return -1;
    }
    darkCornerPixels = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const unsigned char* q = &still[(static_cast<size_t>(y) * 1024 + x) * 3];
            darkCornerPixels += q[0] < 64 && q[1] < 64 && q[2] < 64;
        }
    long differing = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            const auto p = full.at(x, y);
            const unsigned char* q = &still[(static_cast<size_t>(y) * 1024 + x) * 3];
            differing += p[0] != q[0] || p[1] != q[1] || p[2] != q[2];
        }
    return differing;
}

// One run from 0 on a 2 fps grid (here, in this process), checked against
// stills at moments that depend on what earlier scenes did: the bubbles of
// the sphere room draw from rand() after the LED wall and the flower swarm,
// the overlays after 89300 ms need the texture environment the blob leaves.
TEST_F(ReplayTest, StillsEqualTheFramesOfARunFromZero) {
    const int fps = 2;
    const double step = 1000.0 / fps;
    std::vector<double> checks = {16000, 92000, 112000, 125000, 160000, 186000};
    // And 2 s before the end of every scene, on this grid: deep in it, where
    // most of its frames were only advanced.
    for (int i = 0; i < kSceneCount; ++i) checks.push_back(std::floor((stretchEndMs(i) - 2000) / step) * step);
    std::sort(checks.begin(), checks.end());
    size_t next = 0;
    for (long n = 0; next < checks.size(); ++n) {
        const double ms = n * step;
        renderAt(ms, step);
        if (ms == checks[next]) {
            const Frame full;
            EXPECT_EQ(differingPixels(full, ms, fps), 0) << "at " << ms << " ms";
            // The pale flowers over the columns' corner show their own colours
            // in the still: the texture environment the blob left is there (a
            // black silhouette of them would darken thousands of pixels).
            if (ms == 186000) {
                EXPECT_LT(darkCornerPixels, 200);
            }
            ++next;
        }
    }
}

// The catch-up draws only the frames whose GL state a later frame starts
// from: the last frame of the two scenes that leave their texture
// environment to the scenes after them (the blob's and the sphere room's),
// and the one before the picture; the rest (about 6000 frames to the end)
// only move state. The very end is owned by the last scene as 199999 ms is.
TEST_F(ReplayTest, CatchUpDrawsOnlyTheFramesWhoseGlStateLaterFramesUse) {
    const double step = 1000.0 / 30;
    long atEnd = -1, justBefore = -1;
    restartTimeline();
    EXPECT_EQ(replayUnshown(demotest::app, 200000, step, &atEnd), 6000);
    restartTimeline();
    replayUnshown(demotest::app, 199999, step, &justBefore);
    EXPECT_EQ(atEnd, 2 + 1);
    EXPECT_EQ(justBefore, 2 + 1);
    restartTimeline();
}

} // namespace
