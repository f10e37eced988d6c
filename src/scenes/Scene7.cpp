// Scene 7 (89300 to 104000 ms): a glossy redtex blob boiling into lobes
// under three travelling waves, eight black arrows sweeping up past it on
// swinging curves, a swarm of 100 flower sprites drifting across the white
// background ever faster, and a camera on four arcs in the plane x = 0,
// rolled so that world x points up on screen. Fades in out of blurred white.
//
// The blob leaves texture unit 0 combining with the texture's RGB alone
// (GL_COMBINE_ARB, GL_REPLACE) and never sets it back: from here to the end
// of the demo a textured draw shows the image's own colours and the current
// colour only scales its alpha.
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
#include <limits>

namespace {

constexpr float kStart = sceneStartMs(7); // its stretch starts here, ms

constexpr int kFlowers = 100;
constexpr int kArrows = 8;

Mesh* distObj = nullptr;    // the blob; its spare vertex copy keeps the unit sphere
Vector3D* flowers = nullptr; // z: remaining distance (sets the screen x), y: height; x unused
Curve camera7[4];           // the four camera arcs
float timeLine7 = 0;        // parameter along the current arc, 0 at its cut

// The music time the blob's vertices and normals were last deformed for.
// The shape depends on demoMS alone, so the second call of a frame (and a
// frame drawn again at the same moment) reuses it.
float blobShapeMs = std::numeric_limits<float>::quiet_NaN();

// Pushes every vertex of the unit sphere out or in along its ray by the sum
// of three waves whose wave numbers (1 to 11) drift with the music, then
// recomputes the normals. Rebuilt from the rest shape each time, so no
// deformation accumulates; the arrays are the mesh's own, nothing is allocated.
void deformBlob() {
    if (blobShapeMs == demoMS) return;
    blobShapeMs = demoMS;
    const float a1 = sinf(demoMS / 550) * 5 + 6;
    const float a2 = cosf(demoMS / 910 + 0.8f) * 5 + 6;
    const float a3 = cosf(demoMS / 830) * 5 + 6;
    const float px = demoMS / 300, py = demoMS / 350, pz = demoMS / 280;
    const Vector3D* rest = distObj->savedVertices;
    Vector3D* v = distObj->vertices;
    for (unsigned k = 0; k < distObj->verticeAmount; ++k) {
        const Vector3D& r = rest[k];
        const float w = sinf(r.x * a1 + px) + cosf(r.y * a2 + py) + cosf(r.z * a3 + pz);
        // Radius 4 w + 7: from -5 (through the centre) to 19.
        v[k] = r * ((w * 0.4f + 0.7f) * 10);
    }
    distObj->createNormals();
}

// The sprites as one batch of independent quads: each is turned about its
// own centre on the CPU (a quarter turn every 900 ms, 10 degrees apart from
// its neighbour) instead of a push, translate, rotate and pop per sprite.
void drawFlowers() {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glColor4f(0, 0, 0, 1);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    engine->textureManager->bind(engine->textures[kSlotFlower1]);
    glLoadIdentity();
    static const float corners[4][4] = {{0, 0, -1, 1}, {1, 0, 1, 1}, {1, 1, 1, -1}, {0, 1, -1, -1}};
    glBegin(GL_QUADS);
    for (int i = 0; i < kFlowers; ++i) {
        const Vector3D& f = flowers[i];
        // z = 0 would put the sprite at an infinite x; it is re-seeded next frame.
        if (f.z == 0) continue;
        const float x = 400 / f.z - 4, y = f.y;
        const double radians = (demoMS * 0.1 + 10 * i) * 3.14159265358979323846 / 180;
        const float c = static_cast<float>(std::cos(radians)), s = static_cast<float>(std::sin(radians));
        const float h = ((i % 4) * 0.1f + 0.1f) * 0.2f; // 0.02, 0.04, 0.06, 0.08
        for (const auto& k : corners) {
            const float cx = k[2] * h, cy = k[3] * h;
            glTexCoord2f(k[0], k[1]);
            glVertex3f(x + c * cx - s * cy, y + s * cx + c * cy, -4);
        }
    }
    glEnd();
}

// The arc of this moment: each later test overrides the earlier. The last
// divisor is 18600 ms although only 3600 ms of the scene remain, so the last
// arc is only travelled to about 0.19.
int cameraArc() {
    int c = 0;
    timeLine7 = (demoMS - kStart) / 3700;
    if (demoMS > 93000) c = 1, timeLine7 = (demoMS - 93000) / 3800;
    if (demoMS > 96800) c = 2, timeLine7 = (demoMS - 96800) / 3600;
    if (demoMS > 100400) c = 3, timeLine7 = (demoMS - 100400) / 18600;
    return c;
}

void drawBlob() {
    glColor3f(1, 1, 1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glPushMatrix();
    glRotatef(demoMS / 15, 0, 1, 1);
    deformBlob();

    // redtex, its RGB alone, with the specular2 highlight added, looked up by
    // the vertex normal.
    renderReflective(distObj, kSlotRedTex, kSlotSpecular2);
    glPopMatrix();
    glDisable(GL_CULL_FACE);
}

// Arrow i's curve at music time ms: from below the blob to above it, its
// handles swinging about the vertical axis a radian every 700 ms. Arrows i
// and i + 4 share a curve.
Curve arrowCurve(int i, float ms) {
    const float g = ms / 700;
    const float theta = 3.14159f * i / 2 + g;
    return Curve({0, -100, 0}, {30 * sinf(theta), 0, 30 * cosf(theta)},
                 {30 * sinf(theta + 1.570795f), 30, 50 * cosf(theta + 1.570795f)}, {0, 140, 0});
}

// Arrow i's head parameter: from -1.667 to 1.667 every 5000 ms, the arrows
// 625 ms apart.
float arrowHead(int i, float ms) {
    const int n = static_cast<int>(ms + 625 * i);
    return static_cast<float>(n % 5000 - 2500) / 1500;
}

void scene7() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawFlowers();

    glLoadIdentity();
    const Vector3D eye = camera7[cameraArc()].vReturnPoint(timeLine7);
    // Aimed above the blob, world x up on screen.
    gluLookAt(eye.x, eye.y, eye.z, 0, 20, 0, 1, 0, 0);
    drawBlob();

    for (int i = 0; i < kArrows; ++i) {
        Curve curve = arrowCurve(i, demoMS);
        renderArrow(&curve, arrowHead(i, demoMS), 0.7f, 10, 0, 0, 0);
    }
}

} // namespace

