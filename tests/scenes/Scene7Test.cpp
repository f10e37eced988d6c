// Scene 7: the flower swarm's draws from rand() (in the update and in
// scene7advance alike), the camera arcs and their roll, the boiling blob's
// shape and normals, the arrows' swing, the texture-combine mode the scene
// leaves behind, the corner image in its own colours and the fade-in.
#include "scenes/DemoFixture.h"

#include "app/CApplication.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "scenes/SceneChecks.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene7Test : public DemoTest {};

constexpr int kFlowers = 100;

int deadFlowers() {
    int n = 0;
    for (int i = 0; i < kFlowers; ++i) n += scene7Flower(i).z <= 0;
    return n;
}

// Values drawn since srand(seed): the position of the next rand() in the sequence.
int drawnSince(unsigned seed) {
    const int next = std::rand();
    std::srand(seed);
    for (int n = 0; n < 10000; ++n)
        if (std::rand() == next) return n;
    return -1;
}

TEST_F(Scene7Test, ReseedingDrawsDistanceThenHeightFromRand) {
    // A step of 400 ticks ends every sprite; the next frame re-seeds all 100.
    renderAt(95000, 20000);
    ASSERT_EQ(deadFlowers(), kFlowers);
    std::srand(7);
    std::vector<int> sequence(201);
    for (int& v : sequence) v = std::rand();
    std::srand(7);
    renderAt(95100, 100);
    EXPECT_EQ(std::rand(), sequence[200]); // 100 x (z, y)
    for (int i = 0; i < kFlowers; ++i) {
        const Vector3D f = scene7Flower(i);
        ASSERT_FLOAT_EQ(f.z, static_cast<float>(sequence[2 * i] % 192 + 128) - 2) << i; // less one 2-tick step
        ASSERT_FLOAT_EQ(f.y, static_cast<float>(sequence[2 * i + 1] % 1000 - 500) / 400) << i;
    }
    // Distances are now 126..317: the next frame re-seeds none.
    std::srand(7);
    renderAt(95200, 100);
    EXPECT_EQ(std::rand(), sequence[0]);
}

// The catch-up that skips drawing must leave rand() and the swarm where a
// drawn frame leaves them: two values per sprite at or below 0, all moved by skip.
TEST_F(Scene7Test, AdvanceConsumesExactlyWhatAnUpdateDoes) {
    renderAt(96000, 20000);
    renderAt(96100, 100); // all re-seeded at 128..319, less 2
    skip = 150;           // (not a real step) ends about half of them
    scene7advance();
    const int dead = deadFlowers();
    ASSERT_GT(dead, 0);
    ASSERT_LT(dead, kFlowers);
    std::vector<float> before(kFlowers);
    for (int i = 0; i < kFlowers; ++i) before[i] = scene7Flower(i).z;

    std::srand(3);
    skip = 1;
    scene7advance();
    EXPECT_EQ(drawnSince(3), 2 * dead);
    for (int i = 0; i < kFlowers; ++i) {
        if (before[i] > 0) {
            ASSERT_FLOAT_EQ(scene7Flower(i).z, before[i] - 1) << i;
        }
    }

    renderAt(96200, 7500); // skip 150 again
    const int deadNow = deadFlowers();
    std::srand(3);
    renderAt(96250, 50);
    EXPECT_EQ(drawnSince(3), 2 * deadNow);

    // Back as start-up left it (a replay from 0): the whole swarm is seeded again.
    scene7reset();
    std::srand(3);
    scene7advance();
    EXPECT_EQ(drawnSince(3), 2 * kFlowers);
}

TEST_F(Scene7Test, EachArcRunsToOneBeforeItsCut) {
    renderAt(89300);
    EXPECT_EQ(scene7Timeline(), 0.0f);
    for (float cut : {93000.0f, 96800.0f, 100400.0f}) {
        renderAt(cut);
        EXPECT_EQ(scene7Timeline(), 1.0f) << cut;
        renderAt(cut + 1);
        EXPECT_GT(scene7Timeline(), 0.0f) << cut;
        EXPECT_LT(scene7Timeline(), 0.001f) << cut;
    }
    // The last arc is timed for 18600 ms: by the scene's end it is at about 0.19.
    renderAt(103999);
    EXPECT_NEAR(scene7Timeline(), 3599.0f / 18600, 1e-6);
}

