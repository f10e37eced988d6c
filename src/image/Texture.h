// Texture manager: every OpenGL texture of the demo is created here and named
// afterwards by a small index (0, 1, 2, ... in creation order). Images come
// from "Textures/<name>" through our own JPEG decoder (Jpg.h), optionally with
// a second image whose brightness becomes the alpha channel.
//
// The filter argument is an OpenGL filter used for both minification and
// magnification, or kMipmapFilter (0xBABE), which asks for a mipmap chain.
#pragma once

#include <GL/gl.h>

constexpr unsigned kMipmapFilter = 0xBABE;

class Texture {
public:
    int index1D;              // index of the 1-D ramp, set by load1D
    unsigned int count;       // textures created so far: the next index
    GLuint names[512];        // GL texture object of each index
    char fileNames[512][255]; // file each index was loaded from ("" for targets and the ramp)
    // A damaged image (cut short in its data) is uploaded as far as it
    // decoded, black beyond; off (the headless modes, which refuse to render
    // without every image), it is freed at once and nothing is uploaded.
    bool uploadDamaged = true;

    Texture();
    ~Texture();

    unsigned load(const char* name, unsigned filter);
    unsigned loadClamped(const char* name, unsigned filter);
    unsigned load(const char* name, const char* maskName, unsigned filter);
    unsigned empty(unsigned size, unsigned filter);
    void load1D();
    void bind(unsigned index);
    void bind1D();
    void unbind();

    // Decode and upload into the bound GL_TEXTURE_2D: 1 loaded, 0 failed.
    int loadJpg(const char* path, unsigned filter);
    int loadJpg(const char* imagePath, const char* maskPath, unsigned filter);
};
