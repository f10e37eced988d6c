// Scene 8 (104000 to 119000 ms), two halves on one frame pipeline. Until
// 111400 ms the cell tunnel: the camera flies along waytogo, looking back,
// through 9 rings of 12 spinning octagonal redtex cells with four black
// helical ribbons winding just inside them, closed by white fog. From
// 111400 ms the cloud tunnel: the camera at the origin sways its gaze while
// a stack of 1001 spinning cloud sprites streams away from it into white fog.
// A full glow, a blur that follows the lowest spectrum band, the yeah and
// disco stamps, the butterfly at half opacity in the top-right corner; fades
// in from white and out to black.
//
// The cloud stack's picture is up to 35 blended layers, a few of them larger
// than the screen. Each is drawn only as the ring about the centre where its
// mask can be non-zero, and those wholly beyond the fog's end, white over
// white, not at all: no pixel changes. The unfogged ones go four to a pass,
// composed over one another by the texture units and blended once: the
// same picture but for the rounding of the three blends it saves (about
// 55 dB against drawing every whole layer one at a time).
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/FrameStep.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "image/AlphaSupport.h"
#include "image/Texture.h"
#include "scenes/LayerStack.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

bool scene8StacksCloudLayers = true;
bool scene8LeavesOutClearFragments = true;

