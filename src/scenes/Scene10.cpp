// Scene 10 (59600 to 89300 ms): a road of 1200 dark blocks, four abreast,
// laid along a Bezier curve over a floor of net panels in front of a huge
// dark-red and black wall, in white fog. Every 100 ms the next cross-row
// breaks loose, drifts, spins and falls; the camera looks at the crumbling
// edge from a rail for four stretches and rides the road for the last four.
// A talking head changes pose sixteen times over it all.
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

namespace {

constexpr int kRows = 300;
constexpr int kColumns = 4;
constexpr int kBlocks = kRows * kColumns;
constexpr float kStartMs = sceneStartMs(10), kEndMs = sceneEndMs(10); // its stretch
constexpr float kFogStart = 20, kFogEnd = 150; // white linear fog, units in front of the eye
constexpr int kStretches = 8;
// Starts of camera stretches 1..7, ms.
constexpr int timePoints[kStretches - 1] = {63100, 67000, 70700, 74100, 78000, 81900, 85500};

Mesh* kubes = nullptr;       // the blocks, each centred on its own origin; block 4 * row + column
Vector3D* kubepos = nullptr; // world centre of each block
Vector3D* kuberot = nullptr; // spin in degrees: x about the x axis, z about the z axis
Vector3D* kubedir = nullptr; // a loose block's drift (x) and fall speed (y) per unit of skip
Curve track;                 // the road's spine and the look-at point's path
Curve arrowi;                // the camera rail of the first four stretches
int curCam10 = 0;            // camera stretch 0..7
Vector3D eyeNow(0, 0, 0), lookAtNow(0, 0, 0); // the camera of the last draw
float headPose[3] = {0, 0, 0};                // x, y and angle the head was last drawn at

int stretchAt(float ms) {
    int stretch = 0;
    for (int i = 0; i < kStretches - 1; ++i)
        if (ms >= timePoints[i])
            stretch = i + 1;
    return stretch;
}

// Every row whose time has come (row i from 59600 + 100 i ms on) drifts,
// spins and falls. Positions move with the speeds of the previous frame, so
// a row's first free frame only starts its spin and sets its speeds.
void crumble() {
    const float r = (demoMS - kStartMs) / 100;
    for (int i = 0; i < kRows && i < r; ++i)
        for (int j = 0; j < kColumns; ++j) {
            const int k = kColumns * i + j;
            const float phi = 0.5f * i + 0.7f * j;
            kubepos[k].y -= kubedir[k].y * skip;
            kubepos[k].x += kubedir[k].x * skip;
            kuberot[k].x += sinf(phi) * skip * 20;
            kuberot[k].z += cosf(phi) * skip * 20;
            kubedir[k].x = sinf(phi);
            // Column 0 gathers speed fastest, column 3 slowest.
            kubedir[k].y += cosf(0.1f * j) * (skip * 0.2f);
        }
}

// The eye of this stretch: on the rail for the first four, beside the road
// near the look-at point for the last four.
Vector3D cameraEye() {
    const float a = (demoMS - kStartMs) / 5000, b = (demoMS - kStartMs) / 10000;
    auto P = [](float t) { return track.vReturnPoint(t); };
    auto Up = [](float t) { return track.curveUpVec(t); };
    auto Side = [](float t) { return track.curveSideVec(t); };
    switch (curCam10) {
    case 0:
        return arrowi.vReturnPoint(a - 0.3f);
    case 1:
        return arrowi.vReturnPoint(a + 0.2f);
    case 2:
        return arrowi.vReturnPoint(b - 0.2f);
    case 3:
        return arrowi.vReturnPoint(b + 0.2f);
    case 4:
        return P(b + 0.1f) + Up(b + 0.1f) * 5;
    case 5:
        return P(b + 0.05f) + Up(b + 0.05f) * 15 - Side(b + 0.05f) * 3;
    case 6:
        return P(b + 0.03f) - Up(b + 0.03f) * 5 + Side(b + 0.03f) * 18;
    default:
        return P(b - 0.018f) + Up(b - 0.018f) * 5 - Side(b - 0.018f) * 20;
    }
}

// A flat piece whose corners all lie beyond the fog's end is drawn in pure
// fog colour, the white of the clear, and so is everything behind it:
// leaving it out changes no pixel. `beyondFog` tells such points (distance in
// front of the eye), with a little margin.
struct FogEnd {
    GLfloat m[16]; // the camera, as the model-view matrix holds it
    FogEnd() { glGetFloatv(GL_MODELVIEW_MATRIX, m); }
    bool beyondFog(float x, float y, float z) const {
        return -(m[2] * x + m[6] * y + m[10] * z + m[14]) > kFogEnd + 0.01f;
    }
};

// 41 x 41 squares of 8 units in the plane z = 0, a checkerboard that starts
// with red (the toggle runs on across rows of odd length).
void drawWall() {
    const FogEnd fog;
    bool red = false;
    glBegin(GL_QUADS);
    for (int r = -20; r <= 20; ++r)
        for (int c = -20; c <= 20; ++c) {
            red = !red;
            const float x = 8.0f * c, y = 8.0f * r;
            if (fog.beyondFog(x - 4, y + 4, 0) && fog.beyondFog(x + 4, y + 4, 0) &&
                fog.beyondFog(x + 4, y - 4, 0) && fog.beyondFog(x - 4, y - 4, 0))
                continue;
            if (red)
                glColor3f(0.5f, 0, 0);
            else
                glColor3f(0, 0, 0);
            glVertex3f(x - 4, y + 4, 0);
            glVertex3f(x + 4, y + 4, 0);
            glVertex3f(x + 4, y - 4, 0);
            glVertex3f(x - 4, y - 4, 0);
        }
    glEnd();
}

// Fifteen 40 x 20 panels at height -30, the net image repeated 20 x 10 times on each.
void drawFloor() {
    const FogEnd fog;
    glColor3f(1, 1, 1);
    glDisable(GL_CULL_FACE);
    engine->textureManager->bind(engine->textures[kSlotNet]);
    glBegin(GL_QUADS);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 3; ++j) {
            const float x = 40.0f * i - 20, z = 20.0f * j;
            if (fog.beyondFog(x, -30, z) && fog.beyondFog(x, -30, z + 20) &&
                fog.beyondFog(x + 40, -30, z + 20) && fog.beyondFog(x + 40, -30, z))
                continue;
            glTexCoord2f(0, 0);
            glVertex3f(x, -30, z);
            glTexCoord2f(0, 10);
            glVertex3f(x, -30, z + 20);
            glTexCoord2f(20, 10);
            glVertex3f(x + 40, -30, z + 20);
            glTexCoord2f(20, 0);
            glVertex3f(x + 40, -30, z);
        }
    glEnd();
}

