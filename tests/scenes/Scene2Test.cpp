// Scene 2 and the shared scene functions: the bubbles' draws from rand(),
// the LED levels, the fade from black, the closing curtain, and what
// renderArrow really sends to GL.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "geometry/Curve.h"
#include "scenes/SceneShared.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene2Test : public DemoTest {};

int brightestOutsideLogo(const Frame& f) {
    int best = 0;
    for (int y = 0; y < 768; y += 2)
        for (int x = 0; x < 1024; x += 2)
            if (!(x >= 896 && y >= 640))
                for (int c : f.at(x, y)) best = std::max(best, c);
    return best;
}

TEST_F(Scene2Test, ABubbleRespawnDrawsThreeValuesFromRand) {
    // A step of 300 ticks ends every life; the next frame respawns all 200.
    renderAt(2000, 15000);
    std::srand(7);
    std::vector<int> sequence(601);
    for (int& v : sequence) v = std::rand();
    std::srand(7);
    renderAt(2100, 100);
    EXPECT_EQ(std::rand(), sequence[600]); // 200 x (x, z, y) consumed
    // Lives are now 128..255 less two ticks: the next frame respawns none.
    std::srand(7);
    renderAt(2200, 100);
    EXPECT_EQ(std::rand(), sequence[0]);
}

uint64_t testNow = 0;
uint64_t testClock() { return testNow; }

// Accumulated state is the sum of the frames' steps, whichever clock drives
// them: ten fixed steps of 20 ms and ten live frames 20 ms apart both take
// 10 x 0.4 ticks off every bubble's life.
TEST_F(Scene2Test, AccumulatedStateFollowsTheStepsOnBothClocks) {
    for (int run = 0; run < 2; ++run) {
        renderAt(3000, 15000); // every life ends ...
        std::srand(11);
        std::vector<float> lives(200);
        for (float& life : lives) {
            std::rand();
            std::rand();
            life = static_cast<float>(std::rand() % 128 + 128);
        }
        std::srand(11);
        renderAt(3020, 20); // ... and restarts here, less one step
        for (int i = 0; i < 200; ++i) ASSERT_FLOAT_EQ(scene2BubbleLife(i), lives[i] - 0.4f);
        for (int n = 1; n <= 10; ++n) {
            if (run == 0) {
                renderAt(3020 + 20 * n, 20);
            } else { // the live loop's timer
                demotest::app.timeGetTime = testClock;
                demotest::app.drawFrame = nullptr;
                demotest::app.previousFrameTime = testNow;
                testNow += 20;
                setFixedStepPosition(3020 + 20 * n);
                demotest::app.frame();
            }
        }
        for (int i = 0; i < 200; ++i) EXPECT_NEAR(scene2BubbleLife(i), lives[i] - 0.4f * 11, 1e-3) << "run " << run;
    }
}

TEST_F(Scene2Test, LedLevelsFollowTheDepthCodeAlone) {
    for (double ms : {1000.0, 4321.0, 12345.0}) {
        renderAt(ms);
        const int s = static_cast<int>(static_cast<float>(ms) / 20);
        int k = 0;
        for (int y = -12; y < 12; ++y)
            for (int x = -20; x < 20; ++x, ++k) {
                const int depth = static_cast<int>(1000 / (sqrtf(static_cast<float>(x * x + y * y)) + 1)) & 63;
                const int column = (depth + s) & 63;
                const int expected = std::min(std::abs(column - 32) / 8, 3);
                ASSERT_EQ(scene2LedLevel(k), expected) << "tile " << x << "," << y << " at " << ms;
            }
    }
}

TEST_F(Scene2Test, FadeFromBlackHalvesThePictureAtHalfASecond) {
    renderAt(500);
    EXPECT_LE(brightestOutsideLogo(Frame()), 128);
    renderAt(1000); // no fade from 1000 ms on: the white ground shows
    EXPECT_EQ(brightestOutsideLogo(Frame()), 255);
}

TEST_F(Scene2Test, CurtainCoversTheScreenByTheEnd) {
    const std::array<int, 3> curtain = {153, 128, 77}; // (0.6, 0.5, 0.3) at full opacity
    renderAt(13800); // not yet called at 13800 exactly
    EXPECT_LT(Frame().shareNear(curtain, 3), 0.01);
    renderAt(14799.5);
    EXPECT_GT(Frame().shareNear(curtain, 3), 0.99);
}

TEST(RenderArrowTest, BodyStripsAndHeadAreWhatGLReceives) {
    ASSERT_TRUE(testgl::ensureContext());
    Curve path({0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0});
    std::vector<GLfloat> buffer(1 << 16);
    auto polygons = [&](float length) {
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-100, 100, -100, 100, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_CULL_FACE);
        renderArrow(&path, 0.5f, length, 1, 0, 0, 0);
        const int n = glRenderMode(GL_RENDER);
        std::vector<int> sides; // corner count of each polygon, in order
        for (int i = 0; i < n;) {
            if (buffer[i] == GL_POLYGON_TOKEN) {
                const int corners = static_cast<int>(buffer[i + 1]);
                sides.push_back(corners);
                i += 2 + corners * 3;
            } else {
                ++i;
            }
        }
        return sides;
    };
    // Length 0.01 or less: no body, only the head triangle.
    std::vector<int> sides = polygons(0.01f);
    ASSERT_EQ(sides.size(), 1u);
    EXPECT_EQ(sides[0], 3);
    // Length 1.5: strips 0.01 long (each quad arrives as two triangles) and the head.
    sides = polygons(1.5f);
    const size_t strips = (sides.size() - 1) / 2;
    EXPECT_GE(strips, 149u);
    EXPECT_LE(strips, 150u);
    EXPECT_EQ(sides.size() % 2, 1u);
}

} // namespace
