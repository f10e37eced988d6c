// Vector3D and Curve: exact values at the edges, NaN where a zero vector is
// normalised, and the moving frame of the curve.
#include "geometry/Curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

namespace {

void expectVec(const Vector3D& v, float x, float y, float z, float eps = 0) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

bool allNaN(const Vector3D& v) { return std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z); }

Curve line(Vector3D step) { return Curve(Vector3D(0, 0, 0), step, step * 2.0f, step * 3.0f); }

} // namespace

TEST(Vector3D, OperatorsCrossLengthAndNormalize) {
    static_assert(std::is_same<decltype(std::declval<Vector3D&>() += Vector3D()), Vector3D>::value,
                  "compound operators return a copy");
    Vector3D a(1, 2, 3);
    const Vector3D b(4, -5, 6);
    expectVec(a - b, -3, 7, -3);
    EXPECT_EQ(a.dotProduct(b), 12.0f);
    // Three true divisions: 0.1f / 10 is not 0.1f * (1 / 10.f).
    const float tenth = 0.1f, ten = 10.0f;
    EXPECT_EQ((Vector3D(tenth, 0, 0) / ten).x, tenth / ten);
    EXPECT_NE((Vector3D(tenth, 0, 0) / ten).x, tenth * (1.0f / ten));

    Vector3D r = (a += b);
    r.x = 100; // changing the returned copy leaves a alone
    expectVec(r, 100, -3, 9);
    expectVec(a, 5, -3, 9);
    (a *= 2.0f) = Vector3D(0, 0, 0);
    expectVec(a, 10, -6, 18);

    expectVec(Vector3D(1, 0, 0).crossProduct(Vector3D(0, 1, 0)), 0, 0, 1);
    expectVec(Vector3D(1, 2, 3).crossProduct(Vector3D(2, 4, 6)), 0, 0, 0);
    const Vector3D p(0.3f, -1.7f, 2.2f), q(-4.1f, 0.9f, 1.3f), ba = q.crossProduct(p);
    expectVec(p.crossProduct(q), -ba.x, -ba.y, -ba.z);
    EXPECT_EQ(Vector3D(3, 4, 0).length(), 5.0f);

    Vector3D unit(0.6f, 0.8f, 0);
    unit.Normalize();
    expectVec(unit, 0.6f, 0.8f, 0, 1e-7f);
    Vector3D zero(0, 0, 0);
    zero.Normalize(); // no guard: 0 / 0
    EXPECT_TRUE(allNaN(zero));
}

TEST(Curve, StraightLineGivesTheWorldFrame) {
    const Curve c = line(Vector3D(1, 0, 0));
    expectVec(c.vReturnPoint(0.5f), 1.5f, 0, 0);
    expectVec(c.vReturnBezier(0.5f), 1.5f, 0, 0);
    for (float t : {0.0f, 0.5f, 1.0f, 1.7f, -0.4f}) { // not clamped: defined past the ends
        SCOPED_TRACE(t);
        expectVec(c.curveDirVec(t), 1, 0, 0, 1e-6f);
        expectVec(c.curveSideVec(t), 0, 0, 1, 1e-6f);
        expectVec(c.curveSideVec2(t), 0, -1, 0, 1e-6f);
        expectVec(c.curveUpVec(t), 0, 1, 0, 1e-6f);
    }
}

TEST(Curve, EndpointsAndBothFormsFollowTheCubic) {
    const Vector3D p0(1, 2, 3), p1(-4, 5, 0.5f), p2(7, -8, 2), p3(0.25f, 9, -6);
    const Curve c(p0, p1, p2, p3);
    expectVec(c.vReturnBezier(0), p0.x, p0.y, p0.z);
    expectVec(c.vReturnBezier(1), p3.x, p3.y, p3.z);
    expectVec(c.vReturnPoint(0), p0.x, p0.y, p0.z);
    expectVec(c.vReturnPoint(1), p3.x, p3.y, p3.z);
    for (float t = -1.0f; t <= 2.0f; t += 0.125f) {
        SCOPED_TRACE(t);
        const double s = 1.0 - t, w[4] = {s * s * s, 3 * t * s * s, 3.0 * t * t * s, double(t) * t * t};
        const double ey = w[0] * p0.y + w[1] * p1.y + w[2] * p2.y + w[3] * p3.y; // in double
        const Vector3D a = c.vReturnPoint(t), b = c.vReturnBezier(t);
        EXPECT_NEAR(a.y, ey, 1e-4 * (1 + std::fabs(ey)));
        expectVec(b, a.x, a.y, a.z, 1e-4f * (1 + std::fabs(a.x) + std::fabs(a.y) + std::fabs(a.z)));
    }
}

TEST(Curve, FrameIsOrthogonalAndUpNeverPointsDown) {
    const Curve c(Vector3D(0, 10, 0), Vector3D(5, -3, 8), Vector3D(-6, 4, 2), Vector3D(3, -9, -5));
    for (float t = 0.0f; t <= 1.0f; t += 0.05f) {
        SCOPED_TRACE(t);
        const Vector3D d = c.curveDirVec(t), up = c.curveUpVec(t);
        Vector3D side = c.curveSideVec(t);
        EXPECT_NEAR(up.length(), 1.0f, 1e-6f);
        EXPECT_NEAR(side.length(), std::sqrt(d.x * d.x + d.z * d.z), 1e-6f); // horizontal share
        side.Normalize();
        EXPECT_NEAR(side.dotProduct(d), 0, 1e-6f);
        EXPECT_NEAR(up.dotProduct(d), 0, 1e-6f);
        EXPECT_NEAR(up.dotProduct(side), 0, 1e-6f);
        EXPECT_GE(up.y, 0.0f);
        expectVec(c.curveSideVec2(t), d.y, -d.x, 0, 1e-7f);
    }
    // Later point minus earlier.
    EXPECT_GT((c.vReturnBezier(0.305f) - c.vReturnBezier(0.3f)).dotProduct(c.curveDirVec(0.3f)), 0.0f);
}

TEST(Curve, RisingVerticalAndStillCurves) {
    expectVec(line(Vector3D(3, 4, 0)).curveSideVec(0.5f), 0, 0, 0.6f, 1e-5f); // d = (0.6, 0.8, 0)

    const Curve up = line(Vector3D(0, 2, 0)); // straight up: no side, no up
    expectVec(up.curveDirVec(0.3f), 0, 1, 0, 1e-6f);
    expectVec(up.curveSideVec(0.3f), 0, 0, 0);
    EXPECT_TRUE(allNaN(up.curveUpVec(0.3f)));

    // Standing still (at the origin, so the float Bernstein weights, which
    // need not sum to exactly 1, leave no rounding residue).
    const Vector3D o(0, 0, 0);
    const Curve still(o, o, o, o);
    EXPECT_TRUE(allNaN(still.curveDirVec(0.5f)));
    EXPECT_TRUE(allNaN(still.curveSideVec(0.5f)));
    EXPECT_TRUE(allNaN(still.curveUpVec(0.5f)));
}
