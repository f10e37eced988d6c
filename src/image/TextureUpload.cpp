// Texture::loadJpg: decode with the GL-free decoder (Jpg.h) and upload into
// the bound GL_TEXTURE_2D. A single image is stored with three colour
// components (internal format 3) from RGBA bytes; an image with a mask as
// GL_RGBA8. Filter 0xBABE builds a mipmap chain with gluBuild2DMipmaps.
#include "image/Jpg.h"
#include "image/Texture.h"
#include "platform/Platform.h"

#include <GL/glu.h>

#include <cstdio>

namespace {
void upload(const jpg::Image& image, GLint internalFormat, unsigned filter) {
    if (filter == kMipmapFilter)
        gluBuild2DMipmaps(GL_TEXTURE_2D, internalFormat, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE,
                          image.rgba.get());
    else
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     image.rgba.get());
}
} // namespace

int Texture::loadJpg(const char* path, unsigned filter) {
    jpg::Image image;
    bool opened = false;
    if (!jpg::decodeFile(path, &image, &opened)) {
        if (!opened) {
            char text[512];
            std::snprintf(text, sizeof text, "File %s not found!", path);
            platform::showError("Error", text);
        }
        return 0;
    }
    upload(image, 3, filter);
    return 1;
}

int Texture::loadJpg(const char* imagePath, const char* maskPath, unsigned filter) {
    jpg::Image image;
    if (!jpg::decodeMasked(imagePath, maskPath, &image)) return 0;
    upload(image, GL_RGBA8, filter);
    return 1;
}
