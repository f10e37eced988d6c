// Scene 3 (163700 to 178500 ms): a hopping ride along a road of flashing LED
// tiles that follows a Bezier curve through white fog, between two rows of
// breathing translucent towers, dark red and black. Four segments of 3700 ms,
// each on its own curve, every cut opening with a blur that clears in 370 ms.
// The talking head rides over it, the butterfly sits in the top-right corner,
// and the scene fades in from white.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"
#include "scenes/ViewVolume.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

constexpr float kStart = sceneStartMs(3);                  // its stretch starts here, ms
constexpr float kLength = sceneEndMs(3) - sceneStartMs(3); // ms, four segments
constexpr int kRoadTiles = 201;                            // t = 0, 0.01, ... while t < 2 in float
constexpr int kTowerRows = 20;                             // t = 2.0, 1.9, ... while t >= 0 in float

Curve levelData[4]; // road and camera path of each segment
int curCam = 0;     // segment 0..3
float place = 0;    // progress within the segment, 0..1
float fourth = 0;   // segment length, ms

unsigned towerRowsDrawn = 0; // bit n: the pair at t = 2.0 - 0.1 n was drawn by the last scene3()

// The road's two edges at t = 0, 0.01, ... 2.01 (tile k runs from row k to
// row k + 1: t + 0.01 in float is the next tile's t), and whether both lie
// safely inside the view volume.
Vector3D roadEdge[kRoadTiles + 1][2];
bool roadEdgeInside[kRoadTiles + 1];

// Corner 0..3 of road tile k: texture (0, 0) at the left edge of row k,
// (10, 0) at its right edge, (10, 2) and (0, 2) at row k + 1.
void tileCorner(int k, int corner) {
    static const float tex[4][2] = {{0, 0}, {10, 0}, {10, 2}, {0, 2}};
    static const int row[4] = {0, 0, 1, 1}, edge[4] = {0, 1, 1, 0};
    const Vector3D& v = roadEdge[k + row[corner]][edge[corner]];
    glTexCoord2f(tex[corner][0], tex[corner][1]);
    glVertex3f(v.x, v.y, v.z);
}

// The camera rides the curve 3 to 6 units above it, eight hops a segment,
// looking 0.05 ahead (past the curve's end near place = 1).
void setCamera(const Curve& c) {
    const Vector3D e = c.vReturnPoint(place);
    const Vector3D t = c.vReturnPoint(place + 0.05f);
    const Vector3D u = c.curveUpVec(place);
    const float hop = 3 + std::fabs(3 * sinf(8 * 3.14159f * place));
    gluLookAt(e.x, e.y + hop, e.z, t.x, t.y + hop, t.z, u.x, u.y, u.z);
}

// 201 tiles 20 units wide, each repeating its LED image 10 x 2 times, running
// on past the curve's end. Tile k shows led2, led3, led4, led1, ... from k = 0
// on every call. The tiles are opaque trapezoids that only touch at their
// edges, so they go out image by image (four binds and a few glBegin/glEnd
// pairs instead of 201 of each), with the same pixels: the texture on a
// trapezoid depends on the diagonal it is split along, and GL draws a lone
// quad that it need not clip as the triangles (0, 1, 2), (0, 2, 3), so those
// are sent; a tile that GL will clip keeps its own quad.
void drawRoad(const Curve& c) {
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    float t = 0;
    for (int k = 0; k <= kRoadTiles; ++k, t += 0.01f) {
        const Vector3D p = c.vReturnPoint(t), s = c.curveSideVec(t) * 10;
        roadEdge[k][0] = p + s;
        roadEdge[k][1] = p - s;
    }
    // Inside a volume drawn in by 0.1 %: surely not clipped.
    const ViewVolume clip(-0.001f);
    for (int k = 0; k <= kRoadTiles; ++k) {
        roadEdgeInside[k] = clip.outside(roadEdge[k][0]) == 0 && clip.outside(roadEdge[k][1]) == 0;
    }
    for (int image = 0; image < 4; ++image) {
        engine->textureManager->bind(engine->textures[kSlotLed1 + image]);
        // Tile k's image is (k + 1) mod 4: the first is led2.
        const int first = (image + 3) % 4;
        glBegin(GL_TRIANGLES);
        for (int k = first; k < kRoadTiles; k += 4)
            if (roadEdgeInside[k] && roadEdgeInside[k + 1]) {
                tileCorner(k, 0);
                tileCorner(k, 1);
                tileCorner(k, 2);
                tileCorner(k, 0);
                tileCorner(k, 2);
                tileCorner(k, 3);
            }
        glEnd();
        for (int k = first; k < kRoadTiles; k += 4)
            if (!(roadEdgeInside[k] && roadEdgeInside[k + 1])) {
                glBegin(GL_QUADS);
                for (int corner = 0; corner < 4; ++corner) tileCorner(k, corner);
                glEnd();
            }
    }
}

