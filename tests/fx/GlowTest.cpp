// The glow passes through a real GL context: what lands in the work texture,
// what the full-screen passes do to the picture, and the state left behind.
#include "fx/Glow.h"
#include "image/Texture.h"
#include "support/GLContext.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using testgl::readPixel;

class GlowTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (!manager) {
            manager = new Texture();
            glow.Init(manager, GL_LINEAR);
        }
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glViewport(0, 0, 1024, 768);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1024, 0, 768, -1, 1); // y up: GL rows, as readPixel counts them
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    static void clearTo(float r, float g, float b) {
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // An untextured rectangle in GL pixel coordinates (y up), drawn in the
    // set-up projection.
    static void rect(float x0, float y0, float x1, float y1, float r, float g, float b) {
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glColor3f(r, g, b);
        glBegin(GL_QUADS);
        glVertex2f(x0, y0);
        glVertex2f(x1, y0);
        glVertex2f(x1, y1);
        glVertex2f(x0, y1);
        glEnd();
    }

    // The 128 x 128 RGB texels of a glow texture, first row = texture row 0.
    std::vector<unsigned char> texels(unsigned index) {
        std::vector<unsigned char> t(128 * 128 * 3);
        manager->bind(index);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, t.data());
        return t;
    }
    static int texel(const std::vector<unsigned char>& t, int x, int y, int c = 0) {
        return t[(y * 128 + x) * 3 + c];
    }

    static Texture* manager;
    static Glow glow;
};
Texture* GlowTest::manager = nullptr;
Glow GlowTest::glow;

TEST_F(GlowTest, InitMakesThreeWorkTexturesFirst) {
    EXPECT_EQ(glow.blurTexture, 0u);
    EXPECT_EQ(glow.dofTexture, 1u);
    EXPECT_EQ(glow.radialTexture, 2u);
    manager->bind(glow.blurTexture);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 128);
}

TEST_F(GlowTest, NoPassesOnlyCopiesTheCorner) {
    clearTo(0, 0, 0);
    rect(0, 0, 64, 128, 1, 0, 0);   // left half of the corner red
    rect(64, 0, 128, 128, 0, 0, 1); // right half blue
    glow.MakeBlur(manager, false, 0.002f, 0.5f, 0);
    const auto t = texels(glow.blurTexture);
    EXPECT_EQ(texel(t, 10, 10, 0), 255);
    EXPECT_EQ(texel(t, 10, 10, 2), 0);
    EXPECT_EQ(texel(t, 100, 120, 2), 255);
    EXPECT_EQ(texel(t, 100, 120, 0), 0);
}

TEST_F(GlowTest, ZeroSpreadAtHalfAlphaKeepsThePicture) {
    clearTo(0, 0, 0);
    rect(0, 0, 128, 128, 0.2f, 0.6f, 1.0f);
    rect(32, 32, 96, 96, 1.0f, 0.0f, 0.4f);
    glow.MakeBlur(manager, false, 0.0f, 0.5f, 5);
    const auto t = texels(glow.blurTexture);
    for (int y = 0; y < 128; y += 9)
        for (int x = 0; x < 128; x += 9) {
            const bool inner = x >= 32 && x < 96 && y >= 32 && y < 96;
            EXPECT_NEAR(texel(t, x, y, 0), inner ? 255 : 51, 2) << x << "," << y;
            EXPECT_NEAR(texel(t, x, y, 1), inner ? 0 : 153, 2) << x << "," << y;
        }
}

TEST_F(GlowTest, BlurSpreadsAOnePixelLineOverItsNeighbours) {
    clearTo(0, 0, 0);
    rect(64, 0, 65, 128, 1, 1, 1); // a one-texel white column at x = 64
    // One pass with a one-texel shift: the neighbours light up, x +- 3 stays dark.
    glow.MakeBlur(manager, false, 1.0f / 128.0f, 0.5f, 1);
    auto t = texels(glow.blurTexture);
    EXPECT_GT(texel(t, 63, 64), 20);
    EXPECT_GT(texel(t, 65, 64), 20);
    EXPECT_LT(texel(t, 64, 64), 255);
    EXPECT_EQ(texel(t, 61, 64), 0);
    EXPECT_EQ(texel(t, 67, 64), 0);

    // Five passes widen it by 1 + 2 + 3 + 4 + 5 texels at most.
    clearTo(0, 0, 0);
    rect(64, 0, 65, 128, 1, 1, 1);
    glow.MakeBlur(manager, false, 1.0f / 128.0f, 0.5f, 5);
    t = texels(glow.blurTexture);
    EXPECT_GT(texel(t, 60, 64), 0);
    EXPECT_GT(texel(t, 70, 64), 0);
    EXPECT_EQ(texel(t, 48, 64), 0);
    EXPECT_EQ(texel(t, 80, 64), 0);
}