constexpr int kCorners = 8, kCornerRefs = 36; // per block
GLfloat blockVertices[kBlocks * kCorners * 3];
GLfloat blockColours[kBlocks * kCorners * 3];
GLuint blockIndices[kBlocks * kCornerRefs];

// The blocks placed and turned on the CPU (translation, then the turn about
// x, then the turn about z, as the matrix stack would apply them) and drawn
// as one indexed batch, in block and face order.
void drawBlocks() {
    // Sine and cosine as GL's own rotation takes them: of the angle turned to
    // radians in double and rounded to float.
    const double toRadians = 3.14159265358979323846 / 180.0;
    for (int k = 0; k < kBlocks; ++k) {
        const float ax = static_cast<float>(kuberot[k].x * toRadians),
                    az = static_cast<float>(kuberot[k].z * toRadians);
        const float sx = sinf(ax), cx = cosf(ax), sz = sinf(az), cz = cosf(az);
        const Vector3D& p = kubepos[k];
        GLfloat* out = &blockVertices[k * kCorners * 3];
        for (int c = 0; c < kCorners; ++c, out += 3) {
            const Vector3D& v = kubes[k].vertices[c];
            const float x1 = cz * v.x - sz * v.y, y1 = sz * v.x + cz * v.y; // about z
            const float y2 = cx * y1 - sx * v.z, z2 = sx * y1 + cx * v.z;   // about x
            out[0] = p.x + x1;
            out[1] = p.y + y2;
            out[2] = p.z + z2;
        }
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, blockVertices);
    glColorPointer(3, GL_FLOAT, 0, blockColours);
    glDrawElements(GL_TRIANGLES, kBlocks * kCornerRefs, GL_UNSIGNED_INT, blockIndices);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void scene10() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // The look-at point stands at the row breaking loose now.
    eyeNow = cameraEye();
    lookAtNow = track.vReturnPoint((demoMS - kStartMs) / 10000);
    gluLookAt(eyeNow.x, eyeNow.y, eyeNow.z, lookAtNow.x, lookAtNow.y, lookAtNow.z, 0, 1, 0);

    linearFog(1, kFogStart, kFogEnd, -1);

    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    drawWall();
    drawFloor();
    glDisable(GL_TEXTURE_2D);
    drawBlocks();
}

} // namespace

