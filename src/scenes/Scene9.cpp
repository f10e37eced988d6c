// Scene 9 (148800 to 163700 ms): a field of waving grass blades, dark red at
// the tips and black at the root, under a white sky and white fog. The camera
// backs along +z looking down -z, drifting from side to side; twenty curling
// black flower stems grow out of the ground as it leaves them behind, ten
// tapering zig-zag segments each with a blossom opening at every end. The
// talking head and the trash image lie over it; it opens out of white.
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

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr float kStart = sceneStartMs(9), kEnd = sceneEndMs(9); // its stretch, ms

constexpr int kFlowers = 20;
constexpr int kFlowerSegments = 10;

Curve grass; // blade template: the x of P1 .. P3 is rewritten for every blade

// The field's vertices of one render: position and colour per corner.
struct GrassVertex {
    float x, y, z, r, g, b;
};
std::vector<GrassVertex> grassVertices;
int bladesSent = 0, bladesClipped = 0; // by the last render: in all, and in draws GL clips

// One blade along `grass`, standing at (x0, 0, z0): ten quads, 2 units wide
// at the root and narrowing to a point, from black up to dark red, appended
// to the field's vertices (placed on the CPU). Successive quads meet at the
// same parameter (t + 0.1 is the next t exactly), so each point of the curve
// is evaluated once.
//
// The quads go as one triangle strip, the left then the right end of each
// edge across the blade, with the same two triangles each quad is cut into
// (their shared edge runs from the lower right to the upper left corner).
// Each quad has one colour; shaded flat, a triangle takes that of its last
// vertex, which lies on the quad's upper edge: that edge carries it. A
// blade after the first in a draw is joined to the one before by repeating
// the last vertex and its own first: the triangles between have no area.
// Without `strips`, four corners for each quad.
void renderGrass(float x0, float z0, bool strips, bool joined) {
    Vector3D p = grass.vReturnPoint(0);
    if (strips) {
        if (joined) {
            grassVertices.push_back(grassVertices.back());
            grassVertices.push_back({x0 + (p.x - 1), p.y, z0 + p.z, 0, 0, 0});
        }
        grassVertices.push_back({x0 + (p.x - 1), p.y, z0 + p.z, 0, 0, 0});
        grassVertices.push_back({x0 + (p.x + 1), p.y, z0 + p.z, 0, 0, 0});
    }
    for (float t = 0; t < 1; t += 0.1f) {
        const Vector3D q = grass.vReturnPoint(t + 0.1f);
        const float wp = 1 - t, wq = 1 - t - 0.1f, red = 0.5f * t;
        if (strips) {
            grassVertices.push_back({x0 + (q.x - wq), q.y, z0 + q.z, red, 0, 0});
            grassVertices.push_back({x0 + (q.x + wq), q.y, z0 + q.z, red, 0, 0});
        } else {
            grassVertices.push_back({x0 + (p.x - wp), p.y, z0 + p.z, red, 0, 0});
            grassVertices.push_back({x0 + (q.x - wq), q.y, z0 + q.z, red, 0, 0});
            grassVertices.push_back({x0 + (q.x + wq), q.y, z0 + q.z, red, 0, 0});
            grassVertices.push_back({x0 + (p.x + wp), p.y, z0 + p.z, red, 0, 0});
        }
        p = q;
    }
}

// Blade (i, j) waves with its own phase: the x of its three upper control
// points swing 5 units either side at three different rates.
void bendBlade(int i, int j, float ms) {
    const float phase = 0.4f * i + 0.4f * j;
    grass.controlPoints[1].x = 5 * sinf(phase + 0.003f * ms);
    grass.controlPoints[2].x = 5 * cosf(phase + 0.0025f * ms);
    grass.controlPoints[3].x = 5 * cosf(phase + 0.002f * ms + 0.5f);
}

