// Sprite layers composed on the texture units, a pass for several.
#include "scenes/LayerStack.h"

#include "image/Texture.h"
#include "platform/GLExt.h"

#include <cmath>

namespace {
int unitsOn = 0;           // texture units enabled for the current pass
GLint wrapFound[2] = {};   // the texture's wrap as begin found it

// Unit 0 takes the farthest layer premultiplied: its colour times its alpha,
// and its alpha. Each further unit lays its layer over what the units
// before it made: colour mixed by the layer's alpha, coverage
// a + previous (1 - a).
void setUpUnit(int unit) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    if (unit == 0) {
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
        return;
    }
    static const GLfloat opaque[4] = {0, 0, 0, 1};
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, opaque);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_INTERPOLATE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB_ARB, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_INTERPOLATE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_CONSTANT_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA_ARB, GL_PREVIOUS_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA_ARB, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_ALPHA_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_ALPHA_ARB, GL_SRC_ALPHA);
}

// Units 0 .. count - 1 on, the rest of the stack's units off.
void useUnits(int count) {
    if (count == unitsOn) return;
    for (int u = 1; u < kMaxStackedLayers; ++u) {
        if ((u < count) == (u < unitsOn)) continue;
        arb::glActiveTextureARB(GL_TEXTURE0_ARB + u);
        if (u < count)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
    }
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    unitsOn = count;
}
} // namespace

float firstWholeLayer(const Vector3D& gaze) {
    // A ray of the view, scaled to one unit of depth along the gaze, runs
    // -dz along the axis; it meets the plane z = -ahead at the depth
    // ahead / -dz. -dz is largest at a corner of the view.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    Vector3D side = gaze.crossProduct(Vector3D(0, 1, 0));
    side.Normalize();
    const Vector3D up = side.crossProduct(gaze);
    const float steepest = -gaze.z + std::fabs(side.z) / projection[0] + std::fabs(up.z) / projection[5];
    const float nearPlane = projection[14] / (projection[10] - 1);
    return steepest * nearPlane * 1.01f; // a margin for the clipper's rounding
}

void beginStackedLayers(unsigned texture) {
    glPushAttrib(GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT);
    for (int u = kMaxStackedLayers - 1; u >= 0; --u) {
        arb::glActiveTextureARB(GL_TEXTURE0_ARB + u);
        glBindTexture(GL_TEXTURE_2D, texture);
        setUpUnit(u);
        if (u > 0) glDisable(GL_TEXTURE_2D);
    }
    glEnable(GL_TEXTURE_2D);
    unitsOn = 1;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapFound[0]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapFound[1]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void endStackedLayers() {
    useUnits(1); // unit 0 active
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapFound[0]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapFound[1]);
    glPopAttrib();
}

void drawStackedLayers(const StackedLayer* layers, int count, float half, const float (*corners)[2], int cornerCount,
                       GLenum mode) {
    useUnits(count);
    const StackedLayer& nearest = layers[count - 1];
    // Per layer, the turn and scale taking a point of the nearest layer's
    // plane to the point of its own plane on the same ray.
    float turn[kMaxStackedLayers][2];
    for (int u = 0; u < count; ++u) {
        const double a = (nearest.spin - layers[u].spin) * 3.14159265358979 / 180;
        const double scale = static_cast<double>(layers[u].ahead) / nearest.ahead;
        turn[u][0] = static_cast<float>(scale * std::cos(a));
        turn[u][1] = static_cast<float>(scale * std::sin(a));
    }
    glPushMatrix();
    glTranslatef(0, 0, -nearest.ahead);
    glRotatef(nearest.spin, 0, 0, 1);
    glBegin(mode);
    for (int k = 0; k < cornerCount; ++k) {
        const float x = corners[k][0], y = corners[k][1];
        for (int u = 0; u < count; ++u) {
            const float c = turn[u][0], s = turn[u][1];
            const float px = c * x - s * y, py = s * x + c * y;
            arb::glMultiTexCoord2fARB(GL_TEXTURE0_ARB + u, (px + half) / (2 * half), (half - py) / (2 * half));
        }
        glVertex3f(x, y, 0);
    }
    glEnd();
    glPopMatrix();
}
