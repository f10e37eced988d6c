// ViewVolume: clip coordinates from the GL matrices, tested against the six planes.
#include "scenes/ViewVolume.h"

#include <GL/gl.h>

ViewVolume::ViewVolume(float margin) : widen_(1 + margin) {
    float p[16], m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += p[k * 4 + r] * m[c * 4 + k];
            clip_[c * 4 + r] = s;
        }
}

void ViewVolume::clip(const Vector3D& v, float out[4]) const {
    const float* m = clip_;
    for (int r = 0; r < 4; ++r) out[r] = m[r] * v.x + m[4 + r] * v.y + m[8 + r] * v.z + m[12 + r];
}

unsigned ViewVolume::outside(const Vector3D& v) const {
    float c[4];
    clip(v, c);
    return outside(c);
}

unsigned ViewVolume::outside(const float c[4]) const {
    const float x = c[0], y = c[1], z = c[2], w = c[3];
    const float side = widen_ * w;
    return (x < -side) | (x > side) << 1 | (y < -side) << 2 | (y > side) << 3 | (z < -side) << 4 | (z > side) << 5;
}
