// Glow passes. The blur uses the lower-left 128 x 128 of the frame as
// scratch: each pass draws shifted copies of the work texture there and
// copies the corner back into the texture. Nothing is read back to the CPU
// and nothing is allocated per frame.
//
// A full-screen layer costs a software rasteriser several ms, so a layer that
// provably changes no pixel is not drawn: blended with GL_SRC_ALPHA and an
// alpha of 0 or below (colours clamp, so the source weighs nothing and the
// destination keeps its full weight, under GL_ONE and GL_ONE_MINUS_SRC_ALPHA
// alike), with the depth test off so no depth is written either. Every piece
// of state the pass leaves behind is still set.
#include "fx/Glow.h"

#include "fx/FramePasses.h"
#include "image/Texture.h"
#include "platform/Platform.h"

#include <GL/gl.h>

#include <algorithm>

bool skipInvisibleWork = true;

namespace {
bool cornerScissor = false; // keepToGlowCorner turned the scissor on
} // namespace

void keepToGlowCorner() {
    if (!skipInvisibleWork || cornerScissor || glIsEnabled(GL_SCISSOR_TEST)) return;
    glScissor(0, 0, kGlowSourceSize, kGlowSourceSize);
    glEnable(GL_SCISSOR_TEST);
    cornerScissor = true;
}

void releaseGlowCorner() {
    if (!cornerScissor) return;
    glDisable(GL_SCISSOR_TEST);
    cornerScissor = false;
}

namespace {

// Whether a layer blended at `alpha` has to be drawn.
bool visible(float alpha) { return alpha > 0 || !skipInvisibleWork; }

constexpr int kSize = kGlowSourceSize; // work texture and glow-source corner, in texels

// The work quad over the corner: texture row t = 1 at the top, so the
// bottom-up copy from the frame lands upright on its source.
void cornerQuad(double x0, double y0, double x1, double y1) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2d(x0, y0);
    glTexCoord2f(1, 1);
    glVertex2d(x1, y0);
    glTexCoord2f(1, 0);
    glVertex2d(x1, y1);
    glTexCoord2f(0, 0);
    glVertex2d(x0, y1);
    glEnd();
}

void copyCorner() { glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kSize, kSize); }

// Steps shared by MakeBlur and MakeRadialBlur: grab the corner into `texture`
// and set up the 128 x 128 ortho work space with the chosen blending.
void beginWork(Texture* manager, unsigned texture, bool additive, float alpha) {
    markFramePass(FramePass::Blur);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    manager->bind(texture);
    copyCorner();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kSize, kSize, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glViewport(0, 0, kSize, kSize);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, additive ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, alpha);
}

void fullScreenSetup() {
    releaseGlowCorner();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, platform::kDesignWidth, platform::kDesignHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    platform::placePicture();
}

void fullScreenQuad() {
    cornerQuad(0, 0, platform::kDesignWidth, platform::kDesignHeight);
}

void disableSceneState() {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
}

void renderTexture(Texture* manager, unsigned texture, GLenum dstFactor, float alpha) {
    markFramePass(FramePass::Glow);
    disableSceneState();
    fullScreenSetup();
    manager->bind(texture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, dstFactor);
    glColor4f(1, 1, 1, alpha);
    if (visible(alpha)) fullScreenQuad();
}

} // namespace

void Glow::Init(Texture* manager, int filter) {
    blurTexture = manager->empty(kSize, static_cast<unsigned>(filter));
    dofTexture = manager->empty(kSize, static_cast<unsigned>(filter));
    radialTexture = manager->empty(kSize, static_cast<unsigned>(filter));
}

void Glow::MakeBlur(Texture* manager, bool additive, float spread, float alpha, int passes, int leftOut) {
    beginWork(manager, blurTexture, additive, alpha);
    const float step = spread * kSize;
    for (int i = 1; i <= passes; ++i) {
        const float d = static_cast<float>(i) * step;
        const float offsets[8][2] = {{-d, 0}, {d, 0}, {0, -d}, {0, d}, {d, d}, {-d, d}, {d, -d}, {-d, -d}};
        for (int k = std::max(leftOut, 0); k < 8; ++k) {
            const float* o = offsets[k];
            glPushMatrix();
            glTranslatef(o[0], o[1], 0);
            cornerQuad(0, 0, kSize, kSize);
            glPopMatrix();
        }
        copyCorner();
    }
    glPopMatrix();
}

void Glow::MakeRadialBlur(Texture* manager, bool additive, float zoom, float alpha, int passes) {
    beginWork(manager, radialTexture, additive, alpha);
    const float s = zoom * kSize;
    for (int i = 1; i <= passes; ++i) {
        glPushMatrix();
        cornerQuad(-s, -s, kSize + s, kSize + s);
        glPopMatrix();
        copyCorner();
    }
    glPopMatrix();
}

void Glow::MakeDOF(Texture* manager) {
    manager->bind(dofTexture);
    copyCorner();
}

void Glow::Render(Texture* manager, float alpha) { renderTexture(manager, blurTexture, GL_ONE, alpha); }

void Glow::RenderBlur(Texture* manager, float alpha) {
    renderTexture(manager, blurTexture, GL_ONE_MINUS_SRC_ALPHA, alpha);
}

void Glow::RenderRadialBlur(Texture* manager, float alpha) {
    renderTexture(manager, radialTexture, GL_ONE, alpha);
}

void Glow::RenderDOF(Texture* manager) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    glDisable(GL_FOG);
    fullScreenSetup();
    manager->bind(dofTexture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glColor4f(1, 1, 1, 1);
    glColor3f(1, 1, 1);
    fullScreenQuad();
    manager->bind(blurTexture);
    glBlendFunc(GL_ONE, GL_ONE);
    fullScreenQuad();
    glDepthMask(GL_TRUE);
}

void Glow::RenderQuad(float r, float g, float b, float a) {
    markFramePass(FramePass::Overlays);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glDisable(GL_FOG);
    fullScreenSetup();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(r, g, b, a);
    if (visible(a)) {
        glBegin(GL_QUADS);
        glVertex2d(0, 0);
        glVertex2d(platform::kDesignWidth, 0);
        glVertex2d(platform::kDesignWidth, platform::kDesignHeight);
        glVertex2d(0, platform::kDesignHeight);
        glEnd();
    }
    glDepthMask(GL_TRUE);
}
