// Vector3D and Curve: exact values at the edges, NaN where a zero vector is
// normalised, and the moving frame of the curve.
#include "geometry/Curve.h"
#include "geometry/Vector3D.h"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

namespace {

void expectVec(const Vector3D& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

void expectNear(const Vector3D& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

bool allNaN(const Vector3D& v) { return std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z); }

Curve line(Vector3D step) {
    return Curve(Vector3D(0, 0, 0), step, step * 2.0f, step * 3.0f);
}

} // namespace

TEST(Vector3D, ArithmeticIsExactAndCompoundOperatorsReturnCopies) {
    static_assert(std::is_same<decltype(std::declval<Vector3D&>() += Vector3D()), Vector3D>::value,
                  "compound operators return by value");
    static_assert(sizeof(Vector3D[4]) == 12 * sizeof(float), "vectors are packed floats");

    Vector3D a(1, 2, 3);
    const Vector3D b(4, -5, 6);
    expectVec(a + b, 5, -3, 9);
    expectVec(a - b, -3, 7, -3);
    expectVec(a * 2.0f, 2, 4, 6);
    EXPECT_EQ(a.dotProduct(b), 4 - 10 + 18);

    // Division is three true divisions: 0.1f / 10 differs from 0.1f * (1 / 10.f).
    const float tenth = 0.1f, ten = 10.0f;
    const Vector3D q = Vector3D(tenth, tenth, tenth) / ten;
    EXPECT_EQ(q.x, tenth / ten);
    EXPECT_NE(q.x, tenth * (1.0f / ten));
    Vector3D qq(tenth, 0, 0);
    qq /= ten;
    EXPECT_EQ(qq.x, tenth / ten);

    Vector3D r = (a += b);
    expectVec(r, 5, -3, 9);
    r.x = 100;
    EXPECT_EQ(a.x, 5); // the result is a copy
    Vector3D r2 = (a *= 2.0f);
    r2.y = 0;
    expectVec(r2, 10, 0, 18);
    expectVec(a, 10, -6, 18);
    (a -= b) = Vector3D(0, 0, 0); // assigning to the copy leaves a alone
    expectVec(a, 6, -1, 12);
}

TEST(Vector3D, CrossLengthAndNormalize) {
    expectVec(Vector3D(1, 0, 0).crossProduct(Vector3D(0, 1, 0)), 0, 0, 1);
    expectVec(Vector3D(1, 2, 3).crossProduct(Vector3D(2, 4, 6)), 0, 0, 0);
    const Vector3D a(0.3f, -1.7f, 2.2f), b(-4.1f, 0.9f, 1.3f);
    const Vector3D ab = a.crossProduct(b), ba = b.crossProduct(a);
    expectVec(ab, -ba.x, -ba.y, -ba.z);

    EXPECT_EQ(Vector3D(3, 4, 0).length(), 5.0f);

    Vector3D unit(0.6f, 0.8f, 0);
    unit.Normalize();
    expectNear(unit, 0.6f, 0.8f, 0, 1e-7f);
    Vector3D axis(0, 0, -7);
    axis.Normalize();
    expectVec(axis, 0, 0, -1);

    // No zero guard: 0 / 0 in every component.
    Vector3D zero(0, 0, 0);
    zero.Normalize();
    EXPECT_TRUE(allNaN(zero));
}

TEST(Curve, StraightLineGivesTheWorldFrame) {
    const Curve c = line(Vector3D(1, 0, 0));
    EXPECT_EQ(c.degree, 3);
    expectVec(c.vReturnPoint(0.5f), 1.5f, 0, 0);
    expectVec(c.vReturnBezier(0.5f), 1.5f, 0, 0);
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f, 1.7f, -0.4f}) {
        SCOPED_TRACE(t);
        expectNear(c.curveDirVec(t), 1, 0, 0, 1e-6f);
        expectNear(c.curveSideVec(t), 0, 0, 1, 1e-6f);
        expectNear(c.curveSideVec2(t), 0, -1, 0, 1e-6f);
        expectNear(c.curveUpVec(t), 0, 1, 0, 1e-6f);
    }
}

