// Scene 4 (29600 to 44700 ms): a flight down a tunnel of 1001 spinning,
// red-tinted cloud squares on white, one unit apart, the nearer 35 drawn and
// the far ones fogged into the white. The gaze sways, rises with the lowest
// spectrum band and jumps on every sync point; every sync point flashes
// white. The flowers2 silhouette lies in the upper-left corner. Opens out of
// Scene 1's blurred white and closes into white.
//
// The tunnel is up to 35 blended layers, most of them larger than the
// screen, so the drawing leaves out every fragment that provably changes no
// pixel (the picture is that of drawing each whole square in turn):
// - where the cloud's mask is 0 (the corners and the centre of a square) a
//   fragment blends with alpha 0: a square is drawn as a ring around the
//   texels whose alpha is not 0, and the alpha test drops the rest;
// - where a nearer square's mask is 1 its fragment replaces what lies
//   behind it: those parts of all squares go into the depth buffer first,
//   and the depth test rejects the farther fragments beneath them;
// - a square wholly nearer than the fog start is drawn without fog, whose
//   factor would be exactly 1 there; one wholly beyond the fog's end, white
//   over the white it is cleared to, is not drawn.
// The shapes are measured on the texture itself at start-up. Beyond that,
// the unfogged squares go several to a pass (LayerStack.h): the picture
// but for the rounding of the blends saved, about 51 dB against drawing them
// one at a time.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/FrameStep.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "image/AlphaSupport.h"
#include "image/Texture.h"
#include "scenes/LayerStack.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

bool scene4LeavesOutHiddenFragments = true;
bool scene4StacksSquares = true;

namespace {

constexpr float kStart = sceneStartMs(4), kEnd = sceneEndMs(4); // its stretch, ms

constexpr int kSquares = 1001; // indices 0..1000, one unit apart along the view axis
constexpr int kAhead = 35;     // squares less than this far ahead are drawn
constexpr float kHalf = 4;     // half-size of a square
// Sides of the ring's polygons. Few: the squares near the eye spread the
// ring's triangles over the whole screen, and every edge across it costs the
// rasteriser the tiles it cuts (8 sides measured about a layer cheaper than
// 16, though they leave more of the corners in).
constexpr int kRingSides = 8;
constexpr int kCell = 2; // texels per side of the cells the opaque parts are made of (finer
                         // cells hide more; 2 measured about half a layer faster than 4)

// The parts of a square that matter, in object units.
SpriteRing ring;                // sides 0: the mask reaches the edge, draw the whole quad
std::vector<float> opaqueParts; // rectangles x0, y0, x1, y1 where the sampled alpha is exactly 1

// What the last call of scene4 did, for the read-only views.
float zPosSeen = 0;
float gazeSeen[2] = {0, 0};
int nearestSeen = -1, farthestSeen = -1, drawnSeen = 0;

// Texel (i, j) of a w x h texture, row 0 at texture coordinate t = 0: the
// square's top edge.
struct Alpha {
    std::vector<unsigned char> texels;
    int w = 0, h = 0;
    unsigned char at(int i, int j) const { return texels[static_cast<size_t>(j) * w + i]; }
    float x(double i) const { return static_cast<float>(i * 2 * kHalf / w - kHalf); }
    float y(double j) const { return static_cast<float>(kHalf - j * 2 * kHalf / h); }
};

// Cells whose texels, and two more all round, are all 255: every sample in
// them is exactly 1, whatever the rounding of the texture coordinates. Runs
// of a row, grown downwards while the rows below repeat them exactly.
void measureOpaque(const Alpha& a) {
    const int cw = a.w / kCell, ch = a.h / kCell;
    std::vector<char> cell(static_cast<size_t>(cw) * ch, 0);
    auto opaque = [&](int cx, int cy) -> char& { return cell[static_cast<size_t>(cy) * cw + cx]; };
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            bool all = true;
            for (int j = cy * kCell - 2; all && j < (cy + 1) * kCell + 2; ++j)
                for (int i = cx * kCell - 2; all && i < (cx + 1) * kCell + 2; ++i)
                    all = i >= 0 && j >= 0 && i < a.w && j < a.h && a.at(i, j) == 255;
            opaque(cx, cy) = all;
        }
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw;) {
            if (!opaque(cx, cy)) {
                ++cx;
                continue;
            }
            int end = cx;
            while (end < cw && opaque(end, cy)) ++end;
            int below = cy + 1;
            for (; below < ch; ++below) {
                bool same = (cx == 0 || !opaque(cx - 1, below)) && (end == cw || !opaque(end, below));
                for (int i = cx; same && i < end; ++i) same = opaque(i, below);
                if (!same) break;
                for (int i = cx; i < end; ++i) opaque(i, below) = 0;
            }
            opaqueParts.insert(opaqueParts.end(),
                                {a.x(cx * kCell), a.y(cy * kCell), a.x(end * kCell), a.y(below * kCell)});
            cx = end;
        }
}

