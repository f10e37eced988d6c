// Scene 12 (193700 ms to the end): the ending image, 512 x 512, opaque and
// centred on white. The screen is white when the scene begins, the image
// emerges between 194000 and 195000 ms, and a white veil that follows the
// third spectrum band flickers over it with the music. No state.
#include "scenes/Scenes.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>

namespace {

void scene12() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
}

} // namespace

void scene12init() {}

void scene12draw() {
    renderGlowSourceAndPicture([](bool) { scene12(); }, 0.001f);
    engine->glow->Render(engine->textureManager, 0.0f); // adds nothing

    // The image over the centre 512 x 512 of the screen, opaque.
    engine->orthoIntoPicture();
    glDisable(GL_BLEND);
    engine->textureManager->bind(engine->textures[kSlotEnding]);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2d(256, 128);
    glTexCoord2f(1, 0);
    glVertex2d(768, 128);
    glTexCoord2f(1, 1);
    glVertex2d(768, 640);
    glTexCoord2f(0, 1);
    glVertex2d(256, 640);
    glEnd();

    // The veil flickers with the third spectrum band.
    engine->glow->RenderQuad(1, 1, 1, frequencies[2]);
    // White until 194000 ms (the parameter is 1.3 at the start), clear by 195000.
    if (demoMS - 1000 < 194000) renderTransition3(1 - (demoMS - 194000) / 1000);
}

void scene12update() { scene12draw(); }
