// Start-up as the demo does it: texture ids in creation order, every slot
// filled, the fixed GL state, the projections, and the logo over every frame.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "image/Texture.h"

#include <GL/gl.h>

#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;
using demotest::startState;

class StartupTest : public DemoTest {};

TEST_F(StartupTest, TextureIdsFollowCreationOrder) {
    // The glow's three work textures first, then the 36 images in slot order.
    for (int slot = 5; slot <= 40; ++slot) EXPECT_EQ(engine->textures[slot], static_cast<unsigned>(slot - 2));
    EXPECT_EQ(engine->textureManager->count, 39u);
    EXPECT_EQ(syncCount, 40);
}

TEST_F(StartupTest, EverySlotHoldsADecodedImage) {
    for (int slot = 5; slot <= 40; ++slot) {
        engine->textureManager->bind(engine->textures[slot]);
        GLint w = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        EXPECT_GT(w, 0) << "slot " << slot;
    }
}

TEST_F(StartupTest, FixedStateAfterStartUp) {
    EXPECT_TRUE(startState.depthTest);
    EXPECT_FALSE(startState.lighting);
    EXPECT_FALSE(startState.blend);
    EXPECT_TRUE(startState.lineSmooth);
    EXPECT_EQ(startState.depthFunc, GL_LESS);
    EXPECT_EQ(startState.shadeModel, GL_SMOOTH);
    EXPECT_EQ(startState.lineSmoothHint, GL_NICEST);
    // gluPerspective(90, 1.3333334f, 0.1f, 20000) with the floats widened to double.
    const double aspect = 1.3333333730697632, zNear = 0.10000000149011612, zFar = 20000;
    EXPECT_NEAR(startState.projection[0], 1.0 / aspect, 1e-6);
    EXPECT_NEAR(startState.projection[5], 1.0, 1e-6);
    EXPECT_NEAR(startState.projection[10], (zFar + zNear) / (zNear - zFar), 1e-6);
    EXPECT_NEAR(startState.projection[14], 2 * zFar * zNear / (zNear - zFar), 1e-6);
    EXPECT_EQ(startState.viewport[2], 1024);
    EXPECT_EQ(startState.viewport[3], 768);
}

TEST_F(StartupTest, SmallPerspectiveDrawsOnlyIntoTheLowerLeftCorner) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    engine->perspectiveIntoGlowCorner();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS); // far larger than the view at z = -10
    glVertex3f(-100, -100, -10);
    glVertex3f(100, -100, -10);
    glVertex3f(100, 100, -10);
    glVertex3f(-100, 100, -10);
    glEnd();
    EXPECT_EQ(testgl::readPixel(5, 5)[0], 255);
    EXPECT_EQ(testgl::readPixel(127, 127)[0], 255);
    EXPECT_EQ(testgl::readPixel(128, 10)[0], 0);
    EXPECT_EQ(testgl::readPixel(10, 128)[0], 0);
    EXPECT_EQ(testgl::readPixel(700, 500)[0], 0);
    // The glow source is read from the corner only: a clear there stays in
    // the corner (the full picture clears the whole frame anyway) ...
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(testgl::readPixel(127, 127)[1], 255);
    EXPECT_EQ(testgl::readPixel(700, 500)[1], 0);
    // ... and the full-size set-up clears the whole frame again.
    engine->perspectiveIntoPicture();
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(testgl::readPixel(700, 500)[1], 255);
    EXPECT_EQ(testgl::readPixel(1023, 767)[1], 255);
}

TEST_F(StartupTest, LogoIsTheImageWeightedByItsMaskAndHalfOverBlack) {
    renderAt(0); // the fade from black covers the whole scene at 0 ms
    const Frame frame;
    EXPECT_EQ(frame.at(512, 384), (std::array<int, 3>{0, 0, 0}));
    // What the decoded logo predicts: at half size linear filtering averages
    // 2 x 2 texels (colour and alpha each), then alpha x 0.5 blends over black.
    std::vector<unsigned char> t(256 * 256 * 4);
    engine->textureManager->bind(engine->textures[kSlotCola]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
    auto texel = [&](int x, int y, int c) { return t[(y * 256 + x) * 4 + c]; };
    int worst = 0, lit = 0;
    for (int j = 0; j < 128; ++j)
        for (int i = 0; i < 128; ++i) {
            double a = 0, rgb[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    a += texel(2 * i + dx, 2 * j + dy, 3) / 4.0;
                    for (int c = 0; c < 3; ++c) rgb[c] += texel(2 * i + dx, 2 * j + dy, c) / 4.0;
                }
            const auto p = frame.at(896 + i, 640 + j); // first texture row at the top
            for (int c = 0; c < 3; ++c) {
                const double expected = rgb[c] * (a / 255.0) * 0.5;
                worst = std::max(worst, std::abs(p[c] - static_cast<int>(expected + 0.5)));
            }
            lit += p[0] + p[1] + p[2] > 30;
        }
    EXPECT_LE(worst, 2);
    EXPECT_GT(lit, 500); // the logo really shows
}

} // namespace
