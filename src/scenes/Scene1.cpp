// Scene 1 (14800 to 29600 ms): a 31 x 31 checkerboard of dark-red and
// dark-grey tiles spinning on a white void, fifty black ribbons spiralling up
// from the centre, a camera on four paths cut at the sync points. Opens with
// Scene 2's curtain withdrawing, ends in blurred white.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

constexpr float kStart = sceneStartMs(1), kEnd = sceneEndMs(1); // its stretch, ms

constexpr int kArrows = 50;

Curve traCam[4];          // the four camera paths
Curve* arrows = nullptr;  // the ribbon paths

// The camera stretch for this moment: each later test overrides the earlier.
// The divisors are the lengths of the stretches in ms.
Vector3D cameraEye() {
    const Curve* path = &traCam[0];
    float u = (demoMS - kStart) / 3900;
    if (demoMS > 18700) path = &traCam[1], u = (demoMS - 18700) / 3680;
    if (demoMS > 22380) path = &traCam[2], u = (demoMS - 22380) / 3680;
    if (demoMS > 26060) path = &traCam[3], u = (demoMS - 26060) / 3540;
    return path->vReturnPoint(u);
}

// Each tile turns about the axis (x, z, 0) through its centre. The turn is
// applied here rather than by glRotatef per tile, so the whole floor is one
// glBegin/glEnd pair instead of 961 pushes, turns and pairs. The centre
// tile's axis has zero length and, as in GL, it does not turn.
void drawFloor() {
    static const float corners[4][2] = {{-7.5f, 7.5f}, {7.5f, 7.5f}, {7.5f, -7.5f}, {-7.5f, -7.5f}};
    bool red = false;
    glBegin(GL_QUADS);
    for (int x = -15; x <= 15; ++x)
        for (int z = -15; z <= 15; ++z) {
            red = !red;
            if (red)
                glColor3f(0.5f, 0, 0);
            else
                glColor3f(0.1f, 0.1f, 0.1f);
            // Tiles near the centre are turned further; all turn a degree every 300 ms.
            const float distance = sqrtf(static_cast<float>(x * x + z * z));
            const float degrees = demoMS / 300 + 720 / (distance + 1);
            const float kx = distance > 0 ? x / distance : 0, ky = distance > 0 ? z / distance : 0;
            const float radians = distance > 0 ? degrees * 3.14159265f / 180 : 0;
            const float c = cosf(radians), s = sinf(radians);
            for (const auto& corner : corners) {
                // Rodrigues' rotation of v = (vx, 0, vz) about k = (kx, ky, 0):
                // v c + (k x v) s + k (k . v)(1 - c).
                const float vx = corner[0], vz = corner[1];
                const float along = kx * vx * (1 - c);
                glVertex3f(15.0f * x + vx * c + ky * vz * s + kx * along, -kx * vz * s + ky * along,
                           15.0f * z + vz * c - ky * vx * s);
            }
        }
    glEnd();
}

void scene1(bool full) {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glDisable(GL_FOG);
    if (full) {
        // White linear fog from 200 to 300 units, only in the full picture.
        whiteFog(200, 300);
    }
    const Vector3D eye = cameraEye();
    gluLookAt(eye.x, eye.y, eye.z, 0, 20, 0, 0, 1, 0);

    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    drawFloor();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);

    // A new ribbon every 300 ms, each living 4 s.
    const float T = (demoMS - kStart) / 1000;
    for (int i = 0; i < kArrows; ++i) {
        const float t = T - 0.3f * i;
        if (t > -2 && t < 2) renderArrow(&arrows[i], t, 0.8f, 5, 0, 0, 0);
    }
}

} // namespace

void scene1init() {
    traCam[0] = Curve({0, 100, 200}, {100, 100, 50}, {200, 100, -50}, {0, 50, -200});
    traCam[1] = Curve({0, 20, 50}, {90, 20, 10}, {140, 20, -20}, {50, 10, -80});
    traCam[2] = Curve({0, 20, 60}, {90, 50, 10}, {140, 100, -20}, {50, 150, -120});
    traCam[3] = Curve({50, 10, -30}, {10, 20, 40}, {10, 20, 40}, {50, 10, 30});

    // Helical paths widening from radius 10 to 80, a quarter turn per point;
    // every third climbs 40 units higher.
    arrows = new Curve[kArrows];
    for (int i = 0; i < kArrows; ++i) {
        const float theta = i * 3.14159f * 2 / 4;
        const float h = i % 3 == 0 ? 40.0f : 0.0f;
        arrows[i] = Curve({10 * sinf(theta), 0, 10 * cosf(theta)},
                          {20 * sinf(theta + 1.570795f), h + 40, 20 * cosf(theta + 1.570795f)},
                          {30 * sinf(theta + 3.14159f), h + 80, 30 * cosf(theta + 3.14159f)},
                          {80 * sinf(theta + 4.712385f), h + 80, 80 * cosf(theta + 4.712385f)});
    }
}

void scene1draw() {
    renderGlowSourceAndPicture(scene1, 0.002f);
    engine->glow->Render(engine->textureManager, 0.8f);

    // The flowers' mask in black over the upper-left 256 x 256.
    drawOverlay(kSlotFlowers, 0, 0, 0, 1, 0, 0, 256, 256);

    if (demoMS < kStart + 1000) renderTransition1(1 - (demoMS - kStart) / 1000);
    if (demoMS + 500 > kEnd) renderTransition2(1 - (kEnd - demoMS) / 500);
    engine->glow->RenderQuad(1, 1, 1, getSyncFloat() * 0.5f);
}

void scene1update() { scene1draw(); }
