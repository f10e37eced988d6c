// Scene 6 (44700 to 59600 ms): three eight-sided wheel rings spinning about
// three axes around a pale blue ball, inside four walls of brown tiles that
// ripple towards the centre; the ripple leaps and the rings swell on every
// sync point. The camera rides four paths, each cut veiled in black for a
// moment. Light rays from the ball, a glow and the flowers2 silhouette lie
// over it. Opens out of white, hands over through the curtain.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

bool scene6BatchesTiles = true;

namespace {

constexpr float kStart = sceneStartMs(6), kEnd = sceneEndMs(6); // its stretch, ms

Mesh* nice = nullptr;  // inner ring
Mesh* nice2 = nullptr; // middle ring
Mesh* nice3 = nullptr; // outer ring
Mesh* ball = nullptr;  // the ball at the centre
Curve camera6[4];      // the four camera paths
int curCam1 = 0;       // camera path in use
float timeLine1 = 0;   // parameter along it: 0 at the start of the stretch, 1 at its end

// Four walls of 31 rows x 11 tiles around the centre, 192 units out. The
// tiles stand out towards the centre on a travelling sine wave whose height
// doubles at a sync point and eases back over 500 ms. A tile is only moved,
// never turned, so its corners are offset here and each wall is one
// glBegin/glEnd pair instead of 341 pushes, translations and pairs. The
// corners then take one rounding less, so a tile edge may cover a pixel more
// or less and the glow shifts by a level here and there (56 dB or more
// against tiles drawn one by one).
void drawWalls() {
    const float s = 16;       // tile spacing is 2 s
    const float h = s * 0.9f; // tile half-size
    const float height = getSyncFloat() * 20 + 20;
    auto tile = [h](float x, float y, float z) {
        glVertex3f(x - h, y + h, z);
        glVertex3f(x + h, y + h, z);
        glVertex3f(x + h, y - h, z);
        glVertex3f(x - h, y - h, z);
    };
    bool dark = false; // runs on across rows and walls
    for (int w = 0; w < 4; ++w) {
        glPushMatrix();
        glRotatef(90.0f * w, 0, 1, 0);
        glTranslatef(0, 0, -6 * s * 2);
        if (scene6BatchesTiles) glBegin(GL_QUADS);
        for (int j = -10; j <= 20; ++j)
            for (int k = -5; k <= 5; ++k) {
                dark = !dark;
                if (dark)
                    glColor3f(0.2f, 0.15f, 0.1f);
                else
                    glColor3f(0.5f, 0.4f, 0.1f);
                const float wave = sinf(k * 0.5f + j * 0.5f + demoMS * 0.003f);
                const float x = 2 * s * k, y = 2 * s * j, z = std::fabs(height * wave);
                if (scene6BatchesTiles) {
                    tile(x, y, z);
                    continue;
                }
                glPushMatrix();
                glTranslatef(x, y, z);
                glBegin(GL_QUADS);
                tile(0, 0, 0);
                glEnd();
                glPopMatrix();
            }
        if (scene6BatchesTiles) glEnd();
        glPopMatrix();
    }
}

// `full` false: the light source of the radial blur (black ground, black
// rings, the pale ball, no walls); true: the picture.
void scene6(bool full) {
    if (full)
        glClearColor(1, 1, 1, 1);
    else
        glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const Vector3D eye = camera6[curCam1].vReturnPoint(timeLine1);
    gluLookAt(eye.x, eye.y, eye.z, 0, 0, 0, 0, 1, 0);

    // Black linear fog from 300 to 500 units.
    linearFog(0, 300, 500, -1);

    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);

    if (full) {
        drawWalls();
        glColor3f(1, 1, 1);
        engine->textureManager->bind(engine->textures[kSlotWheel]);
    } else {
        glDisable(GL_TEXTURE_2D);
        glColor3f(0, 0, 0);
    }

