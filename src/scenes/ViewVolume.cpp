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

unsigned ViewVolume::outside(const Vector3D& v) const {
    const float* m = clip_;
    const float x = m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12];
    const float y = m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13];
    const float z = m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14];
    const float w = m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15];
    const float side = widen_ * w;
    return (x < -side) | (x > side) << 1 | (y < -side) << 2 | (y > side) << 3 | (z < -side) << 4 | (z > side) << 5;
}
