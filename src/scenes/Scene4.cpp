// Scene 4 (29600 to 44700 ms): a flight down a tunnel of 1001 spinning,
// red-tinted cloud squares on white, one unit apart, the nearer 35 drawn and
// the far ones fogged into the white. The gaze sways, rises with the lowest
// spectrum band and jumps on every sync point; every sync point flashes
// white. The flowers2 silhouette lies in the upper-left corner. Opens out of
// Scene 1's blurred white and closes into white.
#include "scenes/Scenes.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kSquares = 1001; // indices 0..1000, one unit apart along the view axis
constexpr int kAhead = 35;     // squares less than this far ahead are drawn

// The part of a square where the cloud's mask is not zero: between the
// radii rIn and rOut (object units) from its centre. Fragments elsewhere
// would blend with alpha 0 and change nothing, so a square is drawn as a
// ring between two polygons instead of the whole quad: about 40 % fewer
// fragments. Measured on the texture itself at start-up.
struct Footprint {
    bool ring = false; // false: the plain quad
    float rIn = 0, rOut = 0;
} footprint;
constexpr int kRingSides = 16;

// A texel's bilinear footprint reaches one texel each way (Chebyshev), so a
// point more than a texel diagonal from every non-zero texel centre samples
// alpha 0. With GL_REPEAT a non-zero border texel bleeds over the opposite
// edge; such a mask reaches the corners and keeps the plain quad.
void measureFootprint() {
    engine->textureManager->bind(engine->textures[kSlotCloud2]);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    if (w < 2 || h < 2) return;
    std::vector<unsigned char> alpha(static_cast<size_t>(w) * h);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    const double texelX = 8.0 / w, texelY = 8.0 / h, margin = std::hypot(texelX, texelY);
    double nearestR = 1e9, farthestR = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            if (alpha[static_cast<size_t>(j) * w + i] == 0) continue;
            const double r = std::hypot((i + 0.5) * texelX - 4, 4 - (j + 0.5) * texelY);
            nearestR = std::min(nearestR, r);
            farthestR = std::max(farthestR, r);
        }
    const double rOut = farthestR + margin;
    // The outer polygon circumscribes the circle rOut and must stay in the square.
    if (rOut / std::cos(M_PI / kRingSides) >= 4) return;
    footprint.ring = true;
    footprint.rOut = static_cast<float>(rOut / std::cos(M_PI / kRingSides));
    footprint.rIn = static_cast<float>(std::max(0.0, nearestR - margin)); // the inner polygon is inscribed
}

// One square of half-size 4, texture (0, 0) at its upper-left corner.
void squareVertex(float x, float y) {
    glTexCoord2f((x + 4) / 8, (4 - y) / 8);
    glVertex3f(x, y, 0);
}

void drawSquare() {
    if (!footprint.ring) {
        glBegin(GL_QUADS);
        squareVertex(-4, 4);
        squareVertex(4, 4);
        squareVertex(4, -4);
        squareVertex(-4, -4);
        glEnd();
        return;
    }
    static float ringCos[kRingSides + 1], ringSin[kRingSides + 1];
    if (ringCos[0] == 0)
        for (int k = 0; k <= kRingSides; ++k) {
            const double a = 2 * M_PI * (k % kRingSides) / kRingSides;
            ringCos[k] = static_cast<float>(std::cos(a)), ringSin[k] = static_cast<float>(std::sin(a));
        }
    glBegin(GL_TRIANGLE_STRIP);
    for (int k = 0; k <= kRingSides; ++k) {
        squareVertex(footprint.rOut * ringCos[k], footprint.rOut * ringSin[k]);
        squareVertex(footprint.rIn * ringCos[k], footprint.rIn * ringSin[k]);
    }
    glEnd();
}

// What the last call of scene4 did, for the read-only views.
float zPosSeen = 0;
float gazeSeen[2] = {0, 0};
int nearestSeen = -1, farthestSeen = -1, drawnSeen = 0;