namespace {

constexpr float kStart = sceneStartMs(8), kEnd = sceneEndMs(8); // its stretch, ms

constexpr float kCloudStart = 111400; // ms: the cloud tunnel from here on
constexpr int kInView = 35;           // cloud layers less than this far ahead are drawn

Mesh* cell = nullptr; // a flat octagonal disc, radius 5, axis y
Curve waytogo;        // the camera's path through the cell tunnel

int cloudLayersDrawn = 0;  // layers of the cloud stack in view last ...
float cloudDrawnAt = 1000; // ... the stack's position then ...
int cloudLayersWhite = 0;  // ... and how many were left out beyond the fog

// A helix around the z axis: one turn per unit of t, `pitch` units towards -z per turn.
Vector3D vReturnPoint2(float t, float radius, float pitch) {
    const float a = t * 3.14159f * 2;
    return Vector3D(radius * sinf(a), radius * cosf(a), -t * pitch);
}

// The helix's sideways unit vector at t, in the xy plane.
Vector3D curveSideVec2(float t) {
    const float a = t * 3.14159f * 2;
    return Vector3D(-cosf(a), sinf(a), 0);
}

// One ribbon along the helix from head - length to head, in strips of 0.01
// turn 2 x halfWidth across. The strips are independent quads: one
// glBegin/glEnd serves them all.
void renderArrow2(float radius, float pitch, float head, float length, float halfWidth) {
    const float start = head - length;
    const float end = start + length - 0.01f;
    glBegin(GL_QUADS);
    for (float t = start; t < end; t += 0.01f) {
        const Vector3D p = vReturnPoint2(t, radius, pitch), q = vReturnPoint2(t + 0.01f, radius, pitch);
        const Vector3D s = curveSideVec2(t) * halfWidth, s2 = curveSideVec2(t + 0.01f) * halfWidth;
        const Vector3D c[4] = {p - s, q - s2, q + s2, p + s};
        for (const Vector3D& v : c) glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

void drawCellTunnel() {
    // The eye runs 0.2 of the path ahead of the point it looks at: it looks
    // back the way it came. Past u = 1 the cubic carries on beyond P3.
    const float u = (demoMS - kStart) / 4800;
    const Vector3D eye = waytogo.vReturnPoint(u), at = waytogo.vReturnPoint(u - 0.2f);
    gluLookAt(eye.x, eye.y, eye.z, at.x, at.y, at.z, 0, 1, 0);

    glColor3f(1, 1, 1);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    whiteFog(50, 130);
    engine->textureManager->bind(engine->textures[kSlotRedTex]);
    // Rings 10 units apart along z, 12 cells 24 units from the axis; odd
    // rings turned by half a cell; every cell tumbling a degree per 10 ms.
    for (int r = 0; r < 9; ++r) {
        glPushMatrix();
        glTranslatef(0, 0, 10.0f * r);
        for (int k = 0; k < 12; ++k) {
            glPushMatrix();
            glRotatef(30.0f * k + 15.0f * (r % 2), 0, 0, 1);
            glTranslatef(0, -24, 0);
            glRotatef(22.5f, 0, 1, 0);
            glRotatef(static_cast<float>(demoMS * 0.1), 0.1f, 0, 0.1f);
            cell->trender();
            glPopMatrix();
        }
        glPopMatrix();
    }

    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glColor3f(0, 0, 0);
    // Fog and depth test stay on. Each ribbon turns the frame by another half
    // turn: ribbons 0 and 2 are drawn turned by 180 degrees, 1 and 3 by 360.
    for (int s = 0; s < 4; ++s) {
        glRotatef(180, 0, 0, 1);
        const int m = static_cast<int>(demoMS * 0.6 + 500 * s);
        // Sweeps from -1 to 1 every 3333 ms, the ribbons a quarter cycle apart.
        const float head = static_cast<float>(m % 2000 - 1000) / 1000;
        renderArrow2(20, 150, head, 0.4f, 3);
    }
}

// The cloud sprite is drawn only where its mask can be non-zero: a texel of
// alpha 0 leaves the pixel as it was under this blend, so the square is cut
// down to a ring between two regular polygons about the mask's support (the
// image is a ring of cloud: the layers nearest the eye look through their
// hole over most of the screen), measured once on the loaded image.
constexpr float kCloudHalf = 4;  // half-size of a layer's square
constexpr int kCloudSides = 8;
SpriteRing cloudRing;            // sides 0: the whole square
unsigned cloudMeasured = 0;      // the texture the ring was fitted to

// Reads the bound texture.
void fitCloudShape() {
    int w = 0, h = 0;
    const std::vector<unsigned char> rgba = boundTextureImage(&w, &h);
    cloudRing = measureSpriteRing(rgba.data(), w, h, kCloudHalf, kCloudSides); // no image: the square
    cloudMeasured = engine->textures[kSlotCloud3];
}

// Whether the ring may stand for the image bound now.
bool cloudRingFits() {
    return scene8LeavesOutClearFragments && cloudRing.sides && engine->textures[kSlotCloud3] == cloudMeasured;
}

// One layer on its own: the sprite at its place and spin, as its ring when
// `asRing`, without fog if it is `clear` of it.
void drawCloudLayer(const StackedLayer& l, bool asRing, bool clear) {
    if (clear) glDisable(GL_FOG);
    glPushMatrix();
    glTranslatef(0, 0, -l.ahead);
    glRotatef(l.spin, 0, 0, 1);
    if (asRing)
        drawSpriteRing(cloudRing, kCloudHalf);
    else
        drawSpriteSquare(kCloudHalf);
    glPopMatrix();
    if (clear) glEnable(GL_FOG);
}

// Layer i of the stack sits at depth zPos - i; those less than 35 units in
// front of the eye are drawn, far to near. A layer's spin depends on its
// index alone; demoMS / 100 turns the whole stack.
void drawCloudTunnel(float zPos, bool stacked) {
    const Vector3D at(0.1f * sinf(demoMS / 900), 0.3f + 0.1f * sinf(demoMS / 1200), -1);
    gluLookAt(0, 0, 0, at.x, at.y, at.z, 0, 1, 0);
    whiteFog(20, 30);
    engine->textureManager->bind(engine->textures[kSlotCloud3]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 1);

    // The most a point of a layer lies farther along the gaze than the
    // layer's centre (the fog's distance is the distance along the gaze).
    Vector3D gaze = at;
    gaze.Normalize();
    const bool asRing = cloudRingFits();
    const float reach = asRing ? cloudRing.rOut : kCloudHalf * 1.41421357f; // farthest corner, units
    const float sideways = reach * sqrtf(gaze.x * gaze.x + gaze.y * gaze.y);

    // The layers in view, far to near; from `clearFrom` on, nearer than the
    // fog's start by the whole layer: there the fog factor is 1 throughout
    // and changes nothing, so they are drawn without it. Those before
    // `white` lie wholly beyond the fog's end: white, over nothing but the
    // white they are cleared to, they change nothing and are left out.
    StackedLayer layers[kInView];
    int count = 0, clearFrom = 0, white = 0;
    float step = 1.0f, spin = 0.0f;
    for (int i = 1000; i >= 0; --i) {
        if (i - kInView < zPos && i > zPos && count < kInView) {
            const float ahead = i - zPos;
            if (ahead * -gaze.z + sideways >= 20 - 0.01f) clearFrom = count + 1;
            if (ahead * -gaze.z - sideways > 30 + 0.01f) white = count + 1;
            layers[count++] = {ahead, 8.0f * i + spin + demoMS / 100};
        }
        step += 2;
        spin += step;
        if (i % 50 == 0) spin += 45;
    }
    int first = scene8LeavesOutClearFragments ? white : 0;
    cloudLayersDrawn = count;
    cloudDrawnAt = zPos;
    cloudLayersWhite = first;
    for (; first < clearFrom; ++first) drawCloudLayer(layers[first], asRing, false);
    // Stacked only over the image the ring was fitted to (its edge is clear).
    if (!stacked || !asRing) {
        for (; first < count; ++first) drawCloudLayer(layers[first], asRing, true);
        return;
    }
    // The unfogged layers go several to a pass over the nearest one's
    // ring (frames 13 % faster than one at a time with 2 a pass, 19 %
    // with 4, 15 % with 8), but those the near plane cuts within the view,
    // each alone.
    const float whole = firstWholeLayer(gaze);
    int last = count;
    while (last > first && layers[last - 1].ahead < whole) --last;
    glDisable(GL_FOG);
    beginStackedLayers(engine->textureManager->names[engine->textures[kSlotCloud3]]);
    for (int n = firstPassLayers(last - first); first < last; first += n, n = kMaxStackedLayers)
        drawStackedRing(layers + first, n, kCloudHalf, cloudRing);
    endStackedLayers();
    glEnable(GL_FOG);
    for (; first < count; ++first) drawCloudLayer(layers[first], asRing, true);
}

// The cloud tunnel's position along the stack: starts at 1000 when the
// program loads, falls only while the cloud tunnel is drawn, never reset.
float& cloudPosition() {
    static float zPos = 1000.0f;
    return zPos;
}

// Where this frame's renders stand in the cloud stack, set by scene8advance:
// a step of 0.4 skip for each of a frame's two renders (glow source, then
// picture), so the stack recedes by 0.8 skip per frame.
float glowSourceZ = 1000.0f, pictureZ = 1000.0f;

// The 3-D picture.
void scene8(bool fullSize) {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    if (demoMS < kCloudStart) {
        drawCellTunnel();
    } else {
        drawCloudTunnel(fullSize ? pictureZ : glowSourceZ, fullSize && scene8StacksCloudLayers);
    }
}

} // namespace

void scene8init() {
    cell = new Mesh();
    cell->makeCylinder(8, 1.0f, 5.0f);
    cell->createNormals();
    waytogo = Curve({0, 0, 80}, {10, -10, 30}, {10, 8, 20}, {0, 0, -40});
    engine->textureManager->bind(engine->textures[kSlotCloud3]);
    fitCloudShape();
    glDisable(GL_TEXTURE_2D);
}

// Both renders of a cloud frame move through the stack, the glow source's first.
void scene8advance() {
    if (demoMS < kCloudStart) return;
    glowSourceZ = cloudPosition() -= 0.4f * skip;
    pictureZ = cloudPosition() -= 0.4f * skip;
}

void scene8reset() { glowSourceZ = pictureZ = cloudPosition() = 1000.0f; }

// Both tunnels come near 7 layers' time: the glow source's blur leaves out
// each pass's two lightest copies (see Glow::MakeBlur), about 0.75 ms a
// frame, for frames 55 to 63 dB from the full blur's.
int scene8BlurLeftOut = 2;

void scene8draw() {
    renderGlowSourceAndPicture(scene8, 0.002f, scene8BlurLeftOut);
    engine->glow->Render(engine->textureManager, 1.0f);
    engine->glow->RenderBlur(engine->textureManager, frequencies[0]);

    stampYeah(107300);
    stampDisco(111200);
    stampYeah(114900);

    // The butterfly over the top-right 256 x 256 at half opacity, in the
    // blank image's own colours (unit 0 combines with the texture's RGB alone).
    drawOverlay(kSlotButterfly, 0, 0, 0, 0.5f, 768, 0, 1024, 256);

    if (demoMS < kStart + 1000) renderTransition2(1 - (demoMS - kStart) / 1000);
    if (demoMS + 500 > kEnd) renderTransition4(1 - (kEnd - demoMS) / 500);
}

void scene8update() {
    scene8advance();
    scene8draw();
}

float scene8CloudPosition() { return cloudPosition(); }

int scene8CloudLayersDrawn(float* position, int* beyondFog) {
    *position = cloudDrawnAt;
    if (beyondFog) *beyondFog = cloudLayersWhite;
    return cloudLayersDrawn;
}