// The squares' image with the tint the texture is modulated by (the current
// colour, kTint) baked into its texels, for the stacks: a pass composes its
// squares on the texture units, which have no room left for the tint. Each
// texel rounds to the nearest level once, where the plain image's samples
// are tinted on the fly.
constexpr float kTint[3] = {1, 0.1f, 0.1f};
unsigned tinted = 0;         // texture object
unsigned tintedFrom = 0;     // the image's texture object it was made from

void makeTinted(std::vector<unsigned char> rgba, int w, int h) {
    for (size_t k = 0; k < rgba.size(); k += 4)
        for (int c = 0; c < 3; ++c) rgba[k + c] = static_cast<unsigned char>(std::lround(rgba[k + c] * kTint[c]));
    if (!tinted) glGenTextures(1, &tinted);
    glBindTexture(GL_TEXTURE_2D, tinted);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    tintedFrom = engine->textures[kSlotCloud2];
    engine->textureManager->bind(tintedFrom);
}

void measureMask() {
    engine->textureManager->bind(engine->textures[kSlotCloud2]);
    Alpha a;
    std::vector<unsigned char> rgba = boundTextureImage(&a.w, &a.h);
    if (a.w < 2 || a.h < 2) return; // no image: the whole quads
    a.texels.resize(static_cast<size_t>(a.w) * a.h);
    for (size_t k = 0; k < a.texels.size(); ++k) a.texels[k] = rgba[4 * k + 3];
    ring = measureSpriteRing(rgba.data(), a.w, a.h, kHalf, kRingSides);
    measureOpaque(a);
    if (ring.sides) makeTinted(std::move(rgba), a.w, a.h);
}

// The whole square, or as its ring where that leaves out hidden fragments.
void drawSquare() {
    if (scene4LeavesOutHiddenFragments)
        drawSpriteRing(ring, kHalf);
    else
        drawSpriteSquare(kHalf);
}

void drawOpaque() {
    const std::vector<float>& r = opaqueParts;
    glBegin(GL_QUADS);
    for (size_t k = 0; k < r.size(); k += 4) {
        glVertex3f(r[k], r[k + 1], 0);
        glVertex3f(r[k + 2], r[k + 1], 0);
        glVertex3f(r[k + 2], r[k + 3], 0);
        glVertex3f(r[k], r[k + 3], 0);
    }
    glEnd();
}

struct Placed {
    int i;       // square index
    float angle; // its turn about the view axis, degrees
};

// The depth of every square's opaque parts, nothing else. Pushed back a
// little so that a square's own fragments there still pass.
void drawOccluders(const Placed* squares, int count, float zPos) {
    if (opaqueParts.empty() || !scene4LeavesOutHiddenFragments) return;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_FOG);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1, 8);
    for (int n = 0; n < count; ++n) {
        glPushMatrix();
        glTranslatef(0, 0, zPos - squares[n].i);
        glRotatef(squares[n].angle, 0, 0, 1);
        drawOpaque();
        glPopMatrix();
    }
    glDisable(GL_POLYGON_OFFSET_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
}

// The unfogged squares in view, far to near, kMaxStackedLayers to a pass
// (frames a fifth faster than one at a time), in the tinted image, each
// pass ring by ring (drawStackedRing).
void drawStackedSquares(const Placed* squares, int count, float zPos) {
    beginStackedLayers(tinted);
    StackedLayer stack[kMaxStackedLayers];
    for (int first = 0, n = firstPassLayers(count); first < count; first += n, n = kMaxStackedLayers) {
        for (int k = 0; k < n; ++k) stack[k] = {squares[first + k].i - zPos, squares[first + k].angle};
        drawStackedRing(stack, n, kHalf, ring);
    }
    endStackedLayers();
}

// Distance travelled down the tunnel: a step of 0.4 skip for each of a
// frame's two renders, never reset (but by a restart of the whole timeline).
float& tunnelPosition() {
    static float zPos = 0;
    return zPos;
}

// Where this frame's renders stand in the tunnel, set by scene4advance: the
// glow source one step on from the last frame's picture, the picture one
// step further.
float glowSourceZ = 0, pictureZ = 0;

