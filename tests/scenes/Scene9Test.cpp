// Scene 9: when each flower grows and how far, the stems in the picture, the
// blades' sway and colours, the head's poses, the trash image in its own
// colours, its lighter blur, and the opening out of white.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "geometry/Curve.h"
#include "scenes/SceneShared.h"
#include "scenes/SceneChecks.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene9Test : public DemoTest {
protected:
    void SetUp() override {
        DemoTest::SetUp();
        demotest::useCombineMode(); // as the scenes before this one leave unit 0
    }
};

TEST_F(Scene9Test, EachFlowerGrowsOnceTheCameraIsTwentyUnitsPastIt) {
    EXPECT_FLOAT_EQ(scene9FlowerGrowth(0, 148800), -1); // camera at z = 200, on flower 0
    EXPECT_FLOAT_EQ(scene9FlowerGrowth(0, 149300), 0);  // 20 units past it
    EXPECT_FLOAT_EQ(scene9FlowerGrowth(0, 149800), 1);  // 40 units a second: one segment's worth
    // Flower q stands 40 q further on: it starts 1000 q ms later.
    for (int q = 1; q < 20; ++q) {
        EXPECT_NEAR(scene9FlowerGrowth(q, 149300 + 1000.0f * q), 0, 1e-4) << q;
        EXPECT_LT(scene9FlowerGrowth(q, 149300 + 1000.0f * q - 10), 0) << q;
    }
    EXPECT_NEAR(scene9FlowerGrowth(3, 163700), (796 - 320 - 20) / 20.0f, 1e-3);
}

TEST_F(Scene9Test, HeadChangesPoseEvery931MillisecondsAndWraps) {
    EXPECT_EQ(scene9HeadPose(148800), 0);
    EXPECT_EQ(scene9HeadPose(149731.2f), 0);
    EXPECT_EQ(scene9HeadPose(149731.3f), 1);
    EXPECT_EQ(scene9HeadPose(155318.7f), 6);
    EXPECT_EQ(scene9HeadPose(155318.75f), 0); // 16 steps over 7 poses: back to the first
    EXPECT_EQ(scene9HeadPose(163699.9f), 1);  // step 15
}

TEST_F(Scene9Test, BladesSwayWithTheirOwnPhase) {
    // Blade (0, 0) at time 0: sin 0, cos 0, cos 0.5.
    Curve b = scene9Blade(0, 0, 0);
    EXPECT_NEAR(b.controlPoints[1].x, 0, 1e-6);
    EXPECT_NEAR(b.controlPoints[2].x, 5, 1e-6);
    EXPECT_NEAR(b.controlPoints[3].x, 4.38791f, 1e-4);
    // Blade (1, 2) at 1000 ms: phase 1.2, plus 3, 2.5 and 2 + 0.5 for the three points.
    b = scene9Blade(1, 2, 1000);
    EXPECT_NEAR(b.controlPoints[1].x, 5 * std::sin(4.2), 1e-4);
    EXPECT_NEAR(b.controlPoints[2].x, 5 * std::cos(3.7), 1e-4);
    EXPECT_NEAR(b.controlPoints[3].x, 5 * std::cos(3.7), 1e-4);
    // Only the x of P1 .. P3 moves: the blade stands on its root, 15 tall.
    const float y[4] = {0, 5, 10, 15};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(b.controlPoints[k].y, y[k]);
        EXPECT_EQ(b.controlPoints[k].z, 0);
    }
    EXPECT_EQ(b.controlPoints[0].x, 0);
}

// Takes the head (and the trash image) out of the picture while it lives,
// by pointing their slots at a fully transparent texture.
class WithoutOverlays {
public:
    explicit WithoutOverlays(bool trashToo) {
        static const unsigned clear = demotest::solidTexture({0, 0, 0, 0});
        for (int k = 0; k < (trashToo ? 3 : 2); ++k) {
            images_[k] = engine->textures[slots_[k]];
            engine->textures[slots_[k]] = clear;
        }
        count_ = trashToo ? 3 : 2;
    }
    ~WithoutOverlays() {
        for (int k = 0; k < count_; ++k) engine->textures[slots_[k]] = images_[k];
    }

private:
    const int slots_[3] = {kSlotMan1, kSlotMan2, kSlotTrash};
    unsigned images_[3] = {};
    int count_ = 0;
};

// Dark pixels in the sky above the grass (the upper 300 rows).
int darkSkyPixels(const Frame& f) {
    int n = 0;
    for (int y = 0; y < 300; y += 2)
        for (int x = 0; x < 1024; x += 2) {
            const auto p = f.at(x, y);
            n += p[0] < 100 && p[1] < 100 && p[2] < 100;
        }
    return n;
}

