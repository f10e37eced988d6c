// Scene 8: the switch from the cell tunnel to the cloud tunnel, the cloud
// stack's position and depth, the stamps' windows, the butterfly in its own
// colours, its lighter blur, the fade in from white and the fade out to
// black.
#include "scenes/DemoFixture.h"
#include "scenes/SceneChecks.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene8Test : public DemoTest {};

bool outsideLogo(int x, int y) { return !(x >= 896 && y >= 640); }

// Darkest and brightest channel over the picture, the logo's corner aside.
std::array<int, 2> range(const Frame& f) {
    int lo = 255, hi = 0;
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4)
            if (outsideLogo(x, y))
                for (int c : f.at(x, y)) lo = std::min(lo, c), hi = std::max(hi, c);
    return {lo, hi};
}

// The layers drawn for a stack position z: those less than 35 units in
// front of the eye, both bounds strict.
int layersInView(float z) {
    int n = 0;
    for (int i = 0; i <= 1000; ++i) n += i - 35 < z && i > z;
    return n;
}

// The first cloud frames of the process: the stack starts at 1000 and falls
// 0.4 skip at each of the frame's two draws.
TEST_F(Scene8Test, CloudTunnelTakesOverAt111400AndRecedes) {
    ASSERT_EQ(scene8CloudPosition(), 1000.0f);
    renderAt(111399.99, 50);
    EXPECT_EQ(scene8CloudPosition(), 1000.0f) << "the cell tunnel leaves the stack alone";
    renderAt(111400, 50);
    EXPECT_FLOAT_EQ(scene8CloudPosition(), 1000.0f - 0.8f);
    float at = 0;
    EXPECT_EQ(scene8CloudLayersDrawn(&at), 1) << "only layer 1000 lies in front of the eye";
    EXPECT_FLOAT_EQ(at, 1000.0f - 0.8f); // the full picture, the frame's second draw
    // A step of 50 ticks (the most the live clock gives): 40 units.
    renderAt(111500, 2500);
    EXPECT_FLOAT_EQ(scene8CloudPosition(), 1000.0f - 0.8f - 40);
    EXPECT_EQ(scene8CloudLayersDrawn(&at), 994 - 960 + 1) << at; // at 959.2
    renderAt(111600, 2500);
    EXPECT_EQ(scene8CloudLayersDrawn(&at), 35) << "the stack is full below 965: " << at;
    for (double step : {20.0, 33.3, 50.0, 1234.5}) {
        renderAt(112000, step);
        const int n = scene8CloudLayersDrawn(&at);
        EXPECT_EQ(n, layersInView(at)) << at;
    }
    renderAt(111000, 50); // back in the cell tunnel: the stack stays where it is
    const float z = scene8CloudPosition();
    renderAt(111100, 50);
    EXPECT_EQ(scene8CloudPosition(), z);
    scene8reset(); // a replay from 0 finds the stack where the program's load left it
    EXPECT_EQ(scene8CloudPosition(), 1000.0f);
}

// The clouds keep their shape under the full additive glow on white: grey
// wisps and dark red cores below half brightness, which the glow roughly
// doubles. With a silent spectrum (no soft focus) much of the picture is
// neither white nor grey but red.
TEST_F(Scene8Test, CloudsShowUnderTheFullGlow) {
    renderAt(112900, 2500); // a full stack in front of the eye
    renderAt(113000);
    const Frame f;
    int clouded = 0, reddish = 0, all = 0;
    for (int y = 100; y < 700; y += 4)
        for (int x = 100; x < 860; x += 4) {
            const auto p = f.at(x, y);
            ++all;
            clouded += std::min({p[0], p[1], p[2]}) < 235;
            reddish += p[0] > p[1] + 12;
        }
    EXPECT_GT(clouded, all / 3);
    EXPECT_GT(reddish, all / 20);
}

