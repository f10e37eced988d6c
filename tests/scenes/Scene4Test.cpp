// Scene 4: which squares the tunnel draws for the distance travelled, the
// camera's step, the gaze, the flashes, the opening and closing fades, the
// red tint and the corner silhouette, and the drawing that leaves out hidden
// fragments against drawing every square whole.
#include "scenes/DemoFixture.h"
#include "scenes/SceneChecks.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Timeline.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene4Test : public DemoTest {};

bool inLogo(int x, int y) { return x >= 896 && y >= 640; }

// The least and the greatest channel over the picture outside the logo and,
// unless asked, outside the silhouette's 512 x 512 corner.
std::array<int, 2> channelRange(const Frame& f, bool withCorner = true) {
    int least = 255, most = 0;
    for (int y = 0; y < 768; y += 3)
        for (int x = 0; x < 1024; x += 3) {
            if (inLogo(x, y) || (!withCorner && x < 512 && y < 512)) continue;
            for (int c : f.at(x, y)) least = std::min(least, c), most = std::max(most, c);
        }
    return {least, most};
}

struct Drawn {
    int count, nearest, farthest;
};
Drawn drawn() {
    Drawn d{};
    d.count = scene4SquaresDrawn(&d.nearest, &d.farthest);
    return d;
}

TEST_F(Scene4Test, SquaresStrictlyBetweenTheCameraAnd35AheadAreDrawn) {
    scene4reset();
    EXPECT_EQ(scene4ZPos(), 0.0f);
    renderAt(29700, 20); // two renders of 0.4 x 0.4 each
    EXPECT_NEAR(scene4ZPos(), 0.32f, 1e-6);
    Drawn d = drawn();
    EXPECT_EQ(d.count, 35);
    EXPECT_EQ(d.nearest, 1); // square 0 is never drawn
    EXPECT_EQ(d.farthest, 35);

    // A step of 62.5 ms moves 0.5 per render: zPos lands on whole numbers,
    // and the squares at exactly zPos and zPos + 35 are left out.
    scene4reset();
    renderAt(29700, 62.5);
    EXPECT_EQ(scene4ZPos(), 1.0f);
    d = drawn();
    EXPECT_EQ(d.count, 34);
    EXPECT_EQ(d.nearest, 2);
    EXPECT_EQ(d.farthest, 35);
    renderAt(29762.5, 62.5);
    EXPECT_EQ(scene4ZPos(), 2.0f);
    d = drawn();
    EXPECT_EQ(d.nearest, 3);
    EXPECT_EQ(d.farthest, 36);
}

uint64_t testNow = 0;
uint64_t testClock() { return testNow; }

TEST_F(Scene4Test, ALongFrameMovesTheCamera40UnitsAndPast1000NothingIsLeft) {
    scene4reset();
    // Frames of 2500 ms: 20 units per render, 40 per frame.
    for (int n = 1; n <= 24; ++n) renderAt(36000, 2500);
    EXPECT_EQ(scene4ZPos(), 960.0f);
    Drawn d = drawn();
    EXPECT_EQ(d.count, 34);
    EXPECT_EQ(d.nearest, 961);
    EXPECT_EQ(d.farthest, 994);

    // A live frame after a stall of 5 s moves no further: the step is capped.
    demotest::app.timeGetTime = testClock;
    demotest::app.drawFrame = nullptr;
    demotest::app.previousFrameTime = testNow;
    testNow += 5000;
    setFixedStepPosition(36000);
    demotest::app.frame();
    EXPECT_EQ(scene4ZPos(), 1000.0f);
    EXPECT_EQ(drawn().count, 0);

    // Only the white ground, the silhouette and the logo remain (no flash:
    // the last sync point was 2750 ms ago).
    const auto range = channelRange(Frame(), false);
    EXPECT_EQ(range[0], 255);
    scene4reset(); // the tunnel back for the other tests
}

