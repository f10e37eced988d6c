// Shared scene drawing: renderTexture, renderArrow, the transitions and the
// talking head.
// All of it is immediate mode in the projection it sets up (renderTexture and
// the curtain switch to the 1024 x 768 ortho; renderArrow draws in whatever
// 3D set-up the scene has).
#include "scenes/SceneShared.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "image/AlphaSupport.h"
#include "image/Texture.h"
#include "platform/GLExt.h"
#include "platform/Platform.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

void renderGlowSourceAndPicture(void (*draw)(bool intoPicture), float spread, int leftOut) {
    engine->perspectiveIntoGlowCorner();
    draw(false);
    engine->glow->MakeBlur(engine->textureManager, false, spread, 0.5f, 5, leftOut);
    engine->perspectiveIntoPicture();
    draw(true);
}

void renderTexture(float x, float y, float scale, float angle, float r, float g, float b, float a) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(r, g, b, a);
    engine->orthoIntoPicture();
    // At alpha 0 or below the square blends to nothing (the depth test is off).
    if (a <= 0 && skipInvisibleWork) return;
    const float h = scale * platform::kDesignWidth;
    glPushMatrix();
    glTranslated((x * platform::kDesignWidth + platform::kDesignWidth) / 2, (y * platform::kDesignHeight + platform::kDesignHeight) / 2, 0);
    glRotatef(angle, 0, 0, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-h, -h);
    glTexCoord2f(1, 0);
    glVertex2f(h, -h);
    glTexCoord2f(1, 1);
    glVertex2f(h, h);
    glTexCoord2f(0, 1);
    glVertex2f(-h, h);
    glEnd();
    glPopMatrix();
}

void renderArrow(Curve* path, float t, float length, float width, float r, float g, float b) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Body: strips 0.01 long; each strip is its own quad, so one glBegin serves all.
    const float start = t - length;
    glBegin(GL_QUADS);
    for (float u = start; u < start + length - 0.01f; u += 0.01f) {
        const Vector3D p = path->vReturnPoint(u);
        const Vector3D q = path->vReturnPoint(u + 0.01f);
        const Vector3D s1 = path->curveSideVec(u) * width;
        const Vector3D s2 = path->curveSideVec(u + 0.01f) * width;
        // Fades out over one parameter unit on either side of the curve.
        float opacity = 1;
        if (u < 0) opacity = u + 1;
        if (u > 1) opacity = 2 - u;
        glColor4f(r, g, b, opacity);
        const Vector3D c[4] = {p - s1, q - s2, q + s2, p + s1};
        for (const Vector3D& v : c) glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
    // Head: its colour is whatever the body set last.
    const Vector3D p = path->vReturnPoint(t);
    Vector3D d = path->vReturnPoint(t + 0.01f) - p;
    d.Normalize();
    d = d * (2 * width);
    const Vector3D s = path->curveSideVec(t) * width * 2;
    const Vector3D c[3] = {p - s, p + d, p + s};
    glBegin(GL_TRIANGLES);
    for (const Vector3D& v : c) glVertex3f(v.x, v.y, v.z);
    glEnd();
}

void stampYeah(float start) {
    if (!(demoMS > start && demoMS < start + 400)) return;
    engine->textureManager->bind(engine->textures[kSlotYeah]);
    const float u = demoMS - start;
    renderTexture(0, 0, (demoMS - (start - 200)) / 800, u * 40 / 400 - 20, 1, 1, 1, 1 - u / 400);
}

void stampDisco(float start) {
    if (!(demoMS > start && demoMS < start + 400)) return;
    engine->textureManager->bind(engine->textures[kSlotDisco]);
    const float scale = demoMS > start + 200 ? 0.5f : 0.4f;
    renderTexture(0, 0, scale, 0, 1, 1, 1, 1.3f - scale);
}

void linearFog(float grey, float start, float end, float density) {
    const GLfloat colour[4] = {grey, grey, grey, 1};
    glFogfv(GL_FOG_COLOR, colour);
    if (density >= 0) glFogf(GL_FOG_DENSITY, density);
    glFogf(GL_FOG_START, start);
    glFogf(GL_FOG_END, end);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glEnable(GL_FOG);
}

void whiteFog(float start, float end) { linearFog(1, start, end, 0.005f); }

void renderReflective(Mesh* mesh, int base, int reflection, const unsigned* faceList, unsigned count) {
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    engine->textureManager->bind(engine->textures[base]);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvf(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_REPLACE);
    arb::glActiveTextureARB(GL_TEXTURE1_ARB);
    engine->textureManager->bind(engine->textures[reflection]);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvf(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_ADD);
    if (faceList)
        mesh->frender(faceList, count);
    else
        mesh->frender();
    glDisable(GL_TEXTURE_2D);
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    glDisable(GL_TEXTURE_2D);
}

void renderTransition1(float t) {
    engine->glow->RenderQuad(1, 1, 1, t);
    engine->orthoIntoPicture();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    const float alpha = t * 0.5f + 0.6f;
    glColor4f(0.6f, 0.5f, 0.3f, alpha);
    if (alpha <= 0 && skipInvisibleWork) return; // the curtain blends to nothing
    // The curtain's upper edge: a wave travelling with the music.
    // It rises from the bottom (t = 0) to 96 above the top (t = 1), in 50
    // strips across the width.
    auto edge = [t](float v) {
        return platform::kDesignHeight - (platform::kDesignHeight + 96) * t + 96 * sinf(demoMS * 0.005f + v * 3.14159f / platform::kDesignWidth);
    };
    glBegin(GL_QUADS);
    for (float x = 0; x < platform::kDesignWidth; x += 20.48f) {
        glVertex2f(x, platform::kDesignHeight);
        glVertex2f(x, edge(x));
        glVertex2f(x + 20.48f, edge(x + 20.48f));
        glVertex2f(x + 20.48f, platform::kDesignHeight);
    }
    glEnd();
}

