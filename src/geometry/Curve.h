// Curve: a cubic Bezier curve in space, the path of cameras, ribbons and
// objects, with a moving frame (direction, side and up vectors) taken from a
// forward difference.
//
// Relies on: Vector3D.
// Deliberately does not: clamp t (outside [0, 1] the cubic simply
// continues), normalise the side vectors, or guard the frame against a curve
// that stands still (a zero forward difference gives not-a-number vectors).
#pragma once

#include "geometry/Vector3D.h"

class Curve {
public:
    Vector3D controlPoints[4]; // P0 start, P1 and P2 handles, P3 end
    int degree;                // always 3 for a curve built from four points

    // Leaves points and degree undefined: assign a four-point curve before use.
    Curve() = default;
    Curve(Vector3D p0, Vector3D p1, Vector3D p2, Vector3D p3);

    // The point at t, closed form of the cubic.
    Vector3D vReturnPoint(float t) const;
    // The point at t as the Bernstein sum; the same curve as vReturnPoint
    // within float accuracy. The frame vectors are built on it.
    Vector3D vReturnBezier(float t) const;

    // Unit direction of travel at t.
    Vector3D curveDirVec(float t) const;
    // direction x (0, 1, 0): the viewer's right with +y up; length is the
    // horizontal share of the direction, not 1.
    Vector3D curveSideVec(float t) const;
    // direction x (0, 0, 1), not normalised.
    Vector3D curveSideVec2(float t) const;
    // Unit vector perpendicular to the direction, in the plane of the
    // direction and world +y; never points downwards.
    Vector3D curveUpVec(float t) const;
};
