// Material: property mask and the GL enables it stands for.
//
// Relies on: OpenGL 1.x.
// Deliberately does not: disable texturing when kTextured is clear, or
// touch lighting parameters (lights, materials) beyond the enable.
#include "geometry/Material.h"

#include <GL/gl.h>

Material::Material() : color{1.0f, 1.0f, 1.0f}, properties(kDefaultProperties) {}

void Material::setColor(float r, float g, float b) {
    color[0] = r;
    color[1] = g;
    color[2] = b;
}

void Material::setPropereties(unsigned mask) { properties = mask; }

void Material::setProperty(unsigned bits) { properties |= bits; }

void Material::activate() const {
    if (getProperty(kLit)) {
        glEnable(GL_LIGHTING);
    } else {
        glDisable(GL_LIGHTING);
        glColor3f(color[0], color[1], color[2]);
    }
    if (getProperty(kTextured)) glEnable(GL_TEXTURE_2D);
}