// The blades 30 to 120 units in front of the eye: 30 rows of 41, each blade
// appended to the field's vertices and the field drawn with glDrawArrays.
//
// While invisible work is skipped, the same pixels as sending every blade in
// row order for less work:
// - The rows go nearest first. Rows lie 3 units apart, so every pixel still
//   ends up with the nearest row's blade, and the depth test turns the
//   farther fragments away early. Within a row the order stays: blades of
//   one row share their plane, and where two overlap the first drawn keeps
//   the pixel.
// - A blade wholly outside the view `volume` (its curve stays within 5
//   units of x either side of its root and it is at most 1 unit wide) would
//   be clipped away whole, so it is not sent.
// - A draw in which any blade crosses the border of the `clipped` volume
//   goes through Mesa's clipping path, which touches every vertex of the
//   draw each time its small output buffer fills: the cost grows with the
//   square of the draw. Blades wholly inside share long draws; those that
//   cross the border go in draws of a few, in the same order. (Consecutive
//   glBegin/glEnd pairs would be merged into one draw, hence the arrays.)
//   In the wide view (WideView) hardly any blade reaches that border.
void drawGrass(float z, const ViewVolume& volume, const ViewVolume& clipped) {
    constexpr int kCrossingDraw = 4; // blades
    const int first = static_cast<int>(z / 3 - 40), last = static_cast<int>(z / 3 - 10);
    const bool lean = skipInvisibleWork; // also: strips of blades
    struct Draw {
        int start, count;
        bool crossing;
    };
    static std::vector<Draw> draws;
    draws.clear();
    grassVertices.clear();
    bladesSent = bladesClipped = 0;
    for (int n = 0; n < last - first; ++n) {
        const int j = lean ? last - 1 - n : first + n;
        int inDraw = 0;
        for (int i = -20; i <= 20; ++i) {
            const float x = 3.0f * i, zRow = 3.0f * j;
            bool crossing = false;
            if (lean) {
                const Vector3D corners[4] = {{x - 6, 0, zRow}, {x + 6, 0, zRow}, {x - 6, 15, zRow}, {x + 6, 15, zRow}};
                unsigned all = ~0u, any = 0;
                for (const Vector3D& c : corners) {
                    all &= volume.outside(c);
                    any |= clipped.outside(c);
                }
                if (all != 0) continue;
                crossing = any != 0;
            }
            const bool newDraw = lean ? inDraw == 0 || crossing != draws.back().crossing ||
                                            (crossing && inDraw == kCrossingDraw)
                                      : draws.empty();
            if (newDraw) {
                draws.push_back({static_cast<int>(grassVertices.size()), 0, crossing});
                inDraw = 0;
            }
            bendBlade(i, j, demoMS);
            renderGrass(x, zRow, lean, inDraw > 0);
            draws.back().count = static_cast<int>(grassVertices.size()) - draws.back().start;
            ++inDraw;
            ++bladesSent;
            bladesClipped += crossing;
        }
    }
    if (draws.empty()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(GrassVertex), &grassVertices[0].x);
    glColorPointer(3, GL_FLOAT, sizeof(GrassVertex), &grassVertices[0].r);
    if (lean) glShadeModel(GL_FLAT);
    for (const Draw& d : draws) glDrawArrays(lean ? GL_TRIANGLE_STRIP : GL_QUADS, d.start, d.count);
    if (lean) glShadeModel(GL_SMOOTH);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// One stem segment: a ribbon along `curve` from just before its start to
// parameter grow (at most 1), half-width width * grow at the start, tapering
// to nothing at grow.
void renderFlowerNode(Curve* curve, float width, float grow) {
    if (grow < 0) return;
    if (grow > 1) grow = 1;
    glBegin(GL_QUADS);
    // Each strip's far side vector is the next strip's near one (the same parameter).
    Vector3D side = curve->curveSideVec2(-0.02f);
    for (float t = -0.02f; t < grow - 0.02f; t += 0.02f) {
        const Vector3D p = curve->vReturnPoint(t), q = curve->vReturnPoint(t + 0.02f);
        const Vector3D nextSide = curve->curveSideVec2(t + 0.02f);
        const Vector3D s = side * width * (grow - t);
        const Vector3D s2 = nextSide * width * (grow - t - 0.02f);
        const Vector3D c[4] = {p - s, q - s2, q + s2, p + s};
        for (const Vector3D& v : c) glVertex3f(v.x, v.y, v.z);
        side = nextSide;
    }
    glEnd();
}

// A blossom of half-size h at (x, y) in the flower's plane, as opaque as `a`.
void renderBlossom(float x, float y, float h, float a) {
    glPushMatrix();
    glTranslatef(x, y, 0);
    glColor4f(1, 1, 1, a);
    glBegin(GL_QUADS);
    spriteQuad(0, 0, 0, h);
    glEnd();
    glPopMatrix();
}

// One flower in its local xy plane: ten segments, each branching off the
// previous at parameter `step`, mirrored left-right and shrunk by `shrink`.
// A segment starts to grow once the previous has grown `step`, and its
// blossom opens while the next one grows.
void renderFlower(float step, float shrink, float growth, float height, float bend, float reachA, float reachB) {
    float w = 0.5f * growth + 4;
    const float k = 1 - shrink;
    float o[3][2] = {{bend, 10}, {reachA, 10}, {reachB, height}};
    Curve c({0, 0, 0}, {o[0][0], o[0][1], 0}, {o[1][0], o[1][1], 0}, {o[2][0], o[2][1], 0});
    for (int n = 0; n < kFlowerSegments; ++n) {
        glColor3f(0, 0, 0);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        renderFlowerNode(&c, w, growth - n * step);
        const Vector3D v = c.vReturnPoint(step);

        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        engine->textureManager->bind(engine->textures[kSlotFlower1]);
        glDisable(GL_DEPTH_TEST);
        const Vector3D e = c.vReturnPoint(1.0f);
        const float s = std::min(std::max(growth - (n + 1) * step, 0.0f), 1.0f);
        renderBlossom(e.x, e.y, w * s, s);

        c.controlPoints[0] = Vector3D(v.x, v.y, 0);
        for (int i = 0; i < 3; ++i) {
            o[i][0] = -k * o[i][0];
            o[i][1] = k * o[i][1];
            c.controlPoints[i + 1] = Vector3D(v.x + o[i][0], v.y + o[i][1], 0);
        }
        w = w * k;
    }
}

// The camera's depth: 200 at the start, 40 units further every second.
float cameraDepth(float ms) {
    return (ms - kStart) / 25 + 200;
}

// Flower q stands at depth 40q + 200 and starts to grow once the camera is
// 20 units past it, one unit of growth per further 20 units.
float flowerGrowth(int q, float z) {
    const float fz = static_cast<float>(40 * q + 200);
    return ((z - fz) - 20) / 20;
}

void drawFlowers(float z) {
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    float spread = 45;
    for (int q = 0; q < kFlowers; ++q) {
        spread = -spread;
        const float fz = static_cast<float>(40 * q + 200);
        const float growth = flowerGrowth(q, z);
        // A flower that has not started draws nothing: no segment has grown
        // and every blossom has size 0.
        if (z - fz < 200 && (growth > 0 || !skipInvisibleWork)) {
            glPushMatrix();
            glTranslatef(0, 0, fz);
            renderFlower(0.3f * cosf(q * 3.14159f / 3) + 0.4f, 0.2f * cosf(0.9f * q) + 0.3f, growth,
                         20 * sinf(0.5f * q) + 60, 10 * sinf(0.4f * q) + 20, spread, spread);
            glPopMatrix();
        }
    }
}

void scene9() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const float z = cameraDepth(demoMS);

    whiteFog(90, 140);

    // Level, looking down -z, away from the direction of travel.
    const float sway = 5 * sinf(demoMS / 1000);
    gluLookAt(sway, 30, z, sway, 30, -30 - z, 0, 1, 0);

    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    const ViewVolume seen(0);
    std::optional<WideView> wide;
    if (skipInvisibleWork) wide.emplace();
    drawGrass(z, seen, wide ? ViewVolume(0) : seen);
    drawFlowers(z);
}

} // namespace