void scene4(bool shown, bool fullSize) {
    const float zPos = fullSize ? pictureZ : glowSourceZ;

    if (shown) {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
    }
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
    gazeSeen[0] = x, gazeSeen[1] = y;

    // White linear fog from 20 to 30 units.
    whiteFog(20, 30);

    engine->textureManager->bind(engine->textures[kSlotCloud2]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);

    // Far squares first, so that the nearer paint over them. Square i is
    // turned by 8 i + n^2 + 2n + 45 m degrees (n = 1000 - i, m the multiples
    // of 50 passed), accumulated in float in this order, plus the common spin
    // of a degree every 100 ms.
    Placed squares[kAhead + 1];
    int count = 0;
    float step = 1, angle = 0;
    for (int i = kSquares - 1; i >= 0; --i) {
        if (i - kAhead < zPos && zPos < i) squares[count++] = {i, 8 * i + angle + demoMS / 100};
        step += 2;
        angle += step;
        if (i % 50 == 0) angle += 45;
    }

    drawOccluders(squares, count, zPos);
    const bool shortcuts = scene4LeavesOutHiddenFragments;
    if (shortcuts) {
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0);
    }
    // A point of square i lies at most d + reach along the view axis
    // (d = i - zPos): the gaze tilts the axis by (x, y) per unit ahead, and a
    // corner is 4 sqrt(2) from the square's centre.
    const float reach = kHalf * sqrtf(2.0f) * sqrtf(x * x + y * y) + 0.01f;
    // Squares from `stackFrom` to `stackTo` are drawn in stacks: those wholly
    // nearer than the fog's start, but the ones the near plane cuts within
    // the view. The stacks need the texture modulated by the colour (the
    // environment every scene before the blob leaves).
    int stackFrom = count, stackTo = count;
    GLint textureMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &textureMode);
    if (shortcuts && scene4StacksSquares && fullSize && ring.sides && textureMode == GL_MODULATE &&
        tintedFrom == engine->textures[kSlotCloud2]) {
        Vector3D gaze(x, y, -1);
        gaze.Normalize();
        const float whole = firstWholeLayer(gaze);
        while (stackTo > 0 && squares[stackTo - 1].i - zPos < whole) --stackTo;
        stackFrom = stackTo;
        while (stackFrom > 0 && squares[stackFrom - 1].i - zPos + reach <= 20) --stackFrom;
        if (stackTo - stackFrom < 2) stackFrom = stackTo = count;
    }
    auto drawOne = [&](int n) {
        const int i = squares[n].i;
        if (shortcuts && i - zPos + reach <= 20)
            glDisable(GL_FOG);
        else
            glEnable(GL_FOG);
        glPushMatrix();
        glTranslatef(0, 0, zPos - i);
        glRotatef(squares[n].angle, 0, 0, 1);
        glColor4f(kTint[0], kTint[1], kTint[2], 1);
        drawSquare();
        glPopMatrix();
    };
    // The farthest squares, wholly beyond the fog's end, are white, over
    // nothing but the white they are cleared to: they change nothing. A
    // point of square i lies at least (d - reach) / |gaze| along the gaze.
    const float beyondFog = (30 + 0.01f) * sqrtf(1 + x * x + y * y);
    int n = 0;
    while (shortcuts && n < stackFrom && squares[n].i - zPos - reach > beyondFog) ++n;
    for (; n < stackFrom; ++n) drawOne(n);
    if (stackFrom < stackTo) {
        glDisable(GL_FOG);
        drawStackedSquares(squares + stackFrom, stackTo - stackFrom, zPos);
    }
    for (int n = stackTo; n < count; ++n) drawOne(n);
    // The state, and the empty depth buffer, that drawing each whole square leaves.
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    if (shortcuts && !opaqueParts.empty()) glClear(GL_DEPTH_BUFFER_BIT);

    drawnSeen = count;
    farthestSeen = count ? squares[0].i : -1;
    nearestSeen = count ? squares[count - 1].i : -1;
}

} // namespace

void scene4init() { measureMask(); }

void scene4draw() {
    // The common glow sequence (renderGlowSourceAndPicture) but for the
    // blur: the blurred glow source is shown only by the opening transition
    // (the glow below is laid at alpha 0); later the small render need only
    // move the camera, and the full render overwrites its corner.
    const bool opening = demoMS < 30100 || !scene4LeavesOutHiddenFragments;
    engine->perspectiveIntoGlowCorner();
    scene4(opening, false);
    if (opening) engine->glow->MakeBlur(engine->textureManager, false, 0.002f, 0.5f, 5);
    engine->perspectiveIntoPicture();
    scene4(true, true);
    // At alpha 0 the glow adds nothing; it leaves the 2D screen set-up.
    engine->glow->Render(engine->textureManager, 0.0f);

    // The flowers2 mask in black over the upper-left 512 x 512.
    drawOverlay(kSlotFlowers2, 0, 0, 0, 1, 0, 0, 512, 512);
    // White on each sync point, gone after 500 ms.
    engine->glow->RenderQuad(1, 1, 1, getSyncFloat());
    if (demoMS < kStart + 500) renderTransition2(1 - (demoMS - kStart) / 500);
    if (demoMS + 500 > kEnd) renderTransition3(1 - (kEnd - demoMS) / 500);
}

void scene4update() {
    scene4advance();
    scene4draw();
}

// A frame's two renders each stand a step further down the tunnel, the glow
// source's first: the picture is drawn one step further on than its glow
// source.
void scene4advance() {
    glowSourceZ = tunnelPosition() += skip * 0.4f;
    pictureZ = tunnelPosition() += skip * 0.4f;
    zPosSeen = pictureZ;
}

void scene4reset() { zPosSeen = glowSourceZ = pictureZ = tunnelPosition() = 0; }

float scene4ZPos() { return zPosSeen; }

void scene4Gaze(float* x, float* y) { *x = gazeSeen[0], *y = gazeSeen[1]; }

int scene4SquaresDrawn(int* nearest, int* farthest) {
    *nearest = nearestSeen, *farthest = farthestSeen;
    return drawnSeen;
}
