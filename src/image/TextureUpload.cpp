// Texture::loadJpg: decode with the GL-free decoder (Jpg.h) and upload into
// the bound GL_TEXTURE_2D. A single image is stored with three colour
// components (internal format 3) from RGBA bytes; an image with a mask as
// GL_RGBA8. Filter 0xBABE builds a mipmap chain with gluBuild2DMipmaps.
#include "image/Jpg.h"
#include "image/Texture.h"
#include "platform/Platform.h"

#include <GL/glu.h>

#include <cstring>

namespace {
void upload(const jpg::Image& image, GLint internalFormat, unsigned filter) {
    if (filter == kMipmapFilter)
        gluBuild2DMipmaps(GL_TEXTURE_2D, internalFormat, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE,
                          image.rgba.get());
    else
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     image.rgba.get());
}

// Every file that is missing or cannot be decoded says so, in one line on
// stderr and, with a screen, in the message box (start-up goes on).
void report(const char* path, const jpg::Problem& problem) {
    if (problem.fault == jpg::Fault::None) return;
    platform::showError("Error", jpg::message(path, problem).c_str());
}
} // namespace

int Texture::loadJpg(const char* path, unsigned filter) {
    jpg::Image image;
    jpg::Problem problem;
    const int decoded = jpg::decodeFile(path, &image, &problem);
    report(path, problem);
    if (!decoded || (!uploadDamaged && problem.fault != jpg::Fault::None)) return 0;
    upload(image, 3, filter);
    return 1;
}

int Texture::loadJpg(const char* imagePath, const char* maskPath, unsigned filter) {
    jpg::Image image;
    jpg::Problem imageProblem, maskProblem;
    const int decoded = jpg::decodeMasked(imagePath, maskPath, &image, &imageProblem, &maskProblem);
    report(imagePath, imageProblem);
    // One file that is both image and mask is reported once.
    if (std::strcmp(imagePath, maskPath) != 0) report(maskPath, maskProblem);
    const bool damaged = imageProblem.fault != jpg::Fault::None || maskProblem.fault != jpg::Fault::None;
    if (!decoded || (!uploadDamaged && damaged)) return 0;
    upload(image, GL_RGBA8, filter);
    return 1;
}