float scene9FlowerGrowth(int flower, float ms) { return flowerGrowth(flower, cameraDepth(ms)); }

Curve scene9Blade(int i, int j, float ms) {
    bendBlade(i, j, ms);
    return grass;
}

int scene9BladesDrawn(int* clipped) {
    *clipped = bladesClipped;
    return bladesSent;
}

int scene9HeadPose(float ms) {
    return headPoseAt(ms, kStart, kEnd - kStart);
}

void scene9init() { grass = Curve({0, 0, 0}, {5, 5, 0}, {0, 10, 0}, {5, 15, 0}); }

// Over 7 layers' time on the software rasteriser with the full blur: the
// glow source's blur leaves out each pass's four axis copies (see
// Glow::MakeBlur), about 1.5 ms a frame, for frames 55 to 61 dB from the
// full blur's.
int scene9BlurLeftOut = 4;

void scene9draw() {
    renderGlowSourceAndPicture([](bool) { scene9(); }, 0.001f, scene9BlurLeftOut);
    engine->glow->RenderBlur(engine->textureManager, 0.5f);

    const float* pose = heads[scene9HeadPose(demoMS)];
    renderTalkingHead(pose[0], pose[1] - headBob(demoMS), pose[2]);

    // The trash image at half opacity over the upper-left 512 x 512, upright.
    drawOverlay(kSlotTrash, 0, 0, 0, 0.5f, 0, 0, 512, 512, true);
    if (demoMS < kStart + 500) renderTransition2(1 - (demoMS - kStart) / 500);
}

void scene9update() { scene9draw(); }
