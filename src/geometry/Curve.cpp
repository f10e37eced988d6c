// Curve: evaluation of the cubic and its moving frame.
//
// Relies on: Vector3D.
// Deliberately does not: read `degree` (every evaluated curve is a cubic;
// reading it would only risk running past the four control points), clamp t,
// or substitute a default frame where the forward difference is zero.
#include "geometry/Curve.h"

namespace {

// Step of the forward difference behind the frame vectors, in units of t.
constexpr float kStep = 0.005f;

} // namespace

Curve::Curve(Vector3D p0, Vector3D p1, Vector3D p2, Vector3D p3) : degree(3) {
    controlPoints[0] = p0;
    controlPoints[1] = p1;
    controlPoints[2] = p2;
    controlPoints[3] = p3;
}

Vector3D Curve::vReturnPoint(float t) const {
    const float s = 1.0f - t;
    const float s3 = s * s * s;
    const float t3 = t * t * t;
    const float b1 = 3.0f * t * s * s;
    const float b2 = 3.0f * t * t * s;
    const Vector3D* p = controlPoints;
    return Vector3D(p[0].x * s3 + b1 * p[1].x + b2 * p[2].x + p[3].x * t3,
                    p[0].y * s3 + b1 * p[1].y + b2 * p[2].y + p[3].y * t3,
                    p[0].z * s3 + b1 * p[1].z + b2 * p[2].z + p[3].z * t3);
}

Vector3D Curve::vReturnBezier(float t) const {
    // Bernstein sum of degree 3: C(3, i) * t^i * s^(3-i) * P_i, added for
    // i = 0 ... 3 onto (0, 0, 0). The powers are formed in double and
    // rounded to float once, as a double-precision power function would give.
    static const float binomial[4] = {1.0f, 3.0f, 3.0f, 1.0f};
    const float s = 1.0f - t;
    const double td = t, sd = s;
    const double tPow[4] = {1.0, td, td * td, td * td * td};
    const double sPow[4] = {1.0, sd, sd * sd, sd * sd * sd};
    Vector3D sum(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 4; ++i) {
        const float weight =
            binomial[i] * static_cast<float>(tPow[i]) * static_cast<float>(sPow[3 - i]);
        sum += controlPoints[i] * weight;
    }
    return sum;
}

Vector3D Curve::curveDirVec(float t) const {
    // Later point minus earlier point; t + kStep past 1 extrapolates.
    Vector3D d = vReturnBezier(t + kStep) - vReturnBezier(t);
    d.Normalize();
    return d;
}

Vector3D Curve::curveSideVec(float t) const {
    return curveDirVec(t).crossProduct(Vector3D(0.0f, 1.0f, 0.0f));
}

Vector3D Curve::curveSideVec2(float t) const {
    return curveDirVec(t).crossProduct(Vector3D(0.0f, 0.0f, 1.0f));
}

Vector3D Curve::curveUpVec(float t) const {
    Vector3D side = curveSideVec(t);
    Vector3D dir = curveDirVec(t);
    side.Normalize();
    dir.Normalize();
    Vector3D up = side.crossProduct(dir);
    up.Normalize();
    return up;
}
