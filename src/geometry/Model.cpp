// Model: draws its meshes through the material path under its own transform.
//
// Relies on: OpenGL 1.x, the global engine (texture manager, slot 4).
// Deliberately does not: restore texturing afterwards (the meshes' materials
// and the bound texture stay as they leave them).
#include "geometry/Model.h"

// The one include from geometry into app: a model binds the engine's texture
// of slot 4 itself, so it reaches the global engine (the two libraries link
// both ways for it). Nothing else below the app layer includes an app header.
#include "app/Engine.h"
#include "geometry/mesh.h"
#include "image/Texture.h"

#include <GL/gl.h>

Model::Model() : position(0.0f, 0.0f, 0.0f), rotation(0.0f, 0.0f, 0.0f) {}

void Model::render() {
    glPushMatrix();
    glTranslatef(position.x, position.y, position.z);
    glRotatef(rotation.x, 1.0f, 0.0f, 0.0f); // degrees
    glRotatef(rotation.y, 0.0f, 1.0f, 0.0f);
    glRotatef(rotation.z, 0.0f, 0.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    engine->textureManager->bind(engine->textures[kSlotModel]);
    for (Mesh* m : meshes) m->render();
    glPopMatrix();
}