// A cloud image light enough for the full glow to whiten the middle of the
// picture is still drawn at full size: near the screen's edges the glow is
// weaker, and there the stack shows. The frame's last stack is the full-size
// picture's, after both of the frame's moves.
TEST_F(Scene8Test, LightCloudsAreDrawnAtFullSize) {
    const unsigned light = demotest::solidTexture({200, 200, 200, 255});
    const unsigned cloud = engine->textures[kSlotCloud3];
    engine->textures[kSlotCloud3] = light;
    renderAt(112900, 2500);
    renderAt(113000);
    engine->textures[kSlotCloud3] = cloud;
    float at = 0;
    EXPECT_EQ(scene8CloudLayersDrawn(&at), 35);
    EXPECT_EQ(at, scene8CloudPosition());
}

// Each cloud layer drawn as a ring about its mask's support, and the
// farthest, wholly beyond the fog's end, left out: no pixel changes but by
// the rounding of texture coordinates interpolated over the ring's
// triangles instead of the square's (a level on up to a thousand bytes of
// the 2.4 million). The layers one at a time here: stacked, they round
// otherwise (below). The stack is first filled from the program's start,
// whatever ran before.
TEST_F(Scene8Test, CloudLayersDrawnOnlyWhereTheyShowKeepThePicture) {
    scene8reset();
    renderAt(111500, 2500);
    renderAt(111600, 2500);
    scene8StacksCloudLayers = false;
    int leftOut = 0;
    for (double ms : {111600.0, 113000.0, 114000.0, 116500.0, 118500.0}) {
        renderAt(ms, 1000.0 / 30);
        std::vector<Frame> frames;
        for (bool quick : {true, false}) {
            scene8LeavesOutClearFragments = quick;
            renderAt(ms, 0); // a step of 0 keeps the stack where it is
            frames.emplace_back();
            float at = 0;
            int white = 0;
            scene8CloudLayersDrawn(&at, &white);
            if (quick) leftOut += white;
            else EXPECT_EQ(white, 0);
        }
        scene8LeavesOutClearFragments = true;
        EXPECT_GT(frames[0].psnrTo(frames[1]), 80) << ms;
        EXPECT_LE(frames[0].largestDifferenceTo(frames[1]), 2) << ms;
    }
    scene8StacksCloudLayers = true;
    EXPECT_GE(leftOut, 4) << "no layer lay beyond the fog's end";
}

// The unfogged cloud layers composed four to a pass on the texture units
// and blended once, each pass in rings that sample only the layers that
// can show there: the picture of blending every whole layer one at a time
// but for rounding (a level here and there), and the same state afterwards.
// Among the moments, nearest layers from 0.1 to 0.9 units ahead: one the
// near plane cuts within the view must be drawn alone, or the farther
// layers vanish behind its cut-away part (PSNR near 30 dB).
TEST_F(Scene8Test, StackedCloudLayersKeepThePictureAndTheState) {
    int cutNear = 0;
    for (double ms : {111600.0, 112300.0, 113000.0, 114000.0, 115300.0, 116500.0, 117300.0, 118100.0, 118500.0}) {
        renderAt(ms, 1000.0 / 30);
        float at = 0;
        scene8CloudLayersDrawn(&at);
        const float nearest = std::floor(at) + 1 - at; // ahead of the eye
        cutNear += nearest < 0.65f;
        std::vector<Frame> frames;
        std::vector<demotest::StackedLayersState> states;
        for (bool quick : {true, false}) {
            scene8LeavesOutClearFragments = quick; // whole squares are never stacked
            renderAt(ms, 0); // a step of 0 keeps the stack where it is
            frames.emplace_back();
            states.emplace_back(kSlotCloud3);
        }
        scene8LeavesOutClearFragments = true;
        EXPECT_GE(frames[0].psnrTo(frames[1]), 50) << ms << " nearest layer " << nearest;
        EXPECT_LE(frames[0].largestDifferenceTo(frames[1]), 8) << ms;
        EXPECT_TRUE(states[0] == states[1]) << ms;
    }
    EXPECT_GE(cutNear, 1) << "no moment with a layer the near plane cuts in view";
}