void scene4(bool shown) {
    // Distance travelled down the tunnel; advanced on both renders of a frame
    // and never reset.
    static float zPos = 0;

    if (shown) {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
    }
    zPos += skip * 0.4f;
    if (!shown) return;

    // The gaze sways, rises with the lowest band and jumps to one of four
    // offsets on each sync point.
    float x = sinf(demoMS / 1500) * 0.1f;
    float y = cosf(demoMS / 1100) * 0.1f + frequencies[0] * 0.02f;
    switch (getSync() % 4) {
    case 0: x += 0.1f; break;
    case 1: x -= 0.1f, y += 0.2f; break;
    case 2: x += 0.3f, y += 0.05f; break;
    default: break;
    }
    gluLookAt(0, 0, 0, x, y, -1, 0, 1, 0);

    const GLfloat white[4] = {1, 1, 1, 1};
    glFogfv(GL_FOG_COLOR, white);
    glFogf(GL_FOG_DENSITY, 0.005f);
    glFogf(GL_FOG_START, 20);
    glFogf(GL_FOG_END, 30);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glEnable(GL_FOG);

    engine->textureManager->bind(engine->textures[kSlotCloud2]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);

    // Alpha-0 fragments left inside the ring change nothing either: the
    // alpha test drops them before blending.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
    // A point of square i lies at most d + reach along the view axis
    // (d = i - zPos): the gaze tilts the axis by (x, y) per unit ahead, and a
    // corner is 4 sqrt(2) from the square's centre.
    const float reach = 4 * sqrtf(2.0f) * sqrtf(x * x + y * y) + 0.01f;

    // Far squares first: with the depth test off the nearer paint over them.
    // Square i is turned by 8 i + n^2 + 2n + 45 m degrees (n = 1000 - i, m the
    // multiples of 50 passed), accumulated in float in this order, plus the
    // common spin of a degree every 100 ms.
    int nearest = -1, farthest = -1, drawn = 0;
    float step = 1, angle = 0;
    for (int i = kSquares - 1; i >= 0; --i) {
        if (i - kAhead < zPos && zPos < i) {
            // A square wholly nearer than the fog start gets fog factor 1,
            // its own colour exactly: the fog is switched off for it.
            if (i - zPos + reach <= 20)
                glDisable(GL_FOG);
            else
                glEnable(GL_FOG);
            glPushMatrix();
            glTranslatef(0, 0, zPos - i);
            glRotatef(8 * i + angle + demoMS / 100, 0, 0, 1);
            glColor4f(1, 0.1f, 0.1f, 1);
            drawSquare();
            glPopMatrix();
            if (farthest < 0) farthest = i;
            nearest = i;
            ++drawn;
        }
        step += 2;
        angle += step;
        if (i % 50 == 0) angle += 45;
    }

    glDisable(GL_ALPHA_TEST);
    glEnable(GL_FOG);
    zPosSeen = zPos;
    gazeSeen[0] = x, gazeSeen[1] = y;
    nearestSeen = nearest, farthestSeen = farthest, drawnSeen = drawn;
}

} // namespace

void scene4init() { measureFootprint(); }

void scene4update() {
    // The blurred glow source is shown only by the opening transition (the
    // glow below is laid at alpha 0); later the small render need only move
    // the camera, and the full render overwrites its corner.
    const bool opening = demoMS < 30100;
    engine->perspective(128, 128);
    scene4(opening);
    if (opening) engine->glow->MakeBlur(engine->textureManager, false, 0.002f, 0.5f, 5);
    engine->perspective(1024, 768);
    scene4(true);
    // At alpha 0 the glow adds nothing; it leaves the 2D screen set-up.
    engine->glow->Render(engine->textureManager, 0.0f);

    // The flowers2 mask in black over the upper-left 512 x 512.
    drawOverlay(kSlotFlowers2, 0, 0, 0, 1, 0, 0, 512, 512);
    // White on each sync point, gone after 500 ms.
    engine->glow->RenderQuad(1, 1, 1, getSyncFloat());
    if (demoMS < 30100) renderTransition2(1 - (demoMS - 29600) / 500);
    if (demoMS + 500 > 44700) renderTransition3(1 - (44700 - demoMS) / 500);
}

float scene4ZPos() { return zPosSeen; }

void scene4Gaze(float* x, float* y) { *x = gazeSeen[0], *y = gazeSeen[1]; }

int scene4SquaresDrawn(int* nearest, int* farthest) {
    *nearest = nearestSeen, *farthest = farthestSeen;
    return drawnSeen;
}
