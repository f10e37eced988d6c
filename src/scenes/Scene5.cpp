// Scene 5 (119000 to 148800 ms), the longest: inside a closed, lumpy sphere,
// its wall the colainter image with the cola image added as a reflection and
// a faint wireframe pulsing with the bass. The camera swings along one of
// eight paths per 3725-ms segment, always looking at a screen at z = 40: a
// flickering noise panel with the segment's greeting over it. 200 bubbles
// rise, accelerating, through the room. Opens out of the curtain, ends in
// the layer2 zoom and white.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/FrameStep.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"
#include "scenes/ViewVolume.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

bool scene5PanelDepthFirst = true;

namespace {

constexpr float kStart = sceneStartMs(5), kEnd = sceneEndMs(5); // its stretch, ms

int panelDepthFirstFrames = 0;
constexpr int kBubbles = 200;
constexpr int kSegments = sceneNumbered(5).segments; // each with its camera path and greeting

Mesh* colaRoom = nullptr;     // the room, seen from inside
Vector3D* bubble2 = nullptr;  // x, z: position (z negated when drawn); y: remaining rise
Curve camera5[kSegments];     // one camera path per segment

// The room's faces and first edges that can reach the viewport from this
// camera, refilled by every render. From inside the room most of its wall
// lies outside the view; those faces and lines would be clipped away whole,
// so while invisible work is skipped they are not sent at all (the same pixels).
struct VisibleRoom {
    ViewVolume volume;             // of the camera they were found for
    std::vector<unsigned> outside; // per vertex: the view planes it lies outside of
    std::vector<float> screen;     // per vertex: x / w, y / w (when w > 0) and w in clip coordinates
    std::vector<unsigned> faces, edges;
} visible;

void findVisibleRoom() {
    visible.volume = ViewVolume();
    const Mesh& room = *colaRoom;
    visible.outside.resize(room.verticeAmount);
    visible.screen.resize(3 * static_cast<size_t>(room.verticeAmount));
    for (unsigned v = 0; v < room.verticeAmount; ++v) {
        float c[4];
        visible.volume.clip(room.vertices[v], c);
        visible.outside[v] = visible.volume.outside(c);
        float* s = &visible.screen[3 * static_cast<size_t>(v)];
        s[2] = c[3];
        if (c[3] > 0) s[0] = c[0] / c[3], s[1] = c[1] / c[3];
    }
    visible.faces.clear();
    visible.edges.clear();
    for (unsigned f = 0; f < room.faceAmount; ++f) {
        const unsigned a = visible.outside[room.faces[3 * f]], b = visible.outside[room.faces[3 * f + 1]];
        const unsigned c = visible.outside[room.faces[3 * f + 2]];
        if (!ViewVolume::culled(a, b, c)) visible.faces.push_back(f);
        if (!ViewVolume::culled(a, b)) visible.edges.push_back(f);
    }
}

// The noise panel's texture offset: a fresh rand() for each of the frame's
// two renders, drawn by scene5advance after the bubbles' respawns, in the
// order the renders use them (the glow source first).
float noiseOffsets[2];

// Latitude and longitude lines over the wall, as opaque as the lowest band is loud.
void drawWireframe() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, frequencies[0]);
    // At opacity 0 (or less, clamped) the lines change no pixel, and with the
    // depth test off they write no depth either.
    if (!skipInvisibleWork)
        colaRoom->wfrender();
    else if (frequencies[0] > 0)
        colaRoom->wfrender(visible.edges.data(), static_cast<unsigned>(visible.edges.size()));
}

// The screen at z = 40: a 30 x 20 noise panel at a random offset, opaque
// and depth-tested.
constexpr float kPanelZ = 40, kPanelHalfW = 15, kPanelHalfH = 10;

// The panel's quad, with the noise at offset r when `textured`.
void panelQuad(bool textured, float r) {
    const float corners[4][2] = {{-kPanelHalfW, kPanelHalfH}, {kPanelHalfW, kPanelHalfH},
                                 {kPanelHalfW, -kPanelHalfH}, {-kPanelHalfW, -kPanelHalfH}};
    const float offsets[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glPushMatrix();
    glTranslatef(0, 0, kPanelZ);
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
        if (textured) glTexCoord2f(r + offsets[k][0], r + offsets[k][1]);
        glVertex3f(corners[k][0], corners[k][1], 0);
    }
    glEnd();
    glPopMatrix();
}

