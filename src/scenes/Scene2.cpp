// Scene 2: not built yet; its frames are black.
#include "scenes/Scenes.h"

#include <GL/gl.h>

void scene2init() {}

void scene2update() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