TEST(Curve, EndpointsAndBothFormsAgreeBeyondTheUnitInterval) {
    const Vector3D p0(1, 2, 3), p1(-4, 5, 0.5f), p2(7, -8, 2), p3(0.25f, 9, -6);
    const Curve c(p0, p1, p2, p3);
    expectVec(c.vReturnBezier(0), p0.x, p0.y, p0.z);
    expectVec(c.vReturnBezier(1), p3.x, p3.y, p3.z);
    expectVec(c.vReturnPoint(0), p0.x, p0.y, p0.z);
    expectVec(c.vReturnPoint(1), p3.x, p3.y, p3.z);
    for (float t = -1.0f; t <= 2.0f; t += 0.125f) {
        SCOPED_TRACE(t);
        // The cubic in double as the reference; both forms extrapolate it.
        const double s = 1.0 - t;
        const double w[4] = {s * s * s, 3 * t * s * s, 3.0 * t * t * s, double(t) * t * t};
        const Vector3D* p = c.controlPoints;
        const double ex = w[0] * p[0].x + w[1] * p[1].x + w[2] * p[2].x + w[3] * p[3].x;
        const double ey = w[0] * p[0].y + w[1] * p[1].y + w[2] * p[2].y + w[3] * p[3].y;
        const Vector3D a = c.vReturnPoint(t), b = c.vReturnBezier(t);
        EXPECT_NEAR(a.x, ex, 1e-4 * (1 + std::fabs(ex)));
        EXPECT_NEAR(a.y, ey, 1e-4 * (1 + std::fabs(ey)));
        expectNear(b, a.x, a.y, a.z, 1e-4f * (1 + std::fabs(a.x) + std::fabs(a.y) + std::fabs(a.z)));
    }
}

TEST(Curve, FrameIsOrthogonalAndUpNeverPointsDown) {
    const Curve c(Vector3D(0, 10, 0), Vector3D(5, -3, 8), Vector3D(-6, 4, 2), Vector3D(3, -9, -5));
    for (float t = 0.0f; t <= 1.0f; t += 0.05f) {
        SCOPED_TRACE(t);
        const Vector3D d = c.curveDirVec(t), up = c.curveUpVec(t);
        Vector3D side = c.curveSideVec(t);
        EXPECT_NEAR(d.length(), 1.0f, 1e-6f);
        EXPECT_NEAR(up.length(), 1.0f, 1e-6f);
        // The side vector's length is the horizontal share of the direction.
        EXPECT_NEAR(side.length(), std::sqrt(d.x * d.x + d.z * d.z), 1e-6f);
        EXPECT_EQ(side.y, 0.0f);
        side.Normalize();
        EXPECT_NEAR(side.dotProduct(d), 0, 1e-6f);
        EXPECT_NEAR(up.dotProduct(d), 0, 1e-6f);
        EXPECT_NEAR(up.dotProduct(side), 0, 1e-6f);
        EXPECT_GE(up.y, 0.0f);
        const Vector3D s2 = c.curveSideVec2(t);
        expectNear(s2, d.y, -d.x, 0, 1e-7f);
    }
    // The forward difference runs later minus earlier.
    const Vector3D step = c.vReturnBezier(0.305f) - c.vReturnBezier(0.3f);
    EXPECT_GT(step.dotProduct(c.curveDirVec(0.3f)), 0.0f);
}

TEST(Curve, RisingVerticalAndStillCurves) {
    // d = (0.6, 0.8, 0): the side vector keeps only the horizontal share.
    expectNear(line(Vector3D(3, 4, 0)).curveSideVec(0.5f), 0, 0, 0.6f, 1e-5f);

    // Straight up: no horizontal share, so no side and no up.
    const Curve up = line(Vector3D(0, 2, 0));
    expectNear(up.curveDirVec(0.3f), 0, 1, 0, 1e-6f);
    const Vector3D side = up.curveSideVec(0.3f);
    EXPECT_EQ(side.length(), 0.0f);
    EXPECT_TRUE(allNaN(up.curveUpVec(0.3f)));

    // Four equal points: the curve stands still and the frame is NaN. (At
    // the origin, so that the float Bernstein weights, which need not sum to
    // exactly 1, leave no rounding residue in the difference.)
    const Vector3D p(0, 0, 0);
    const Curve still(p, p, p, p);
    expectVec(still.vReturnBezier(0.7f), 0, 0, 0);
    EXPECT_TRUE(allNaN(still.curveDirVec(0.5f)));
    EXPECT_TRUE(allNaN(still.curveSideVec(0.5f)));
    EXPECT_TRUE(allNaN(still.curveUpVec(0.5f)));
}
