// Placeholder until the baseline JPEG decoder lands: nothing decodes yet.
#include "image/Texture.h"

int Texture::loadJpg(const char*, unsigned) { return 0; }
int Texture::loadJpg(const char*, const char*, unsigned) { return 0; }
