// Scene 11 (178500 to 193700 ms): a 9 x 9 field of black hexagonal columns
// with red wire edges in white fog, tallest in the centre and stretching with
// a band of the spectrum; twenty dark-red butterflies rise through it, fading
// in as they climb, and start again from below. The camera switches between a
// high, rolled orbit and a low one every 3800 ms. Fades in from white.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/FrameStep.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kButterflies = 20;
constexpr float kStart = sceneStartMs(11), kEnd = sceneEndMs(11); // its stretch, ms

Curve butterflyCurve;       // outline of one wing, a loop from the root in the horizontal plane
Vector3D* bfPos = nullptr;  // butterfly positions; y >= 400 starts one again from below
Mesh* loota = nullptr;      // the column: a hexagonal cylinder 20 high, radius 10

// Orbit k: 3 until 182300 ms, then 2, 1 and 0 every 3800 ms (4 at exactly 178500).
int orbit() {
    return static_cast<int>((kEnd - demoMS) * 4 / (kEnd - kStart));
}

// Sets the camera; returns the eye.
Vector3D setCamera() {
    const float theta = demoMS / 800; // radians
    const int k = orbit();
    if (k == 1 || k == 3) {
        // High orbit, the horizon rolled by 45 degrees.
        const float a = 50 * sinf(demoMS / 1600);
        const float r = 0.3f * a + 70;
        const Vector3D eye(r * sinf(theta), a + 350, r * cosf(theta));
        gluLookAt(eye.x, eye.y, eye.z, 0, 200, 0, 0.707f, 0.707f, 0);
        return eye;
    }
    const float a = 100 * sinf(theta);
    const float r = 170 - a;
    const Vector3D eye(r * sinf(theta), a + 200, r * cosf(theta));
    gluLookAt(eye.x, eye.y, eye.z, 0, 150, 0, -0.5f, 1, 0);
    return eye;
}

// Column (i, j) stands at (30 i, 0, 30 j), stretched along y by
// 1 + 2.5 m (1 + band 6) with m = 10 / sqrt(i^2 + j^2 + 1): the centre one
// 26 to 51 times the mesh's height, the corners about 5.3 to 9.7 times.
// Column by column: the black solid, then its red wire edges, 2 pixels wide
// at 1024 x 768 (in proportion in a larger picture), blended over it, so the
// soft edge of a wire lies under every column drawn after it.
//
// A column is a closed prism, its faces turned counter-clockwise seen from
// outside. Seen from a point more than a unit outside it (the near plane's
// corners lie 0.6 units from the eye), every back face lies behind a front
// face of the same column drawn in the same call, and the front faces cover
// the same pixels: culling the back faces leaves the same pixels and depth.
void drawColumns(const Vector3D& eye) {
    for (int i = -4; i <= 4; ++i)
        for (int j = -4; j <= 4; ++j) {
            glEnable(GL_DEPTH_TEST);
            glPushMatrix();
            glTranslatef(30.0f * i, 0, 30.0f * j);
            glColor3f(0, 0, 0);
            const float m = 10 / sqrtf(static_cast<float>(i * i + j * j + 1));
            const float stretch = 1 + 2.5f * m * (1 + frequencies[6]);
            glScalef(1, stretch, 1);
            const float dx = eye.x - 30.0f * i, dz = eye.z - 30.0f * j;
            const bool outside = dx * dx + dz * dz > 11 * 11 || std::fabs(eye.y) > 10 * stretch + 1;
            const bool cull = outside && skipInvisibleWork;
            if (cull)
                glEnable(GL_CULL_FACE);
            loota->srender();
            if (cull)
                glDisable(GL_CULL_FACE);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(1, 0, 0, 1);
            loota->wrender();
            glPopMatrix();
        }
}

// One wing as a fan of 19 triangles from the root along the outline, the
// other mirrored in x; each folds by `angle` degrees about z.
void drawButterfly(float angle, Curve* curve) {
    for (int side = 0; side < 2; ++side) {
        const float mirror = side == 0 ? 1.0f : -1.0f;
        glPushMatrix();
        glRotatef(mirror * angle, 0, 0, 1);
        glBegin(GL_TRIANGLES);
        for (float t = 0; t < 1 - 0.05f; t += 0.05f) {
            const Vector3D p = curve->vReturnPoint(t), q = curve->vReturnPoint(t + 0.05f);
            glVertex3f(0, 0, 0);
            glVertex3f(mirror * p.x, p.y, p.z);
            glVertex3f(mirror * q.x, q.y, q.z);
        }
        glEnd();
        glPopMatrix();
    }
}

void drawButterflies() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    // All wings beat in step, +-80 degrees every 2 pi 30 ms.
    const float wingAngle = 80 * sinf(demoMS / 30);
    for (int i = 0; i < kButterflies; ++i) {
        const Vector3D& b = bfPos[i];
        glPushMatrix();
        // Invisible below y = 0, opaque from 200 up.
        glColor4f(0.7f, 0, 0, b.y / 200);
        glRotatef(20.0f * i, 0, 1, 0);
        glTranslatef(b.x, b.y, b.z);
        drawButterfly(wingAngle, &butterflyCurve);
        glPopMatrix();
    }
}

void scene11() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const Vector3D eye = setCamera();
    whiteFog(100, 250);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    setLineWidth(2);
    drawColumns(eye);
    drawButterflies();
}

} // namespace

void scene11init() {
    bfPos = new Vector3D[kButterflies];
    scene11reset();
    loota = new Mesh();
    loota->makeCylinder(6, 20, 10);
    butterflyCurve = Curve({0, 0, 0}, {-10, 0, -7.5f}, {-15, 0, 10}, {0, 0, 0});
}

void scene11reset() {
    // y = 400 makes the next update start every butterfly, which also sets
    // x and z (zero until then, so nothing reads an unset value).
    for (int i = 0; i < kButterflies; ++i) bfPos[i] = Vector3D(0, 400, 0);
}

void scene11advance() {
    for (int i = 0; i < kButterflies; ++i) {
        Vector3D& b = bfPos[i];
        b.y += 16 * skip; // 320 units per second
        if (b.y >= 400) {
            b.y = static_cast<float>(std::rand() % 200 - 200);
            b.x = 0;
            b.z = 0;
        }
        // Each drifts on its own sine paths.
        const float phase = demoMS / (20 * i + 400);
        b.x += 3 * sinf(phase + 0.5f * i) * skip;
        b.z += 3 * cosf(phase + 0.8f * i) * skip;
    }
}

void scene11draw() {
    renderGlowSourceAndPicture([](bool) { scene11(); }, 0.001f);
    engine->glow->RenderBlur(engine->textureManager, 0.5f);

    // The flowers through their own mask over the top-left 256 x 256, in
    // their own colours under the flower swarm's combine mode.
    drawOverlay(kSlotFlowers, 0, 0, 0, 1, 0, 0, 256, 256);

    if (demoMS < kStart + 1000) renderTransition2(1 - (demoMS - kStart) / 1000);
}

void scene11update() {
    scene11advance();
    scene11draw();
}

int scene11Orbit() { return orbit(); }

Vector3D scene11Butterfly(int i) { return bfPos[i]; }