void generateCubes(Curve* spine) {
    // The parameter is accumulated in float, 0.01 a row; the row count is
    // fixed, so the 300th row (at 2.98999763, just below 2.99) cannot be lost
    // or doubled by rounding in the loop test.
    float t = 0;
    int k = 0;
    for (int row = 0; row < kRows; ++row, t += 0.01f) {
        const float t2 = t + 0.01f;
        const Vector3D u1 = spine->curveUpVec(t) * 3 * 0.25f, u2 = spine->curveUpVec(t2) * 3 * 0.25f;
        const Vector3D s1 = spine->curveSideVec(t) * 3, s2 = spine->curveSideVec(t2) * 3;
        Vector3D p1 = spine->vReturnPoint(t), p2 = spine->vReturnPoint(t2);
        const Vector3D h1 = s1 * 0.5f, h2 = s2 * 0.5f; // one block's width
        for (int j = 0; j < kColumns; ++j, ++k) {
            Vector3D* v = kubes[k].vertices;
            v[0] = p1 - s1 + u1;
            v[1] = p1 - s1 + h1 + u1;
            v[2] = p1 - s1 + h1 - u1;
            v[3] = p1 - s1 - u1;
            v[4] = p2 - s2 + h2 + u2;
            v[5] = p2 - s2 + u2;
            v[6] = p2 - s2 - u2;
            v[7] = p2 - s2 + h2 - u2;
            p1 += h1; // the next block starts where this one ends
            p2 += h2;
            kubepos[k] = kubes[k].getCenter();
            kubes[k].centerize();
        }
    }
}

void scene10advance() { crumble(); }

void scene10reset() {
    for (int k = 0; k < kBlocks; ++k) {
        kuberot[k] = Vector3D(0, 0, 0);
        kubedir[k] = Vector3D(0, 0, 0);
    }
    // Shaping rewrites every corner, so it lays the road anew.
    generateCubes(&track);
}

void scene10init() {
    kubes = new Mesh[kBlocks];
    kubepos = new Vector3D[kBlocks];
    kuberot = new Vector3D[kBlocks];
    kubedir = new Vector3D[kBlocks];
    for (int k = 0; k < kBlocks; ++k)
        kubes[k].makeCube(1);
    track = Curve({-10, 10, 10}, {10, 70, 5}, {30, 40, 5}, {50, 10, 15});
    arrowi = Curve({0, 20, 20}, {10, 80, 15}, {30, 50, 20}, {50, 20, 25});
    scene10reset(); // no block loose, the road shaped along the track
    // The batch's colours and triangle corners never change.
    for (int k = 0; k < kBlocks; ++k) {
        const float red = k % 4 == 0 || k % 4 == 3 ? 0.5f : 0.0f;
        for (int c = 0; c < kCorners; ++c) {
            GLfloat* colour = &blockColours[(k * kCorners + c) * 3];
            colour[0] = red;
            colour[1] = colour[2] = 0;
        }
        for (int i = 0; i < kCornerRefs; ++i)
            blockIndices[k * kCornerRefs + i] = k * kCorners + kubes[k].faces[i];
    }
}

void scene10draw() {
    curCam10 = stretchAt(demoMS);
    renderGlowSourceAndPicture([](bool) { scene10(); }, 0.002f);
    engine->glow->Render(engine->textureManager, 1.0f);

    // A blur flash on every cut from the second to the seventh, gone after 500 ms.
    if (curCam10 - 1 > 0)
        engine->glow->RenderBlur(engine->textureManager, 1 - (demoMS - timePoints[curCam10 - 1]) / 500);
    // Over the last stretch the picture blurs away.
    if (curCam10 == 7)
        engine->glow->RenderBlur(engine->textureManager, 1 - (kEndMs - demoMS) / (kEndMs - timePoints[6]));

    // Sixteen poses over the scene, each 1856.25 ms, and a gentle bob.
    const int pose = headPoseAt(demoMS, kStartMs, kEndMs - kStartMs);
    const float bob = headBob(demoMS);
    headPose[0] = heads[pose][0];
    headPose[1] = heads[pose][1] - bob;
    headPose[2] = heads[pose][2];
    renderTalkingHead(headPose[0], headPose[1], headPose[2]);

    // The upper-left 512 x 512 darkened by half through trash's mask, its first row at the bottom.
    drawOverlay(kSlotTrash, 0, 0, 0, 0.5f, 0, 0, 512, 512, true);
    if (demoMS < kStartMs + 500)
        renderTransition1(1 - (demoMS - kStartMs) / 500);
}

void scene10update() {
    scene10advance();
    scene10draw();
}

int scene10Camera() {
    return curCam10;
}
const Vector3D* scene10BlockPositions() {
    return kubepos;
}
const Vector3D* scene10BlockSpins() {
    return kuberot;
}
const Vector3D* scene10BlockMotions() {
    return kubedir;
}
const Mesh* scene10Blocks() {
    return kubes;
}
Vector3D scene10Eye() {
    return eyeNow;
}
Vector3D scene10LookAt() {
    return lookAtNow;
}
const float* scene10HeadPose() {
    return headPose;
}