    // The ring group tumbles about (1, 1, 1) and swells by 30 % on a beat;
    // each ring spins about its own axis.
    glPushMatrix();
    glRotatef(demoMS / 25, 1, 1, 1);
    const float g = getSyncFloat() * 0.3f;
    glScalef(1 + g, 1 + g, 1 + g);
    glPushMatrix();
    glRotatef(demoMS / 9, 1, 0, 0);
    nice->trender();
    glPopMatrix();
    glPushMatrix();
    glRotatef(demoMS / 11, 0, 1, 0);
    nice2->trender();
    glPopMatrix();
    glPushMatrix();
    glRotatef(demoMS / 13, 0, 0, 1);
    nice3->trender();
    glPopMatrix();
    glPopMatrix();

    glDisable(GL_TEXTURE_2D);
    glColor3f(0.6f, 0.8f, 1);
    ball->srender();
}

} // namespace

void scene6init() {
    camera6[0] = Curve({80, 120, 0}, {20, 80, 70}, {10, 80, 80}, {-10, 50, 90});
    camera6[1] = Curve({80, 40, -40}, {40, 70, -100}, {-40, 80, -50}, {-90, 90, 100});
    camera6[2] = Curve({0, -40, 110}, {-140, 10, 80}, {-90, -50, -30}, {-80, -140, -80});
    camera6[3] = Curve({20, 0, 120}, {-20, 60, 90}, {20, -90, 120}, {-20, 0, 140});
    nice = new Mesh();
    nice->makeTyre(8, 10, 3, 4);
    nice2 = new Mesh();
    nice2->makeTyre(8, 15, 3, 4);
    nice3 = new Mesh();
    nice3->makeTyre(8, 20, 3, 4);
    ball = new Mesh();
    ball->makeSphere(8, 16);
}

// Near 7 layers' time with its 25-pass radial blur: the glow source's blur
// leaves out each pass's two lightest copies (see Glow::MakeBlur), about
// 0.75 ms a frame, for frames 57 to 59 dB from the full blur's (the glow
// adds it at full strength, doubling the difference).
int scene6BlurLeftOut = 2;

void scene6draw() {
    // The camera stretch: each later test overrides the earlier; the
    // divisors are the stretches' lengths in ms.
    curCam1 = 0, timeLine1 = (demoMS - kStart) / 3600;
    if (demoMS > 48300) curCam1 = 1, timeLine1 = (demoMS - 48300) / 3700;
    if (demoMS > 52000) curCam1 = 2, timeLine1 = (demoMS - 52000) / 3800;
    if (demoMS > 55800) curCam1 = 3, timeLine1 = (demoMS - 55800) / 3800;

    // The common glow sequence (renderGlowSourceAndPicture) with a radial
    // blur before it: first the radial blur's light source (no walls) in the
    // corner, blurred radially, then the whole glow source blurred as usual,
    // then the picture.
    engine->perspectiveIntoGlowCorner();
    scene6(false);
    engine->glow->MakeRadialBlur(engine->textureManager, false, 0.08f, 0.4f, 25);
    engine->perspectiveIntoGlowCorner();
    scene6(true);
    engine->glow->MakeBlur(engine->textureManager, false, 0.001f, 0.5f, 5, scene6BlurLeftOut);
    engine->perspectiveIntoPicture();
    scene6(true);
    engine->glow->RenderRadialBlur(engine->textureManager, 1.0f);
    engine->glow->Render(engine->textureManager, 1.0f);

    // The flowers2 mask in black over the upper-left 512 x 512.
    drawOverlay(kSlotFlowers2, 0, 0, 0, 1, 0, 0, 512, 512);
    // A black veil after each cut, gone once a fifth of the stretch has passed.
    engine->glow->RenderQuad(0, 0, 0, 0.6f - 3 * timeLine1);
    if (demoMS < kStart + 500) renderTransition3(1 - (demoMS - kStart) / 500);
    if (demoMS + 600 > kEnd) renderTransition1(1 - (kEnd - demoMS) / 600);
}

void scene6update() { scene6draw(); }

int scene6Camera() { return curCam1; }

float scene6TimeLine() { return timeLine1; }

void scene6Eye(float eye[3]) {
    const Vector3D p = camera6[curCam1].vReturnPoint(timeLine1);
    eye[0] = p.x, eye[1] = p.y, eye[2] = p.z;
}