TEST_F(Scene4Test, GazeJumpsOnlyWhenASyncPointIsPassed) {
    float x0, y0, x1, y1, x2, y2;
    renderAt(33249.9, 20);
    scene4Gaze(&x0, &y0);
    renderAt(33250, 20); // still sync point 20 (offset +0.1, 0)
    scene4Gaze(&x1, &y1);
    renderAt(33250.1, 20); // sync point 21 (offset -0.1, +0.2)
    scene4Gaze(&x2, &y2);
    EXPECT_NEAR(x1 - x0, 0, 1e-4);
    EXPECT_NEAR(y1 - y0, 0, 1e-4);
    EXPECT_NEAR(x2 - x1, -0.2, 1e-4);
    EXPECT_NEAR(y2 - y1, 0.2, 1e-4);

    // From 40650 ms on the sync point's index is 23, 3 modulo 4: no offset.
    renderAt(42000, 20);
    scene4Gaze(&x0, &y0);
    EXPECT_FLOAT_EQ(x0, sinf(42000.0f / 1500) * 0.1f);
    EXPECT_FLOAT_EQ(y0, cosf(42000.0f / 1100) * 0.1f);

    // The lowest band lifts the gaze by 0.02 per unit.
    {
        demotest::SpectrumOverride loud(0, 1);
        renderAt(42000, 20);
        scene4Gaze(&x1, &y1);
    }
    EXPECT_FLOAT_EQ(x1, x0);
    EXPECT_NEAR(y1 - y0, 0.02, 1e-6);
}

TEST_F(Scene4Test, EverySyncPointFlashesWhiteForHalfASecond) {
    for (double sync : {33250.0, 37000.0, 40650.0}) {
        renderAt(sync + 0.1);
        EXPECT_GE(channelRange(Frame())[0], 254) << sync;
        renderAt(sync + 250);
        EXPECT_GE(channelRange(Frame())[0], 127) << sync;
        renderAt(sync + 500);
        EXPECT_LT(channelRange(Frame(), false)[0], 60) << sync;
    }
}

TEST_F(Scene4Test, OpensOutOfWhiteAndClosesIntoWhite) {
    renderAt(29600); // Scene 1's last picture was white too
    EXPECT_EQ(channelRange(Frame())[0], 255);
    renderAt(29850);
    EXPECT_GE(channelRange(Frame())[0], 127);
    renderAt(30100); // no opening fade any more: the red shows
    EXPECT_LT(channelRange(Frame(), false)[0], 60);

    renderAt(44200); // not yet closing
    EXPECT_LT(channelRange(Frame(), false)[0], 60);
    renderAt(44450);
    EXPECT_GE(channelRange(Frame())[0], 127);
    renderAt(44699.9);
    EXPECT_GE(channelRange(Frame())[0], 254);
}

TEST_F(Scene4Test, TheTunnelIsTheCloudTintedRedOnWhite) {
    renderAt(36000);
    const Frame f;
    int strongRed = 0;
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4) {
            if (inLogo(x, y) || (x < 512 && y < 512)) continue;
            const auto p = f.at(x, y);
            // Colour (1, 0.1, 0.1) on a grey cloud, white fog and ground:
            // green and blue always alike, never above red.
            ASSERT_LE(std::abs(p[1] - p[2]), 1) << x << "," << y;
            ASSERT_GE(p[0], p[1]) << x << "," << y;
            strongRed += p[0] - p[1] > 150;
        }
    EXPECT_GT(strongRed, 1000);
}

// Scenes 4 and 6 lay the flowers2 image's mask in black over the upper-left
// 512 x 512 pixels, texel for pixel.
TEST_F(Scene4Test, Flowers2SilhouetteIsBlackThroughItsMask) {
    int w = 0, h = 0;
    const std::vector<unsigned char> t = demotest::slotImage(kSlotFlowers2, &w, &h);
    ASSERT_EQ(w, 512);
    ASSERT_EQ(h, 512);
    for (double ms : {36000.0, 50000.0}) { // no flash, fade or veil
        renderAt(ms);
        const Frame f;
        int checked = 0;
        for (int y = 1; y < 511; y += 3)
            for (int x = 1; x < 511; x += 3) {
                int least = 255; // the texel and its neighbours nearly opaque
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        least = std::min<int>(least, t[((y + dy) * 512 + x + dx) * 4 + 3]);
                if (least < 235) continue;
                for (int c : f.at(x, y)) EXPECT_LE(c, 255 - least + 2) << x << "," << y << " at " << ms;
                ++checked;
            }
        EXPECT_GT(checked, 100) << ms;
    }
}