void renderTransition2(float t) {
    engine->glow->RenderBlur(engine->textureManager, t);
    engine->glow->RenderQuad(1, 1, 1, t);
}

void renderTransition3(float t) { engine->glow->RenderQuad(1, 1, 1, t); }

void renderTransition4(float t) { engine->glow->RenderQuad(0, 0, 0, t); }

void renderTransition5(float t) {
    engine->textureManager->bind(engine->textures[kSlotLayer2]);
    renderTexture(0, 0, 3 * t, 20 * t - 20, 1, 1, 1, 1);
    engine->glow->RenderQuad(1, 1, 1, (t - 0.5f) * 2);
}

void moveBubbles(Vector3D* bubbles, int count, float drop) {
    for (int i = 0; i < count; ++i) {
        Vector3D& b = bubbles[i];
        if (b.y <= 0) {
            b.x = static_cast<float>(std::rand() % 200 - 100);
            b.z = static_cast<float>(std::rand() % 50 - 50);
            b.y = static_cast<float>(std::rand() % 128 + 128);
        }
        b.y -= drop;
    }
}

void spriteQuad(float x, float y, float z, float h) {
    glTexCoord2f(0, 0);
    glVertex3f(x - h, y + h, z);
    glTexCoord2f(1, 0);
    glVertex3f(x + h, y + h, z);
    glTexCoord2f(1, 1);
    glVertex3f(x + h, y - h, z);
    glTexCoord2f(0, 1);
    glVertex3f(x - h, y - h, z);
}

// Independent quads, each placed on the CPU: one glBegin serves them all.
void renderBubbles(const Vector3D* bubbles, int count, float base, float zSign) {
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    engine->textureManager->bind(engine->textures[kSlotBubble]);
    glBegin(GL_QUADS);
    for (int i = 0; i < count; ++i) {
        const Vector3D& b = bubbles[i];
        spriteQuad(b.x, 3000 / (std::fabs(b.y) + 0.5f) + base, b.z * zSign, (i & 3) * 0.5f + 1);
    }
    glEnd();
}

const float heads[numHeads][3] = {
    {0, -0.5f, 0},     {0, -0.55f, 175}, {0, -0.74f, 100}, {0, -0.77f, 280},
    {0, -0.84f, 60},   {-0.1f, -0.9f, 315}, {0, -0.64f, 200},
};

namespace {

// One half of the head: a 2w x 2w quad hanging below the current origin,
// textured with slot `slot` (bound); only the image's pieces of non-zero
// alpha change pixels (the whole quad is the one piece of the plain drawing).
void headQuad(int slot, float w) {
    const double origin[3] = {-w, 0, 0}, du[3] = {2 * w, 0, 0}, dv[3] = {0, -2 * w, 0};
    drawImagePieces(skipInvisibleWork ? imagePieces(slot) : wholeImage(), origin, du, dv);
}

} // namespace

int headPoseAt(float ms, float start, float length) {
    return static_cast<int>((ms - start) * 16 / length) % numHeads;
}

float headBob(float ms) { return 0.03f * sinf(ms / 500) + 0.03f; }

void renderTalkingHead(float x, float y, float angle) {
    const float w = 0.42f;
    engine->perspectiveIntoPicture();
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 0.8f);

    engine->textureManager->bind(engine->textures[kSlotMan2]);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0, 0, -1.5f);
    glRotatef(angle, 0, 0, 1);
    glTranslatef(x, y, 0);
    headQuad(kSlotMan2, w);

    engine->textureManager->bind(engine->textures[kSlotMan1]);
    glPushMatrix();
    glRotatef(frequencies[5] * 80 - frequencies[4] * 80, 0, 0, 1);
    glTranslatef(0, 2 * w + (frequencies[4] + frequencies[5] + frequencies[6]) * 0.1f, 0);
    headQuad(kSlotMan1, w);
    glPopMatrix();
    glPopMatrix();
}

WideView::WideView() {
    glGetIntegerv(GL_VIEWPORT, viewport_);
    scissored_ = glIsEnabled(GL_SCISSOR_TEST);
    if (!scissored_) {
        glScissor(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
        glEnable(GL_SCISSOR_TEST);
    }
    // An axis of odd size, or one the viewport could not double, stays as it
    // is: its centre would move by half a pixel, or GL would clamp the size.
    GLint largest[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
    int grow[2];
    for (int a = 0; a < 2; ++a) grow[a] = viewport_[2 + a] % 2 == 0 && 2 * viewport_[2 + a] <= largest[a] ? 2 : 1;
    glViewport(viewport_[0] - (grow[0] - 1) * viewport_[2] / 2, viewport_[1] - (grow[1] - 1) * viewport_[3] / 2,
               grow[0] * viewport_[2], grow[1] * viewport_[3]);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glScalef(1.0f / grow[0], 1.0f / grow[1], 1);
    glMultMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
}

WideView::~WideView() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
    if (!scissored_) glDisable(GL_SCISSOR_TEST);
}