// Centre of the blob's pixels: those the full picture's depth buffer holds
// (the blob and the arrows write depth, the sprites do not) that are not black.
std::array<double, 2> blobCentre() {
    std::vector<float> depth(1024 * 768);
    glReadPixels(0, 0, 1024, 768, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    const Frame f;
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            const auto p = f.at(x, y);
            if (depth[static_cast<size_t>(767 - y) * 1024 + x] < 1 && p[0] > 80 && p[0] > p[1] + 40) {
                sx += x;
                sy += y;
                ++n;
            }
        }
    EXPECT_GT(n, 2000);
    return {sx / n, sy / n};
}

// The camera aims 20 units above the blob with world x up on screen: seen
// from the +z side (arcs 0 and 2) the blob lies right of the middle, from
// the -z side (arcs 1 and 3) left of it, and in both at mid height.
TEST_F(Scene7Test, CameraIsRolledSoThatWorldXPointsUp) {
    for (double ms : {89900.0, 93700.0, 97400.0, 101500.0}) {
        renderAt(ms);
        const auto c = blobCentre();
        const bool plusZ = ms < 93000 || (ms > 96800 && ms < 100400);
        if (plusZ)
            EXPECT_GT(c[0], 600) << ms;
        else
            EXPECT_LT(c[0], 424) << ms;
        EXPECT_NEAR(c[1], 384, 80) << ms;
    }
}

TEST_F(Scene7Test, BlobIsTheUnitSpherePushedByThreeWavesWithFreshNormals) {
    for (float ms : {90000.0f, 97123.0f, 90000.0f}) {
        renderAt(ms);
        const Mesh* blob = scene7Blob();
        ASSERT_EQ(blob->verticeAmount, 65u * 65u);
        const double t = ms;
        const double a1 = std::sin(t / 550) * 5 + 6, a2 = std::cos(t / 910 + 0.8) * 5 + 6,
                     a3 = std::cos(t / 830) * 5 + 6;
        for (unsigned v : {0u, 100u, 2112u, 3000u, 4224u}) {
            const Vector3D r = blob->savedVertices[v];
            ASSERT_NEAR(std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z), 1.0, 1e-5) << "rest shape kept";
            const double w = std::sin(r.x * a1 + t / 300) + std::cos(r.y * a2 + t / 350) + std::cos(r.z * a3 + t / 280);
            const double k = (w * 0.4 + 0.7) * 10; // radius 4 w + 7
            EXPECT_NEAR(blob->vertices[v].x, r.x * k, 5e-3) << v << " at " << ms;
            EXPECT_NEAR(blob->vertices[v].y, r.y * k, 5e-3) << v << " at " << ms;
            EXPECT_NEAR(blob->vertices[v].z, r.z * k, 5e-3) << v << " at " << ms;
        }
    }
    // The normals belong to the deformed shape, not to the sphere.
    const Mesh* blob = scene7Blob();
    Mesh copy;
    copy.makeSphere(1, 64);
    for (unsigned v = 0; v < copy.verticeAmount; ++v) copy.vertices[v] = blob->vertices[v];
    copy.createNormals();
    double differsFromRadial = 0;
    for (unsigned v = 0; v < copy.verticeAmount; ++v) {
        ASSERT_NEAR(blob->vertexNormals[v].x, copy.vertexNormals[v].x, 1e-6) << v;
        ASSERT_NEAR(blob->vertexNormals[v].y, copy.vertexNormals[v].y, 1e-6) << v;
        ASSERT_NEAR(blob->vertexNormals[v].z, copy.vertexNormals[v].z, 1e-6) << v;
        const Vector3D& r = blob->savedVertices[v];
        differsFromRadial += std::fabs(std::fabs(copy.vertexNormals[v].dotProduct(r)) - 1);
    }
    EXPECT_GT(differsFromRadial / copy.verticeAmount, 0.05);
}