// Twenty tower pairs from the far end (t = 2.0) back, 25 units to each side
// of the road and 20 below it, colours alternating along each side and
// opposite across it. A pair is drawn while it lies within 1 of place + 0.3.
void drawTowers(const Curve& c) {
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_CULL_FACE);
    towerRowsDrawn = 0;
    bool flag = false;
    int n = 0;
    for (float t = 2.0f; t >= 0; t -= 0.1f, ++n) {
        flag = !flag;
        if (!(1 - std::fabs(place - t + 0.3f) > 0)) continue;
        towerRowsDrawn |= 1u << n;
        const Vector3D p = c.vReturnPoint(t);
        const Vector3D s = c.curveSideVec(t);
        const Vector3D down(0, 20, 0);
        const float red = flag ? 0.5f : 0.0f;

        Vector3D at = p + s * 25 - down;
        glPushMatrix();
        glTranslatef(at.x, at.y, at.z);
        renderHouse(20 * sinf(5 * t) + 50, 2 * cosf(5 * t) + 3,
                    1 + 0.05f * (0.5f * sinf(demoMS / 200 + 9 * t) + 0.5f), red, 0, 0);
        glPopMatrix();

        at = p - s * 25 - down;
        glPushMatrix();
        glTranslatef(at.x, at.y, at.z);
        renderHouse(20 * sinf(6 * t + 1.8f) + 50, 2 * cosf(6 * t) + 3,
                    1 + 0.05f * (0.5f * sinf(demoMS / 240 + 9 * t) + 0.5f), 0.5f - red, 0, 0);
        glPopMatrix();
    }
}

void scene3() {
    const Curve& c = levelData[curCam];
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    whiteFog(200, 250);
    setCamera(c);
    drawRoad(c);
    drawTowers(c);
}

} // namespace

// Twenty storeys, each scaled by `taper` from the one below, the alpha rising
// from 0 at the ground to 2 at the top (so the lower half fades in and the
// upper half is opaque), the side faces at half the colour, and a roof. The
// quads are independent, so one glBegin/glEnd pair carries the whole tower.
void renderHouse(float height, float size, float taper, float r, float g, float b) {
    const float hr = 0.5f * r, hg = 0.5f * g, hb = 0.5f * b;
    float y = 0, s = size;
    glBegin(GL_QUADS);
    for (int i = 0; i < 20; ++i) {
        const float y1 = y + height / 20, s1 = s * taper;
        const float a0 = 2.0f * i / 20, a1 = 2.0f * (i + 1) / 20;
        // -z
        glColor4f(r, g, b, a0);
        glVertex3f(s, y, -s);
        glVertex3f(-s, y, -s);
        glColor4f(r, g, b, a1);
        glVertex3f(-s1, y1, -s1);
        glVertex3f(s1, y1, -s1);
        // +x
        glColor4f(hr, hg, hb, a0);
        glVertex3f(s, y, s);
        glVertex3f(s, y, -s);
        glColor4f(hr, hg, hb, a1);
        glVertex3f(s1, y1, -s1);
        glVertex3f(s1, y1, s1);
        // -x
        glColor4f(hr, hg, hb, a0);
        glVertex3f(-s, y, -s);
        glVertex3f(-s, y, s);
        glColor4f(hr, hg, hb, a1);
        glVertex3f(-s1, y1, s1);
        glVertex3f(-s1, y1, -s1);
        // +z, top first
        glColor4f(r, g, b, a1);
        glVertex3f(s1, y1, s1);
        glVertex3f(-s1, y1, s1);
        glColor4f(r, g, b, a0);
        glVertex3f(-s, y, s);
        glVertex3f(s, y, s);
        y = y1;
        s = s1;
    }
    y = height;
    glColor4f(hr, 0, 0, 1);
    glVertex3f(-s, y, s);
    glVertex3f(s, y, s);
    glVertex3f(s, y, -s);
    glVertex3f(-s, y, -s);
    glEnd();
}

void scene3init() {
    levelData[0] = Curve({0, -30, 0}, {-80, 30, 50}, {60, -70, 100}, {10, 10, 180});
    levelData[1] = Curve({0, 30, 0}, {80, -50, 50}, {60, -70, 100}, {10, -120, 180});
    levelData[2] = Curve({0, 20, 0}, {-80, 40, 50}, {-160, -10, 100}, {-240, 40, 180});
    levelData[3] = Curve({0, 0, 0}, {-150, 30, 90}, {-60, 0, 200}, {80, 0, 90});
}

void scene3draw() {
    // Segments start at 163700, 167400, 171100 and 174800 ms.
    curCam = static_cast<int>((demoMS - kStart) * 4 / kLength);
    fourth = 3700;
    place = (demoMS - (curCam * fourth + kStart)) / fourth;

    renderGlowSourceAndPicture([](bool) { scene3(); }, 0.002f);
    engine->glow->Render(engine->textureManager, 1.0f);
    // Each cut opens fully blurred and clears 370 ms in.
    engine->glow->RenderBlur(engine->textureManager, 1 - 10 * place);

    // A new pose every 925 ms, bobbing gently.
    const int pose = headPoseAt(demoMS, kStart, kLength);
    renderTalkingHead(heads[pose][0], heads[pose][1] - headBob(demoMS), heads[pose][2]);

    // The butterfly's shape at half opacity over the top-right 256 x 256; in
    // the combine mode left by the flower swarm it shows the blank image's colours.
    drawOverlay(kSlotButterfly, 0, 0, 0, 0.5f, 768, 0, 1024, 256);

    if (demoMS < kStart + 1000) renderTransition2(1 - (demoMS - kStart) / 1000);
}

void scene3update() { scene3draw(); }

int scene3Segment() { return curCam; }

float scene3Place() { return place; }

unsigned scene3TowerRows() { return towerRowsDrawn; }
