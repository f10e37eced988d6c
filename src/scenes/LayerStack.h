// Tunnels of sprite layers (Scenes 4 and 8): one image on squares of
// half-size `half` stacked along the z axis in front of an eye at the
// origin, each turned about the axis by its own spin and blended over the
// farther ones. Each layer is a full pass of the rasteriser over its screen
// area, and most of a pass goes into sampling the texture and blending.
//
// Several layers can be drawn in one pass instead, one texture unit each:
// the units compose them over one another into one premultiplied colour and
// coverage, and a single blend puts that over the frame. A pass draws rings
// in the nearest layer's plane; a point there seen through a farther
// layer's plane is the same point scaled by the ratio of their distances and
// turned by the difference of their spins, so each unit's texture
// coordinates are affine across a ring and are given per corner. The
// picture is that of blending the layers one at a time but for the rounding
// of the blends saved (a level here and there).
//
// The layers' image is measured once (SpriteRing): outside its ring every
// sample is 0 in alpha, and so are the image's edge texels, since beyond
// its square a layer's texture is clamped to the edge. The caller sees to
// it that
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

// Layers go kMaxStackedLayers to a pass at most.
constexpr int kMaxStackedLayers = 4;
// Of `count` layers drawn in passes of kMaxStackedLayers, how many the first
// (farthest) pass takes: what is left over.
inline int firstPassLayers(int count) {
    const int n = count % kMaxStackedLayers;
    return n ? n : kMaxStackedLayers;
}

// Where a sprite's mask can be non-zero, measured on its image at start-up:
// a ring about the square's centre, between an outer polygon that holds
// every sample of non-zero alpha and an inner one within which every sample
// is 0. A bilinear sample mixes the texels less than a texel away on each
// axis, so a point more than a texel diagonal from every non-zero texel
// centre samples 0.
//
// The hole is not round: each of the `sides` sectors about the centre keeps
// its own radius within which every point samples 0 (a texel's reach covers
// the sectors its disc of one diagonal meets). Corner k of the inner
// polygon lies at the smaller radius of its two sectors, so the edge
// between two corners stays within both corners' sector radius.
constexpr int kMaxRingSides = 16;
struct SpriteRing {
    int sides = 0;                  // 0: the mask reaches the square's edge (or no image): the whole square
    float rOut = 0;                 // the outer polygon circumscribes the circle of radius rOut
    float rIn[kMaxRingSides] = {};  // the inner polygon's corner k, at angle 2 pi k / sides
    float roundHole = 0;            // the radius within which the mask is 0 all round (the least rIn)
    float cos[kMaxRingSides + 1] = {}, sin[kMaxRingSides + 1] = {}; // corner k's direction, `sides` closing at 0
};
// `rgba`: w x h texels of 4 bytes, row 0 at texture coordinate t = 0 (the
// square's top edge); the square has half-size `half`; 3 to kMaxRingSides sides.
SpriteRing measureSpriteRing(const unsigned char* rgba, int w, int h, float half, int sides);

// The square of half-size `half`, texture (0, 0) at its corner (-half, half),
// whole: one quad.
void drawSpriteSquare(float half);
// The same square as its ring: one triangle strip (the whole square when the
// ring has no sides).
void drawSpriteRing(const SpriteRing& ring, float half);

// One pass: `count` layers (farthest first, 1 to kMaxStackedLayers) of a
// square of half-size `half`, image (0, 0) at its corner (-half, half), all
// with the mask `ring`. Drawn in the nearest layer's plane, ring by ring,
// each ring with only the layers that can be non-zero there: between the
// farthest layer's round hole and the nearest one's outline as seen from
// the eye (a ray through the farthest one's hole passes through the holes
// of all the nearer layers, which look larger).
void drawStackedRing(const StackedLayer* layers, int count, float half, const SpriteRing& ring);