// Leaving out each pass's four axis copies (together 15/256 of it, under a
// texel away) keeps the blur within a few levels of the full one at a hard
// edge; leaving out none is the full blur.
TEST_F(GlowTest, BlurWithoutItsAxisCopiesStaysCloseToTheFullBlur) {
    auto blurred = [&](int leftOut) {
        clearTo(0, 0, 0);
        rect(48, 48, 80, 80, 1, 1, 1); // a white square with hard edges
        glow.MakeBlur(manager, false, 0.002f, 0.5f, 5, leftOut);
        return texels(glow.blurTexture);
    };
    const auto full = blurred(0), lighter = blurred(4), none = blurred(-1);
    EXPECT_EQ(none, full);
    int largest = 0, differing = 0;
    for (size_t i = 0; i < full.size(); ++i) {
        largest = std::max(largest, std::abs(full[i] - lighter[i]));
        differing += full[i] != lighter[i];
    }
    EXPECT_GT(differing, 0);
    EXPECT_LE(largest, 10);
    // Still a blur: the edges softened over a few texels, the middle white.
    EXPECT_EQ(texel(lighter, 64, 64), 255);
    EXPECT_EQ(texel(lighter, 30, 64), 0);
    for (int x : {46, 47, 80, 81}) EXPECT_GT(texel(lighter, x, 64), 0) << x;
    for (int x : {48, 79}) EXPECT_LT(texel(lighter, x, 64), 255) << x;
}

TEST_F(GlowTest, BlurWorkStaysInTheLowerLeftCorner) {
    clearTo(0.5f, 0.5f, 0.5f);
    rect(0, 0, 128, 128, 1, 1, 1);
    glow.MakeBlur(manager, false, 0.002f, 0.5f, 5);
    EXPECT_EQ(readPixel(128, 10)[0], 128);
    EXPECT_EQ(readPixel(10, 128)[0], 128);
    EXPECT_EQ(readPixel(600, 400)[0], 128);
    EXPECT_EQ(readPixel(64, 64)[0], 255); // the blurred picture is left in the corner
}

TEST_F(GlowTest, RadialBlurStreaksOutwardsFromTheCentre) {
    clearTo(0, 0, 0);
    rect(94, 62, 98, 66, 1, 1, 1); // a bright dot right of the centre (64, 64)
    // Each pass enlarges the corner by 10.24 texels on every side (zoom 0.08):
    // the dot's copy moves from x 94..98 to about 99..103, then 105..109.
    glow.MakeRadialBlur(manager, false, 0.08f, 0.4f, 2);
    const auto t = texels(glow.radialTexture);
    // Texture rows run bottom-up like the frame: the dot sits at row 64.
    EXPECT_GT(texel(t, 101, 64), 20); // streaked outwards
    EXPECT_GT(texel(t, 107, 64), 10);
    EXPECT_EQ(texel(t, 85, 64), 0);   // nothing towards the centre
    EXPECT_EQ(texel(t, 30, 64), 0);
}

TEST_F(GlowTest, RenderAddsTheBlurredCopyByAlpha) {
    clearTo(0, 0, 0);
    rect(0, 0, 128, 128, 0.5f, 0.5f, 0.5f);
    glow.MakeBlur(manager, false, 0.0f, 0.5f, 0);

    clearTo(0.25f, 0.25f, 0.25f);
    glow.Render(manager, 0.0f);
    EXPECT_NEAR(readPixel(500, 300)[0], 64, 1);

    clearTo(0.25f, 0.25f, 0.25f);
    glow.Render(manager, 1.0f);
    EXPECT_NEAR(readPixel(500, 300)[0], 64 + 128, 2);

    clearTo(0.25f, 0.25f, 0.25f);
    glow.RenderBlur(manager, 0.5f); // cross-fade: halfway between 64 and 128
    EXPECT_NEAR(readPixel(500, 300)[0], 96, 2);
}

TEST_F(GlowTest, RenderQuadFadesTowardsItsColour) {
    clearTo(0.4f, 0.4f, 0.4f);
    glow.RenderQuad(1, 1, 1, 0.5f);
    EXPECT_NEAR(readPixel(10, 10)[0], 178, 2); // 102 + (255 - 102) / 2
    clearTo(0.4f, 0.4f, 0.4f);
    glow.RenderQuad(0, 0, 0, 0.5f);
    EXPECT_NEAR(readPixel(1000, 700)[1], 51, 1);
    clearTo(0.4f, 0.4f, 0.4f);
    glow.RenderQuad(1, 1, 1, 0.0f);
    EXPECT_EQ(readPixel(512, 384)[2], 102);
    glow.RenderQuad(1, 1, 1, -0.7f); // clamped to 0: no change
    EXPECT_EQ(readPixel(512, 384)[2], 102);
}

// Expected projection matrix of glOrtho(0, w, h, 0, -1, 1).
void expectOrtho(float w, float h) {
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f / w);
    EXPECT_FLOAT_EQ(m[5], -2.0f / h);
    EXPECT_FLOAT_EQ(m[12], -1.0f);
    EXPECT_FLOAT_EQ(m[13], 1.0f);
}

void expectViewport(int w, int h) {
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    EXPECT_EQ(v[2], w);
    EXPECT_EQ(v[3], h);
}

TEST_F(GlowTest, StateLeftBehind) {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glow.MakeBlur(manager, true, 0.002f, 0.5f, 5);
    expectOrtho(128, 128);
    expectViewport(128, 128);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLint dst = 0;
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(dst, GL_ONE); // additive
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);

    glEnable(GL_FOG);
    glow.Render(manager, 0.3f);
    expectOrtho(1024, 768);
    expectViewport(1024, 768);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_FOG));

    glDepthMask(GL_FALSE);
    glow.RenderQuad(0, 0, 0, 0.1f);
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
}

} // namespace
