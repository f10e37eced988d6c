// Sprite layers composed on the texture units, a pass for several.
#include "scenes/LayerStack.h"

#include "image/Texture.h"
#include "platform/GLExt.h"

#include <algorithm>
#include <cmath>

namespace {
// The texture coordinates of point (x, y) of a sprite's square of half-size
// `half`, texture (0, 0) at its corner (-half, half).
void spriteTexCoord(float half, float x, float y, float* st) {
    st[0] = (x + half) / (2 * half);
    st[1] = (half - y) / (2 * half);
}

// That point with its texture coordinates (unit 0).
void spriteVertex(float half, float x, float y) {
    float st[2];
    spriteTexCoord(half, x, y, st);
    glTexCoord2fv(st);
    glVertex3f(x, y, 0);
}

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

// Units 0 .. count - 1 on, the rest of the stack's units off. The sets on
// are always the first few units, so the rasteriser compiles a program for
// each of kMaxStackedLayers sets only (each takes milliseconds, the first
// time a frame meets it).
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

// The ring of the nearest layer's plane between the regular polygons of
// corner radii `from` and `to`, with layers first .. last of the pass on
// units 0 .. last - first; `turn` takes a point of that plane to the point
// of each layer's plane on the same ray. One triangle strip.
void drawRingUnits(const SpriteRing& ring, float from, float to, const float (*turn)[2], int first, int last,
                   float half) {
    const int units = last - first + 1;
    useUnits(units);
    glBegin(GL_TRIANGLE_STRIP);
    for (int k = 0; k <= ring.sides; ++k)
        for (const float r : {to, from}) {
            const float x = r * ring.cos[k], y = r * ring.sin[k];
            for (int u = 0; u < units; ++u) {
                const float c = turn[first + u][0], s = turn[first + u][1];
                float st[2];
                spriteTexCoord(half, c * x - s * y, s * x + c * y, st);
                arb::glMultiTexCoord2fARB(GL_TEXTURE0_ARB + u, st[0], st[1]);
            }
            glVertex3f(x, y, 0);
        }
    glEnd();
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

SpriteRing measureSpriteRing(const unsigned char* rgba, int w, int h, float half, int sides) {
    SpriteRing ring;
    if (w < 2 || h < 2 || sides < 3 || sides > kMaxRingSides) return ring;
    const double texel = std::hypot(2 * half / w, 2 * half / h);
    const double sector = 2 * M_PI / sides;
    double farthest = 0, hole[kMaxRingSides];
    std::fill(hole, hole + sides, 1e9);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            if (rgba[(static_cast<size_t>(j) * w + i) * 4 + 3] == 0) continue;
            // The texel centre, rounded to float as the vertices are.
            const double x = static_cast<float>((i + 0.5) * 2 * half / w - half);
            const double y = static_cast<float>(half - (j + 0.5) * 2 * half / h);
            const double r = std::hypot(x, y);
            farthest = std::max(farthest, r);
            if (r <= texel) {
                std::fill(hole, hole + sides, 0.0);
                continue;
            }
            const double angle = std::atan2(y, x), reach = std::asin(texel / r);
            const int first = static_cast<int>(std::floor((angle - reach) / sector));
            const int last = static_cast<int>(std::floor((angle + reach) / sector));
            for (int k = first; k <= last; ++k) {
                double& sectorHole = hole[((k % sides) + sides) % sides];
                sectorHole = std::min(sectorHole, r - texel);
            }
        }
    // The outer polygon stays inside the square: with GL_REPEAT a non-zero
    // texel at the edge would bleed over the opposite one; such a mask
    // reaches the edge anyway and keeps the whole square.
    const double outer = (farthest + texel) / std::cos(M_PI / sides);
    if (outer >= half) return ring;
    ring.sides = sides;
    ring.rOut = static_cast<float>(outer);
    for (int k = 0; k < sides; ++k)
        ring.rIn[k] = static_cast<float>(std::max(0.0, std::min(hole[k], hole[(k + sides - 1) % sides])));
    ring.roundHole = *std::min_element(ring.rIn, ring.rIn + sides);
    for (int k = 0; k <= sides; ++k) {
        const double a = 2 * M_PI * (k % sides) / sides;
        ring.cos[k] = static_cast<float>(std::cos(a)), ring.sin[k] = static_cast<float>(std::sin(a));
    }
    return ring;
}

void drawSpriteSquare(float half) {
    glBegin(GL_QUADS);
    spriteVertex(half, -half, half);
    spriteVertex(half, half, half);
    spriteVertex(half, half, -half);
    spriteVertex(half, -half, -half);
    glEnd();
}

void drawSpriteRing(const SpriteRing& ring, float half) {
    if (!ring.sides) {
        drawSpriteSquare(half);
        return;
    }
    glBegin(GL_TRIANGLE_STRIP);
    for (int k = 0; k <= ring.sides; ++k) {
        const float in = ring.rIn[k % ring.sides];
        spriteVertex(half, ring.rOut * ring.cos[k], ring.rOut * ring.sin[k]);
        spriteVertex(half, in * ring.cos[k], in * ring.sin[k]);
    }
    glEnd();
}

void drawStackedRing(const StackedLayer* layers, int count, float half, const SpriteRing& ring) {
    if (count < 1 || count > kMaxStackedLayers || !ring.sides) return;
    // In the nearest layer's plane, layer k can be non-zero only between
    // the polygons of its hole and its outline scaled by nearest / its own
    // distance: farther layers look smaller, hole and all. Between each two
    // of these polygons the pass draws the ring they bound with the units of
    // the layers that can be non-zero there, a run of consecutive ones (the
    // holes and the outlines both grow towards the nearest layer), from
    // unit 0 on. A layer left out would have sampled alpha 0: its unit would
    // have passed on what it was given.
    const StackedLayer& nearest = layers[count - 1];
    float inner[kMaxStackedLayers], outer[kMaxStackedLayers], cuts[2 * kMaxStackedLayers];
    // Per layer, the turn and scale taking a point of the nearest layer's
    // plane to the point of its own plane on the same ray.
    float turn[kMaxStackedLayers][2];
    for (int k = 0; k < count; ++k) {
        const float scale = nearest.ahead / layers[k].ahead;
        inner[k] = cuts[2 * k] = ring.roundHole * scale;
        outer[k] = cuts[2 * k + 1] = ring.rOut * scale;
        const double a = (nearest.spin - layers[k].spin) * 3.14159265358979 / 180;
        const double grow = static_cast<double>(layers[k].ahead) / nearest.ahead;
        turn[k][0] = static_cast<float>(grow * std::cos(a));
        turn[k][1] = static_cast<float>(grow * std::sin(a));
    }
    std::sort(cuts, cuts + 2 * count);
    glPushMatrix();
    glTranslatef(0, 0, -nearest.ahead);
    glRotatef(nearest.spin, 0, 0, 1);
    for (int c = 0; c + 1 < 2 * count; ++c) {
        const float from = cuts[c], to = cuts[c + 1];
        if (!(from < to)) continue;
        int first = 0, last = count - 1;
        while (first < count && outer[first] <= from) ++first;
        while (last >= 0 && inner[last] >= to) --last;
        if (first <= last) drawRingUnits(ring, from, to, turn, first, last, half);
    }
    glPopMatrix();
}
