// The view volume of the current GL projection and model-view matrices, to
// leave out geometry that cannot reach the viewport. A primitive whose
// corners all lie outside one plane of the volume makes no fragment (GL
// clips it away whole), so leaving it out gives the same pixels for less work.
#pragma once

#include "geometry/Vector3D.h"

class ViewVolume {
public:
    // Reads the current matrices. Every plane is pushed out by `margin` of
    // the half-extent of the view (in clip coordinates: |x|, |y|, |z| up to
    // (1 + margin) w), so that what lies just outside and may still touch
    // the border (an anti-aliased line's fringe) is kept. A negative margin
    // pulls the planes in: what is inside then is surely not clipped.
    explicit ViewVolume(float margin = 0.05f);

    // The planes p lies outside of, one bit each (0: inside all six).
    unsigned outside(const Vector3D& p) const;
    // The same for a point already in clip coordinates.
    unsigned outside(const float clipped[4]) const;
    // p in clip coordinates: x, y, z, w (w is the distance in front of the eye).
    void clip(const Vector3D& p, float out[4]) const;
    // Whether a primitive with corners of these `outside` codes can be left out.
    static bool culled(unsigned a, unsigned b) { return (a & b) != 0; }
    static bool culled(unsigned a, unsigned b, unsigned c) { return (a & b & c) != 0; }

private:
    float clip_[16]; // projection x model-view, column-major as GL keeps it
    float widen_;    // 1 + margin
};