// The panel's depth alone (the same corners, so the same depths as its picture).
void drawPanelDepth() {
    const bool texturing = glIsEnabled(GL_TEXTURE_2D), fog = glIsEnabled(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    panelQuad(false, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (texturing) glEnable(GL_TEXTURE_2D);
    if (fog) glEnable(GL_FOG);
}

void drawNoisePanel(float r) {
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    engine->textureManager->bind(engine->textures[kSlotNoise]);
    panelQuad(true, r);
}

// The segment's greeting, 30 x 30, over the screen and whatever lies in
// front of it, as opaque as band 1 is quiet.
void drawGreeting(int segment) {
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1 - frequencies[1]);
    engine->textureManager->bind(engine->textures[kSlotGreet1 + segment]);
    glPushMatrix();
    glTranslatef(0, 0, kPanelZ);
    // Mirrored in u: the camera looks along +z, so +x is on the viewer's left
    // and the image reads the right way round.
    if (skipInvisibleWork) { // only the image's pieces of non-zero alpha change pixels
        const double origin[3] = {15, 15, 0}, du[3] = {-30, 0, 0}, dv[3] = {0, -30, 0};
        drawImagePieces(imagePieces(kSlotGreet1 + segment), origin, du, dv);
    } else {
        glBegin(GL_QUADS);
        glTexCoord2f(1, 0);
        glVertex3f(-15, 15, 0);
        glTexCoord2f(0, 0);
        glVertex3f(15, 15, 0);
        glTexCoord2f(0, 1);
        glVertex3f(15, -15, 0);
        glTexCoord2f(1, 1);
        glVertex3f(-15, -15, 0);
        glEnd();
    }
    glPopMatrix();
}

// Whether some visible face of the wall may come in front of the panel on
// the panel's part of the screen: a face nearer to the eye than the panel's
// farthest corner whose screen extent meets the panel's (after findVisibleRoom).
bool wallMayHidePanel() {
    const ViewVolume& volume = visible.volume;
    float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f}, panelFar = 0;
    for (float x : {-kPanelHalfW, kPanelHalfW})
        for (float y : {-kPanelHalfH, kPanelHalfH}) {
            float c[4];
            volume.clip(Vector3D(x, y, kPanelZ), c);
            if (c[3] <= 0) return true;
            for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], c[k] / c[3]), hi[k] = std::max(hi[k], c[k] / c[3]);
            panelFar = std::max(panelFar, c[3]);
        }
    // Depths within a thousandth (and a hundredth of a unit) count as in
    // front: the depth buffer keeps them only so finely.
    const float nearEnough = panelFar * 1.001f + 0.01f;
    const Mesh& room = *colaRoom;
    for (unsigned f : visible.faces) {
        float near = 1e30f, flo[2] = {1e30f, 1e30f}, fhi[2] = {-1e30f, -1e30f};
        bool behindEye = false;
        for (unsigned k = 3 * f; k < 3 * f + 3; ++k) {
            const float* c = &visible.screen[3 * static_cast<size_t>(room.faces[k])];
            near = std::min(near, c[2]);
            if (c[2] <= 0) {
                behindEye = true;
                continue;
            }
            for (int a = 0; a < 2; ++a) flo[a] = std::min(flo[a], c[a]), fhi[a] = std::max(fhi[a], c[a]);
        }
        if (near >= nearEnough) continue;
        // A face reaching behind the eye spreads over the whole screen.
        if (behindEye || (flo[0] <= hi[0] && fhi[0] >= lo[0] && flo[1] <= hi[1] && fhi[1] >= lo[1])) return true;
    }
    return false;
}