void scene7init() {
    camera7[0] = Curve({0, 80, 20}, {0, 40, 150}, {0, -60, 150}, {0, -120, 10});
    camera7[1] = Curve({0, 80, -20}, {0, 40, -130}, {0, -60, -150}, {0, -120, -10});
    camera7[2] = camera7[0];
    camera7[3] = camera7[1];

    flowers = new Vector3D[kFlowers];
    scene7reset();

    distObj = new Mesh();
    distObj->makeSphere(1, 64);
    distObj->createNormals();
    distObj->pushVertices(); // the rest shape every deformation starts from
}

// Every z at 0: the next frame seeds the whole swarm.
void scene7reset() {
    for (int i = 0; i < kFlowers; ++i) flowers[i] = Vector3D(0, 0, 0);
}

void scene7advance() {
    for (int i = 0; i < kFlowers; ++i) {
        Vector3D& f = flowers[i];
        if (f.z <= 0) {
            f.z = static_cast<float>(std::rand() % 192 + 128);
            f.y = static_cast<float>(std::rand() % 1000 - 500) / 400;
        }
        f.z -= skip;
    }
}

void scene7draw() {
    renderGlowSourceAndPicture([](bool) { scene7(); }, 0.0015f);
    engine->glow->Render(engine->textureManager, 0.8f);

    // A flash of blur at each cut, gone after a seventh of the arc.
    engine->glow->RenderBlur(engine->textureManager, 1 - 7 * timeLine7);
    engine->glow->RenderBlur(engine->textureManager, frequencies[3] * 0.5f);

    // The flowers image over the upper-left 256 x 256, in its own colours.
    drawOverlay(kSlotFlowers, 0, 0, 0, 1, 0, 0, 256, 256);

    if (demoMS < kStart + 1000) renderTransition2(1 - (demoMS - kStart) / 1000);
}

void scene7update() {
    scene7advance();
    scene7draw();
}

float scene7Timeline() { return timeLine7; }

Vector3D scene7Flower(int i) { return flowers[i]; }

const Mesh* scene7Blob() { return distObj; }

Curve scene7ArrowCurve(int i, float ms) { return arrowCurve(i, ms); }

float scene7ArrowHead(int i, float ms) { return arrowHead(i, ms); }