// Mean absolute difference over the middle 400 x 400 of two pictures.
double middleDifference(const Frame& a, const Frame& b) {
    double sum = 0;
    for (int y = 184; y < 584; y += 2)
        for (int x = 312; x < 712; x += 2)
            for (int c = 0; c < 3; ++c) sum += std::abs(a.at(x, y)[c] - b.at(x, y)[c]);
    return sum / (200.0 * 200 * 3);
}

// Each stamp is drawn strictly inside its 400 ms; a hundredth of a
// millisecond moves the tunnel by nothing visible.
TEST_F(Scene8Test, StampsShowOnlyInsideTheirWindows) {
    for (float start : {107300.0f, 111200.0f, 114900.0f}) {
        // Steps of 0.01 ms: the cloud stack does not move either.
        renderAt(start, 0.01);
        const Frame before;
        renderAt(start + 0.01f, 0.01);
        const Frame during;
        EXPECT_GT(middleDifference(before, during), 20) << start;
        renderAt(start + 400, 0.01);
        const Frame after;
        renderAt(start + 400.01f, 0.01);
        EXPECT_LT(middleDifference(after, Frame()), 1) << start;
    }
}

// Distance from the middle of the screen to the disco stamp's left edge on
// the middle row: the first pixel from the left that the red star covers.
int discoReach() {
    const Frame f;
    for (int x = 0; x < 512; ++x) {
        const auto p = f.at(x, 384);
        if (p[0] > p[1] + 60) return 512 - x;
    }
    return 0;
}

TEST_F(Scene8Test, DiscoPopsFromScale04To05AfterItsFirst200Ms) {
    renderAt(111400, 0.01);
    const int small = discoReach();
    renderAt(111400.01, 0.01);
    const int large = discoReach();
    ASSERT_GT(small, 100);
    EXPECT_NEAR(static_cast<double>(small) / large, 0.4 / 0.5, 0.03);
}

TEST_F(Scene8Test, ButterflyShowsTheBlankImagesColoursAtHalfOpacity) {
    demotest::useCombineMode(); // as Scene 7 leaves unit 0
    scene8reset(); // one far layer only: white fog around the corner
    renderAt(117000);
    const Frame f;
    // Over white the shape at half opacity: lighter than the half-black of a
    // silhouette, yet visible.
    int darkest = 255, shape = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 768; x < 1024; ++x) {
            const int v = std::min({f.at(x, y)[0], f.at(x, y)[1], f.at(x, y)[2]});
            darkest = std::min(darkest, v);
            shape += v < 235;
        }
    EXPECT_GT(darkest, 150);
    EXPECT_GT(shape, 5000);
}

// The glow source's blur leaves out each pass's two lightest copies: both
// tunnels stay within a few levels of the full blur's pictures.
TEST_F(Scene8Test, LighterBlurStaysWithin54DecibelsOfTheFullBlur) {
    ASSERT_EQ(scene8BlurLeftOut, 2);
    for (double ms : {106000.0, 108000.0}) {
        renderAt(ms);
        demotest::expectLighterBlurNearTheFull(scene8BlurLeftOut, ms, 54, 8);
    }
    scene8reset();
    renderAt(111500, 2500);
    for (double ms : {115000.0, 118000.0}) {
        renderAt(ms, 1000.0 / 60);
        demotest::expectLighterBlurNearTheFull(scene8BlurLeftOut, ms, 54, 8);
    }
}

TEST_F(Scene8Test, FadesInFromWhiteAndOutToBlack) {
    renderAt(104000);
    EXPECT_GE(range(Frame())[0], 254) << "fully white";
    renderAt(104500);
    EXPECT_GE(range(Frame())[0], 126) << "half white";

    renderAt(118500); // the fade-out is not called yet
    const auto open = range(Frame());
    EXPECT_GE(open[1], 250);
    renderAt(118750);
    EXPECT_LE(range(Frame())[1], 129) << "half black";
    renderAt(118999.99);
    EXPECT_LE(range(Frame())[1], 1) << "black";
}

} // namespace
