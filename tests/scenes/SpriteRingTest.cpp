// The ring measured on a sprite's mask: every point where a bilinear sample
// of the mask can be non-zero lies between its hole and its outline, for
// masks of several shapes; a mask that reaches the edge keeps the square.
#include "scenes/LayerStack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr float kHalf = 4;

struct Mask {
    int w, h;
    std::vector<unsigned char> rgba;
    Mask(int w_, int h_, const std::function<bool(double, double)>& on) : w(w_), h(h_), rgba(4 * w_ * h_, 255) {
        // (x, y) of a texel centre in the square's units, y up, row 0 at the top.
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const double x = (i + 0.5) * 2 * kHalf / w - kHalf, y = kHalf - (j + 0.5) * 2 * kHalf / h;
                rgba[4 * (j * w + i) + 3] = on(x, y) ? 200 : 0;
            }
    }
    int alpha(int i, int j) const {
        i = ((i % w) + w) % w, j = ((j % h) + h) % h; // GL_REPEAT
        return rgba[4 * (j * w + i) + 3];
    }
    // Whether a bilinear sample at (x, y) reads any texel of non-zero alpha.
    bool reachesNonZero(double x, double y) const {
        const double u = (x + kHalf) / (2 * kHalf) * w - 0.5, v = (kHalf - y) / (2 * kHalf) * h - 0.5;
        const int i = static_cast<int>(std::floor(u)), j = static_cast<int>(std::floor(v));
        return alpha(i, j) || alpha(i + 1, j) || alpha(i, j + 1) || alpha(i + 1, j + 1);
    }
};

// Whether (x, y) lies inside the polygon whose corner k sits at radius r(k)
// in the direction of the ring's corner k: the fan of triangles from the
// centre, one per side; its edge counts as inside unless `strictly`.
bool insidePolygon(const SpriteRing& ring, const std::function<float(int)>& r, double x, double y,
                   bool strictly) {
    for (int k = 0; k < ring.sides; ++k) {
        const double ax = r(k) * ring.cos[k], ay = r(k) * ring.sin[k];
        const double bx = r(k + 1) * ring.cos[k + 1], by = r(k + 1) * ring.sin[k + 1];
        const double d1 = ax * y - ay * x, d2 = (bx - ax) * (y - ay) - (by - ay) * (x - ax), d3 = x * by - y * bx;
        const double least = std::fmin(d1, std::fmin(d2, d3));
        if (strictly ? least > 0 : least >= 0) return true;
    }
    return false;
}

// Every point of a fine grid over the square that samples non-zero alpha
// lies inside the outline and outside the hole.
void expectRingHoldsTheMask(const Mask& m, int sides, const char* what) {
    const SpriteRing ring = measureSpriteRing(m.rgba.data(), m.w, m.h, kHalf, sides);
    ASSERT_EQ(ring.sides, sides) << what;
    auto outer = [&](int) { return ring.rOut; };
    auto inner = [&](int k) { return ring.rIn[k % sides]; };
    int nonZero = 0, outside = 0, inHole = 0, inRoundHole = 0;
    for (double y = -kHalf; y < kHalf; y += 0.013)
        for (double x = -kHalf; x < kHalf; x += 0.013) {
            if (!m.reachesNonZero(x, y)) continue;
            ++nonZero;
            outside += !insidePolygon(ring, outer, x, y, false);
            inHole += insidePolygon(ring, inner, x, y, true);
            inRoundHole += std::hypot(x, y) < ring.roundHole;
        }
    EXPECT_GT(nonZero, 1000) << what;
    EXPECT_EQ(outside, 0) << what;
    EXPECT_EQ(inHole, 0) << what;
    EXPECT_EQ(inRoundHole, 0) << what;
}

TEST(SpriteRingTest, TheRingHoldsEverySampleOfNonZeroAlpha) {
    const Mask annulus(64, 64, [](double x, double y) {
        const double r = std::hypot(x, y);
        return r > 1.0 && r < 2.9;
    });
    expectRingHoldsTheMask(annulus, 8, "annulus, 8 sides");
    expectRingHoldsTheMask(annulus, 16, "annulus, 16 sides");

    // A ring off the centre with a notch: the hole differs from sector to sector.
    const Mask lopsided(128, 96, [](double x, double y) {
        const double r = std::hypot(x - 0.3, y + 0.2);
        return r > 1.0 && r < 2.5 && !(x > 0 && std::fabs(y) < 0.4);
    });
    expectRingHoldsTheMask(lopsided, 8, "lopsided, 8 sides");
    const SpriteRing ring = measureSpriteRing(lopsided.rgba.data(), lopsided.w, lopsided.h, kHalf, 8);
    float least = ring.rIn[0], most = ring.rIn[0];
    for (int k = 1; k < 8; ++k) least = std::fmin(least, ring.rIn[k]), most = std::fmax(most, ring.rIn[k]);
    EXPECT_EQ(ring.roundHole, least);
    EXPECT_GT(most, least + 0.3f) << "the hole is measured sector by sector";

    // A solid disc: no hole, an outline all the same.
    const Mask disc(64, 64, [](double x, double y) { return std::hypot(x, y) < 3; });
    expectRingHoldsTheMask(disc, 8, "disc");
    EXPECT_EQ(measureSpriteRing(disc.rgba.data(), 64, 64, kHalf, 8).roundHole, 0.0f);
}

TEST(SpriteRingTest, AMaskThatReachesTheEdgeOrNoImageKeepsTheSquare) {
    const Mask corner(64, 64, [](double x, double y) { return x > 3.8 && y > 3.8; });
    EXPECT_EQ(measureSpriteRing(corner.rgba.data(), 64, 64, kHalf, 8).sides, 0);
    const Mask full(64, 64, [](double, double) { return true; });
    EXPECT_EQ(measureSpriteRing(full.rgba.data(), 64, 64, kHalf, 8).sides, 0);
    // Just inside: a texel's reach from the edge still fits.
    const Mask inside(64, 64, [](double x, double y) { return std::hypot(x, y) < 3.2; });
    EXPECT_EQ(measureSpriteRing(inside.rgba.data(), 64, 64, kHalf, 8).sides, 8);
    // No image, or a side count the ring has no room for.
    EXPECT_EQ(measureSpriteRing(nullptr, 0, 0, kHalf, 8).sides, 0);
    EXPECT_EQ(measureSpriteRing(inside.rgba.data(), 64, 64, kHalf, kMaxRingSides + 1).sides, 0);
    EXPECT_EQ(measureSpriteRing(inside.rgba.data(), 64, 64, kHalf, 2).sides, 0);
}

} // namespace