// Everything a later step could see: the picture, the depth buffer and the
// state the shortcuts touch.
struct Outcome {
    std::vector<unsigned char> rgb = std::vector<unsigned char>(1024 * 768 * 3);
    std::vector<float> depth = std::vector<float>(1024 * 768);
    int depthFunc = 0;
    GLboolean depthMask = GL_FALSE, colourMask[4] = {};
    bool alphaTest = false, depthTest = false, polygonOffset = false;
    Outcome() {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glReadPixels(0, 0, 1024, 768, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
        alphaTest = glIsEnabled(GL_ALPHA_TEST);
        depthTest = glIsEnabled(GL_DEPTH_TEST);
        polygonOffset = glIsEnabled(GL_POLYGON_OFFSET_FILL);
    }
};

// The rings and the parts left out change no pixel; the ring's edges are
// interpolated over other triangles than the whole quad's, which moves a
// texture sample by a rounding step on a few hundred pixels. (The squares
// one at a time: stacked, they round otherwise; see below.)
TEST_F(Scene4Test, LeavingOutHiddenFragmentsKeepsThePictureAndTheState) {
    scene4StacksSquares = false;
    for (double ms : {29700.0, 31000.0, 36000.0, 42000.0, 44500.0}) {
        renderAt(ms, 1000.0 / 30);
        Outcome outcomes[2];
        for (int whole = 0; whole < 2; ++whole) {
            scene4LeavesOutHiddenFragments = whole == 0;
            renderAt(ms, 0); // a step of 0 keeps the camera where it is
            outcomes[whole] = Outcome();
        }
        scene4LeavesOutHiddenFragments = true;
        const Outcome &quick = outcomes[0], &whole = outcomes[1];
        long differing = 0;
        int largest = 0;
        double squared = 0;
        for (size_t i = 0; i < quick.rgb.size(); ++i) {
            const int d = std::abs(quick.rgb[i] - whole.rgb[i]);
            differing += d != 0;
            largest = std::max(largest, d);
            squared += d * d;
        }
        const double psnr = squared == 0 ? 1e9 : 10 * std::log10(255.0 * 255 * quick.rgb.size() / squared);
        EXPECT_LT(differing, 1000) << ms;
        EXPECT_LE(largest, 2) << ms;
        EXPECT_GT(psnr, 80) << ms;
        EXPECT_TRUE(quick.depth == whole.depth) << ms;
        EXPECT_EQ(quick.depthFunc, whole.depthFunc);
        EXPECT_EQ(quick.depthMask, whole.depthMask);
        EXPECT_TRUE(std::equal(quick.colourMask, quick.colourMask + 4, whole.colourMask));
        EXPECT_EQ(quick.alphaTest, whole.alphaTest);
        EXPECT_EQ(quick.depthTest, whole.depthTest);
        EXPECT_EQ(quick.polygonOffset, whole.polygonOffset);
    }
    scene4StacksSquares = true;
}

// The unfogged squares composed four to a pass, in the image with the tint
// baked in, over the occluders' depth: the picture of drawing them one at a
// time but for rounding (a level here and there), the same depth and state
// afterwards. Unit 0 in the blob's combine mode (after a seek back) shows
// the image untinted: then the squares go one at a time, exactly as before.
TEST_F(Scene4Test, StackedSquaresKeepThePictureAndTheState) {
    int rounded = 0; // moments whose stacked picture differs at all
    for (bool combine : {false, true})
        for (double ms : {29700.0, 31000.0, 33400.0, 36000.0, 39100.0, 42000.0, 44500.0}) {
            renderAt(ms, 1000.0 / 30);
            if (combine) demotest::useCombineMode();
            std::vector<Frame> frames;
            std::vector<demotest::StackedLayersState> states;
            std::vector<Outcome> outcomes;
            for (bool stacked : {true, false}) {
                scene4StacksSquares = stacked;
                renderAt(ms, 0); // a step of 0 keeps the camera where it is
                frames.emplace_back();
                outcomes.emplace_back();
                states.emplace_back(kSlotCloud2);
            }
            scene4StacksSquares = true;
            if (combine) {
                EXPECT_EQ(frames[0].psnrTo(frames[1]), 1e9) << ms;
            } else {
                rounded += frames[0].psnrTo(frames[1]) < 1e9;
                EXPECT_GE(frames[0].psnrTo(frames[1]), 50) << ms;
                EXPECT_LE(frames[0].largestDifferenceTo(frames[1]), 8) << ms;
            }
            EXPECT_TRUE(outcomes[0].depth == outcomes[1].depth) << ms;
            EXPECT_TRUE(states[0] == states[1]) << ms;
            EXPECT_EQ(outcomes[0].alphaTest, outcomes[1].alphaTest);
        }
    EXPECT_GE(rounded, 6) << "the squares were not stacked";
    // Unit 0 back as the scenes before the blob leave it.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_MODULATE);
}

TEST_F(Scene4Test, TheDistanceTravelledStaysWhenTheSceneIsOver) {
    renderAt(44000, 1000.0 / 30);
    const float travelled = scene4ZPos();
    EXPECT_GT(travelled, 0.0f);
    renderAt(45000, 1000.0 / 30); // Scene 6
    renderAt(60000, 1000.0 / 30);
    EXPECT_EQ(scene4ZPos(), travelled);
}

} // namespace