TEST_F(Scene9Test, StemsRiseOutOfTheGroundBehindTheCamera) {
    const WithoutOverlays clearSky(true);
    renderAt(149300); // flower 0 at growth 0: nothing above the grass
    EXPECT_EQ(darkSkyPixels(Frame()), 0);
    renderAt(150300); // 60 units away, its first segment full grown, 60 units tall, up into the sky
    EXPECT_GT(darkSkyPixels(Frame()), 1000);
}

TEST_F(Scene9Test, GrassIsBlackAtTheRootAndDarkRedAtTheTip) {
    const WithoutOverlays noHead(false);
    renderAt(156000);
    const Frame f;
    int unfogged = 0, darkRed = 0, black = 0;
    for (int y = 500; y < 768; y += 2)
        for (int x = 0; x < 896; x += 2) {
            const auto p = f.at(x, y);
            if (p[1] > 8 || p[2] > 8) continue; // fog or the sky mixed in
            ++unfogged;
            EXPECT_LE(p[0], 117) << x << "," << y; // at most 0.45 red at the top quad
            darkRed += p[0] > 70;
            black += p[0] < 20;
        }
    EXPECT_GT(unfogged, 5000);
    EXPECT_GT(darkRed, 200);
    EXPECT_GT(black, 200);
}

// Under the combine mode the trash image shows its own colours, at half
// opacity through its mask, upright over the upper-left 512 x 512.
TEST_F(Scene9Test, TrashImageShowsItsOwnColoursAtHalfOpacity) {
    {
        const WithoutOverlays noHead(false);
        renderAt(149300); // white sky over the whole corner, no flower yet
    }
    const Frame f;
    int width = 0, height = 0;
    const std::vector<unsigned char> t = demotest::slotImage(kSlotTrash, &width, &height);
    ASSERT_EQ(width, 512);
    ASSERT_EQ(height, 512);
    int checked = 0, translucent = 0;
    // The outer rows and columns take a little of the far edges from the glow texture's wrap.
    for (int y = 12; y < 300; y += 5)
        for (int x = 12; x < 510; x += 5) {
            const int row = 511 - y; // the first row at the bottom
            const unsigned char* texel = &t[(row * 512 + x) * 4];
            bool smooth = true; // filtering leaves the texel as it is
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    for (int c = 0; c < 4; ++c)
                        smooth = smooth && std::abs(t[((row + dy) * 512 + x + dx) * 4 + c] - texel[c]) < 12;
            if (!smooth) continue;
            // Half the texel's own alpha over the white sky, in the texel's own colour.
            const double a = 0.5 * texel[3] / 255;
            const auto p = f.at(x, y);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], a * texel[c] + (1 - a) * 255, 8) << x << "," << y;
            ++checked;
            translucent += texel[3] < 200;
        }
    EXPECT_GT(checked, 500);
    EXPECT_GT(translucent, 20); // the blots, not just the white ground
}

// The field is drawn in a view twice as wide and tall, scissored to the
// picture: blades across the picture's border lie inside it, and the draws
// that GL has to clip (the costly path) all but vanish. Without it nearly
// half of the blades in view cross the border.
TEST_F(Scene9Test, TheFieldIsDrawnInAViewGLNeedNotClip) {
    for (double ms : {150000.0, 152000.0, 156000.0, 160000.0}) {
        renderAt(ms);
        int clipped = 0;
        const int sent = scene9BladesDrawn(&clipped);
        EXPECT_GT(sent, 500) << ms;
        EXPECT_LE(clipped, sent / 100) << ms;
    }
}

// The glow source's blur blends only each pass's four diagonal copies: the
// picture stays within a few levels of the full blur's, at the edges the
// blur softens, and not byte for byte (the lighter blur is in use).
TEST_F(Scene9Test, LighterBlurStaysWithin54DecibelsOfTheFullBlur) {
    ASSERT_EQ(scene9BlurLeftOut, 4);
    for (double ms : {151000.0, 156000.0, 160500.0, 162000.0})
        demotest::expectLighterBlurNearTheFull(scene9BlurLeftOut, ms, 54, 8);
}

TEST_F(Scene9Test, OpensOutOfWhite) {
    renderAt(148800);
    const Frame start;
    for (int y = 0; y < 768; y += 8)
        for (int x = 0; x < 896; x += 8) ASSERT_GE(start.at(x, y)[1], 254) << x << "," << y;
    renderAt(149300); // not called from here on: the grass shows
    const Frame after;
    int red = 0;
    for (int y = 400; y < 768; y += 8)
        for (int x = 0; x < 896; x += 8) red += after.at(x, y)[1] < 60;
    EXPECT_GT(red, 500);
}

} // namespace