// `render`: 0 for the glow source, 1 for the full-size picture.
void scene5(int render) {
    const int k = scene5Segment(demoMS);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // The eye swings along the whole path and back every 2 pi seconds.
    const Vector3D eye = camera5[k].vReturnPoint(0.5f * sinf(demoMS / 1000) + 0.5f);
    gluLookAt(eye.x, eye.y, eye.z, 0, 0, 40, 0, 1, 0);

    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    // Black linear fog from 100 to 200 units.
    linearFog(0, 100, 200, 0.015f);

    findVisibleRoom();
    // The panel hides the wall behind it. Where no part of the wall comes in
    // front of it, the panel's depth goes in first, so that the depth test
    // turns the wall behind it away early; the panel itself is drawn where it
    // was, after the wireframe, on its own depth. Every pixel is as when the
    // wall came first.
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    const bool panelDepthFirst = scene5PanelDepthFirst && skipInvisibleWork && depthWrites && !wallMayHidePanel();
    if (panelDepthFirst) drawPanelDepth();
    panelDepthFirstFrames += panelDepthFirst;
    // The wall: colainter as it is, the cola image added as a reflection.
    glColor3f(1, 1, 1);
    if (skipInvisibleWork)
        renderReflective(colaRoom, kSlotColaInter, kSlotCola, visible.faces.data(),
                         static_cast<unsigned>(visible.faces.size()));
    else
        renderReflective(colaRoom, kSlotColaInter, kSlotCola);
    drawWireframe();
    if (panelDepthFirst) glDepthFunc(GL_LEQUAL);
    drawNoisePanel(noiseOffsets[render]);
    if (panelDepthFirst) glDepthFunc(GL_LESS);
    drawGreeting(k);
    // Unsorted, over everything; z negated.
    renderBubbles(bubble2, kBubbles, -60, -1);
}

} // namespace

int scene5PanelDepthFirstFrames() { return panelDepthFirstFrames; }

bool scene5WallMayHidePanel(const Vector3D& eye) {
    engine->perspectiveIntoPicture();
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, 0, 0, kPanelZ, 0, 1, 0);
    findVisibleRoom();
    return wallMayHidePanel();
}

int scene5Segment(float ms) {
    return static_cast<int>((ms - kStart) * 8 / (kEnd - kStart));
}

void scene5init() {
    for (int k = 0; k < kSegments; ++k) {
        const float a = 40 * sinf(0.6f * k + 0.2f) * sinf(0.4f * k + 0.2f);
        const float b = 40 * sinf(0.2f * k + 0.1f) * cosf(0.5f * k);
        const float c = -40 * cosf(0.9f * k) * sinf(1.2f * k + 0.2f);
        const float d = -40 * sinf(0.1f * k + 0.2f) * sinf(1.1f * k + 0.2f);
        const float e = -40 * sinf(0.1f * k + 0.2f) * sinf(1.4f * k + 0.2f);
        const float f = -40 * cosf(0.9f * k) * sinf(1.4f * k + 0.2f);
        const float h = 30 * sinf(1.2f * k + 0.2f) - 15;
        const float g = 30 * cosf(0.8f * k + 0.2f) - 15;
        camera5[k] = Curve({a, b, h}, {b, d, h}, {c, a, h}, {e, f, g});
    }

    // Every life starts at 0, so the first update respawns every bubble.
    bubble2 = new Vector3D[kBubbles];
    scene5reset();

    // A unit sphere pushed in and out by three waves: radius 30 to 210, about 120.
    colaRoom = new Mesh();
    colaRoom->makeSphere(1.0f, 64);
    for (unsigned i = 0; i < colaRoom->verticeAmount; ++i) {
        Vector3D& v = colaRoom->vertices[i];
        const float s = sinf(12 * v.x + 20) + cosf(12 * v.y + 25) + cosf(18 * v.z + 40);
        v = v * ((0.3f * s + 1.2f) * 100);
    }
    colaRoom->createNormals();
    colaRoom->flipNormals();
}

void scene5reset() {
    for (int i = 0; i < kBubbles; ++i) bubble2[i] = Vector3D(0, 0, 0);
}

void scene5advance() {
    // 2 ticks per 50 ms: 40 units of life a second.
    moveBubbles(bubble2, kBubbles, 2 * skip);
    for (float& r : noiseOffsets) r = static_cast<float>(std::rand() % 100) / 100;
}

// Near 7 layers' time: the glow source's blur leaves out each pass's two
// lightest copies (see Glow::MakeBlur), about 0.75 ms a frame, for frames
// 57 to 60 dB from the full blur's.
int scene5BlurLeftOut = 2;

void scene5draw() {
    renderGlowSourceAndPicture([](bool intoPicture) { scene5(intoPicture ? 1 : 0); }, 0.001f,
                               scene5BlurLeftOut);
    engine->glow->Render(engine->textureManager, 0.8f);
    engine->glow->RenderBlur(engine->textureManager, frequencies[0]);

    if (demoMS < kStart + 1000) renderTransition1(1 - (demoMS - kStart) / 1000);
    if (demoMS + 1000 > kEnd) renderTransition5(1 - (kEnd - demoMS) / 1000);
}

void scene5update() {
    scene5advance();
    scene5draw();
}

const Mesh* scene5Room() { return colaRoom; }

float scene5BubbleLife(int i) { return bubble2[i].y; }
