// Texture manager: index bookkeeping, render targets, the 1-D ramp, binding.
// Decoding is in Jpg.cpp; the upload (Texture::loadJpg) in TextureUpload.cpp.
#include "image/Texture.h"

#include <GL/glu.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The 1-D ramp: three grey steps.
const float texture[32] = {0.2f, 0.2f, 0.2f, 0.2f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
                           0.5f, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f,
                           1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};

// Only the last three letters count (jpg in any case); the dot is not examined.
bool endsInJpg(const char* name) {
    const size_t n = std::strlen(name);
    if (n < 3) return false;
    return std::tolower(static_cast<unsigned char>(name[n - 3])) == 'j' &&
           std::tolower(static_cast<unsigned char>(name[n - 2])) == 'p' &&
           std::tolower(static_cast<unsigned char>(name[n - 1])) == 'g';
}

void applyFilter(unsigned filter) {
    if (filter == kMipmapFilter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(filter));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(filter));
    }
}

} // namespace

Texture::Texture() : index1D(0), count(0) {
    std::memset(names, 0, sizeof names);
    std::memset(fileNames, 0, sizeof fileNames);
}

Texture::~Texture() {}

namespace {
// Shared by the three file loaders. Returns the cached index, or the new one.
struct LoadRequest {
    const char* name;
    const char* maskName; // nullptr: no mask
    unsigned filter;
    bool clamped;
};
} // namespace

static unsigned loadFile(Texture& t, const LoadRequest& r) {
    // Index 0 is always a render target, never compared.
    for (unsigned i = 1; i < t.count; ++i)
        if (std::strcmp(t.fileNames[i], r.name) == 0) return i;
    if (t.count >= 512) return t.count - 1; // capacity: the demo makes about forty
    std::snprintf(t.fileNames[t.count], sizeof t.fileNames[t.count], "%s", r.name);
    char path[300], maskPath[300];
    std::snprintf(path, sizeof path, "Textures/%s", r.name);
    glGenTextures(1, &t.names[t.count]);
    glBindTexture(GL_TEXTURE_2D, t.names[t.count]);
    if (endsInJpg(r.name)) {
        if (r.maskName) {
            std::snprintf(maskPath, sizeof maskPath, "Textures/%s", r.maskName);
            t.loadJpg(path, maskPath, r.filter);
        } else {
            t.loadJpg(path, r.filter);
        }
    }
    applyFilter(r.filter);
    if (r.clamped) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    return t.count++;
}

unsigned Texture::load(const char* name, unsigned filter) {
    return loadFile(*this, {name, nullptr, filter, false});
}

unsigned Texture::loadClamped(const char* name, unsigned filter) {
    return loadFile(*this, {name, nullptr, filter, true});
}

unsigned Texture::load(const char* name, const char* maskName, unsigned filter) {
    return loadFile(*this, {name, maskName, filter, false});
}

unsigned Texture::empty(unsigned size, unsigned filter) {
    if (count >= 512) return count - 1; // capacity (never reached: the demo makes about forty)
    glGenTextures(1, &names[count]);
    glBindTexture(GL_TEXTURE_2D, names[count]);
    // Undefined contents until something is copied in; zeroed so runs repeat exactly.
    // GL reads rows padded to the unpack alignment (4 by default, 8 at most): a size whose
    // row of size * 3 bytes is not a multiple of it needs the padding too.
    const size_t row = (static_cast<size_t>(size) * 3 + 7) & ~static_cast<size_t>(7);
    unsigned char* bytes = static_cast<unsigned char*>(std::calloc(row * (size ? size : 1), 1));
    if (filter == kMipmapFilter)
        gluBuild2DMipmaps(GL_TEXTURE_2D, 3, size, size, GL_RGB, GL_UNSIGNED_BYTE, bytes);
    else
        glTexImage2D(GL_TEXTURE_2D, 0, 3, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes);
    std::free(bytes);
    applyFilter(filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    return count++;
}

void Texture::load1D() {
    if (count >= 512) return; // capacity (never reached)
    float texels[32 * 3];
    for (int i = 0; i < 32; ++i) texels[i * 3] = texels[i * 3 + 1] = texels[i * 3 + 2] = texture[i];
    glGenTextures(1, &names[count]);
    index1D = static_cast<int>(count);
    glBindTexture(GL_TEXTURE_1D, names[count]);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB, 32, 0, GL_RGB, GL_FLOAT, texels);
    ++count;
}

void Texture::bind(unsigned index) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, names[index]);
}

void Texture::bind1D() {
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, names[index1D]);
}

void Texture::unbind() {
    if (glIsEnabled(GL_TEXTURE_2D)) glDisable(GL_TEXTURE_2D);
}
