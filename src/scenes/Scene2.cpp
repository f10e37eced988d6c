// Scene 2, the opening (0 to 14800 ms): a 40 x 24 wall of LED tiles on white,
// lit by a ring pattern racing outwards, four ribbons shooting through it,
// 200 bubbles rising in front and behind, and a camera that cuts to one of
// three paths at every sync point. Ends in the curtain transition.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/FrameStep.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kEnd = sceneEndMs(2); // its stretch ends here, ms

constexpr int kBubbles = 200;
constexpr int kTiles = 40 * 24;

Curve camera1[3];           // the three camera paths
Vector3D* bubble = nullptr; // x, z: position; y: remaining life (counts down)
int* tunnelMap = nullptr;   // per wall tile: angle code * 64 + depth code
int* texture = nullptr;     // 64 x 64 ring pattern of LED levels 0..3
int* tableMap = nullptr;    // per wall tile: LED level of this frame

// The tiles do not overlap, so they are drawn level by level: four binds and
// four glBegin/glEnd pairs instead of 960 of each, with the same pixels.
void drawWall() {
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glColor3f(1, 1, 1);
    for (int level = 0; level < 4; ++level) {
        engine->textureManager->bind(engine->textures[kSlotLed1 + level]);
        glBegin(GL_QUADS);
        int k = 0;
        for (int y = -12; y < 12; ++y)
            for (int x = -20; x < 20; ++x)
                if (tableMap[k++] == level) spriteQuad(static_cast<float>(x), static_cast<float>(y), 0, 0.5f);
        glEnd();
    }
}

// A black bevelled frame one unit wide, sloping one unit towards the viewer.
void drawFrame() {
    glDisable(GL_TEXTURE_2D);
    glColor3f(0, 0, 0);
    const Vector3D in[4] = {{-20.5f, 11.5f, 0}, {19.5f, 11.5f, 0}, {19.5f, -12.5f, 0}, {-20.5f, -12.5f, 0}};
    const Vector3D a(-21.5f, 12.5f, 1), b(20.5f, 12.5f, 1), d(20.5f, -13.5f, 1), c(-21.5f, -13.5f, 1);
    const Vector3D quads[4][4] = {{in[0], a, b, in[1]}, {in[1], b, d, in[2]}, {in[2], d, c, in[3]}, {in[3], c, a, in[0]}};
    for (const auto& q : quads) {
        glBegin(GL_QUADS);
        for (const Vector3D& v : q) glVertex3f(v.x, v.y, v.z);
        glEnd();
    }
}

void drawRibbons() {
    const float a = 20 * sinf(demoMS / 500), b = 20 * sinf(demoMS / 300);
    struct Ribbon {
        Curve path;
        int phase; // ms
        float r, g, bl;
    };
    Ribbon ribbons[4] = {
        {Curve({0, 10, -100}, {a, 0, 0}, {b, 50, 20}, {0, 10, 80}), 0, 0, 0, 0},
        {Curve({0, -10, -100}, {-a, 0, 0}, {-b, -50, 20}, {0, -10, 90}), 400, 0.5f, 0, 0},
        {Curve({0, 10, -100}, {-a, 0, 0}, {-b, 50, 20}, {0, 10, 80}), 2500, 0, 0, 0},
        {Curve({0, -10, -100}, {a, 0, 0}, {b, -50, 20}, {0, -10, 90}), 2900, 0.5f, 0, 0},
    };
    for (Ribbon& r : ribbons) {
        // The head runs from t = -2 to just below 3 every 3333 ms.
        const int m = ((static_cast<int>(demoMS * 3 / 2) + r.phase) % 5000) - 2000;
        renderArrow(&r.path, m / 1000.0f, 1.5f, 5, r.r, r.g, r.bl);
    }
}

void scene2() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // The camera cuts to the next path at each sync point and travels half a
    // path per second; on a beat the gaze jumps up and the horizon tilts.
    const float u = getTimeSinceSync() / 2000;
    const Vector3D eye = camera1[getSync() % 3].vReturnPoint(u);
    const float f = getSyncFloat();
    gluLookAt(eye.x, eye.y, eye.z, 0, 5 * f, 0, 0.3f * f, 1 - 0.3f * f, 0);

    // Bubbles behind the wall, then mirrored in front of it.
    renderBubbles(bubble, kBubbles, -40, 1);
    drawWall();
    drawFrame();
    drawRibbons(); // depth test on, texturing off, as the frame left them
    renderBubbles(bubble, kBubbles, -40, -1);
}


} // namespace

void scene2init() {
    camera1[0] = Curve({40, 60, 80}, {-10, 50, 70}, {-50, 50, 70}, {-80, 40, 40});
    camera1[1] = Curve({-60, 20, 80}, {-30, 10, 50}, {30, -10, 30}, {90, -20, 30});
    camera1[2] = Curve({0, -40, 140}, {-30, -50, 100}, {30, -50, 70}, {90, -30, 50});

    // Every life starts at 0, so the first update respawns every bubble.
    bubble = new Vector3D[kBubbles];
    scene2reset();

    tableMap = new int[kTiles];
    tunnelMap = new int[kTiles];
    texture = new int[64 * 64];
    int k = 0;
    for (int y = -12; y < 12; ++y)
        for (int x = -20; x < 20; ++x) {
            const float depth = 1000 / (sqrtf(static_cast<float>(x * x + y * y)) + 1);
            const float angle = static_cast<float>(atan2(y, x) * 64 / 3.14159);
            tunnelMap[k++] = ((static_cast<int>(angle) & 63) * 64) + (static_cast<int>(depth) & 63);
        }
    // The level depends only on the column: bright at the edges, dark in the middle.
    k = 0;
    for (int y = -32; y < 32; ++y)
        for (int x = -32; x < 32; ++x) texture[k++] = std::min(std::abs(x) / 8, 3);
}

void scene2reset() {
    for (int i = 0; i < kBubbles; ++i) bubble[i] = Vector3D(0, 0, 0);
}

void scene2advance() { moveBubbles(bubble, kBubbles, skip); }

void scene2draw() {
    // The ring pattern moves one column every 20 ms.
    const int s = static_cast<int>(demoMS / 20);
    for (int k = 0; k < kTiles; ++k) tableMap[k] = texture[(tunnelMap[k] + s) & 4095];
    renderGlowSourceAndPicture([](bool) { scene2(); }, 0.002f);
    engine->glow->Render(engine->textureManager, 0.8f);

    // The upper-left 512 x 512 darkened by half through trash's mask, its first row at the bottom.
    drawOverlay(kSlotTrash, 0, 0, 0, 0.5f, 0, 0, 512, 512, true);
    stampYeah(3300);
    stampDisco(7000);
    if (demoMS < 1000) engine->glow->RenderQuad(0, 0, 0, 1 - demoMS / 1000);
    if (demoMS > 10650 && demoMS < 11050) {
        engine->textureManager->bind(engine->textures[kSlotYeah]);
        const float u = demoMS - 10650;
        renderTexture(0, 0, u / 800, 40 - u * 40 / 400, 1, 1, 1, 1 - u / 400);
    }
    if (demoMS + 1000 > kEnd) renderTransition1(1 - (kEnd - demoMS) / 1000);
}

void scene2update() {
    scene2advance();
    scene2draw();
}

int scene2LedLevel(int tile) { return tableMap[tile]; }

float scene2BubbleLife(int i) { return bubble[i].y; }