TEST(Scene7ArrowTest, CurvesSwingAQuarterTurnPerArrowAndHeadsRunEveryFiveSeconds) {
    // Arrow 1's curve is arrow 0's a quarter turn (700 x pi/2 ms) later;
    // arrows i and i + 4 share a curve.
    const float ms = 91234;
    for (int i = 0; i < 3; ++i) {
        const Curve later = scene7ArrowCurve(i, ms + 700 * 1.570795f), next = scene7ArrowCurve(i + 1, ms);
        for (int p = 0; p < 4; ++p) {
            EXPECT_NEAR(later.controlPoints[p].x, next.controlPoints[p].x, 2e-3) << i << " P" << p;
            EXPECT_NEAR(later.controlPoints[p].y, next.controlPoints[p].y, 2e-3) << i << " P" << p;
            EXPECT_NEAR(later.controlPoints[p].z, next.controlPoints[p].z, 2e-3) << i << " P" << p;
        }
        const Curve same = scene7ArrowCurve(i + 4, ms), own = scene7ArrowCurve(i, ms);
        // (pi is 3.14159 here: a whole turn falls short by 5e-6 radians.)
        for (int p = 0; p < 4; ++p) EXPECT_NEAR(same.controlPoints[p].x, own.controlPoints[p].x, 1e-3);
    }
    const Curve c = scene7ArrowCurve(0, 0);
    EXPECT_EQ(c.controlPoints[0].y, -100);
    EXPECT_EQ(c.controlPoints[3].y, 140);
    EXPECT_FLOAT_EQ(c.controlPoints[1].z, 30);                 // theta 0: (30 sin, 0, 30 cos)
    EXPECT_NEAR(c.controlPoints[2].x, 30, 1e-4);               // theta + quarter: 30 sin ...
    EXPECT_NEAR(c.controlPoints[2].z, 50 * std::cos(1.570795), 1e-4); // ... and 50 cos
    EXPECT_EQ(c.controlPoints[2].y, 30);

    EXPECT_FLOAT_EQ(scene7ArrowHead(0, 90000), -2500.0f / 1500);
    EXPECT_FLOAT_EQ(scene7ArrowHead(4, 90000), 0);                // half a period behind
    EXPECT_FLOAT_EQ(scene7ArrowHead(0, 94999.9f), 2499.0f / 1500); // truncated towards zero
    EXPECT_FLOAT_EQ(scene7ArrowHead(0, 95000), -2500.0f / 1500);   // and from the bottom again
    EXPECT_FLOAT_EQ(scene7ArrowHead(1, 90000), (625.0f - 2500) / 1500);
}

TEST_F(Scene7Test, TexturedDrawsKeepTheImagesOwnColoursFromHereOn) {
    renderAt(92500);
    demotest::expectCombineModeLeft();

    // The flowers image is drawn in black, yet shows its blossoms and stems
    // in their own light colours over the white ground: no dark pixels.
    const Frame f;
    int dark = 0, coloured = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const auto p = f.at(x, y);
            dark += p[0] < 60 && p[1] < 60 && p[2] < 60;
            coloured += p[0] < 235 || p[1] < 235;
        }
    EXPECT_EQ(dark, 0);
    EXPECT_GT(coloured, 1000);
}

TEST_F(Scene7Test, OpensOutOfWhite) {
    renderAt(89300);
    const Frame f;
    for (int y = 0; y < 768; y += 8)
        for (int x = 0; x < 1024; x += 8)
            if (!(x >= 896 && y >= 640)) {
                const auto p = f.at(x, y);
                ASSERT_GE(std::min({p[0], p[1], p[2]}), 254) << x << "," << y;
            }
    renderAt(90300); // the fade is over: the blob shows
    EXPECT_GT(blobCentre()[0], 512);
}

} // namespace
