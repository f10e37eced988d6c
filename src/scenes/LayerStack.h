// Tunnels of sprite layers (Scenes 4 and 8): one image on squares of
// half-size `half` stacked along the z axis in front of an eye at the
// origin, each turned about the axis by its own spin and blended over the
// farther ones. Each layer is a full pass of the rasteriser over its screen
// area, and most of a pass goes into sampling the texture and blending.
//
// Several layers can be drawn in one pass instead, one texture unit each:
// the units compose them over one another into one premultiplied colour and
// coverage, and a single blend puts that over the frame. A pass draws an
// outline in the nearest layer's plane; a point there seen through a farther
// layer's plane is the same point scaled by the ratio of their distances and
// turned by the difference of their spins, so each unit's texture
// coordinates are affine across the outline and are given per corner. The
// picture is that of blending the layers one at a time but for the rounding
// of the blends saved (a level here and there).
//
// The caller sees to it that
// - every layer's image is zero in alpha wherever the outline does not
//   cover it (the farther layers look smaller from the eye, so a nearest
//   layer's outline that holds its own image's support holds theirs), and
//   that the image's edge texels have alpha 0: beyond its square a layer's
//   texture is clamped to the edge;
// - no layer of a pass is cut by the near plane within the view
//   (firstWholeLayer), or the farther layers would vanish behind its
//   cut-away part;
// - no fog is needed (it would fall on every layer of a pass alike).
#pragma once

#include "geometry/Vector3D.h"

#include <GL/gl.h>

struct StackedLayer {
    float ahead; // distance in front of the eye along the z axis (the layer lies at z = -ahead)
    float spin;  // degrees about the z axis
};

// The distance ahead from which a layer's plane meets every ray of the view
// beyond the near plane, for an eye at the origin looking along `gaze` (a
// unit vector, with the world's y up), read from the current projection.
float firstWholeLayer(const Vector3D& gaze);

// Passes of stacked layers go between these two. begin keeps the texture
// units, the texture's wrap and the blend set-up (glPushAttrib), readies
// the units for the texture object `texture` (its own colours are drawn:
// a tint goes into the image) and blends the premultiplied composition
// with (GL_ONE, GL_ONE_MINUS_SRC_ALPHA). end puts back what begin found.
void beginStackedLayers(unsigned texture);
void endStackedLayers();

// One pass: `count` layers (farthest first, 1 to kMaxStackedLayers) of a
// square of half-size `half`, image (0, 0) at its corner (-half, half), over
// the outline `corners` (x, y in the nearest layer's plane) drawn as `mode`
// (a triangle fan or strip).
constexpr int kMaxStackedLayers = 4;
// Of `count` layers drawn in passes of kMaxStackedLayers, how many the first
// (farthest) pass takes: what is left over.
inline int firstPassLayers(int count) {
    const int n = count % kMaxStackedLayers;
    return n ? n : kMaxStackedLayers;
}
void drawStackedLayers(const StackedLayer* layers, int count, float half, const float (*corners)[2], int cornerCount,
                       GLenum mode);
