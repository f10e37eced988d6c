// Scene 11: not built yet; its frames are black.
#include "scenes/Scenes.h"

#include <GL/gl.h>

void scene11init() {}

void scene11update() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
