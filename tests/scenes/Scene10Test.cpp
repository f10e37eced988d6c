// Scene 10: the road's layout, its crumbling row by row, the camera
// stretches, the blur flashes, the talking head's pose and spectrum, the
// corner silhouette and the opening curtain.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "geometry/Curve.h"
#include "geometry/mesh.h"
#include "image/Texture.h"
#include "scenes/SceneShared.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

constexpr int kBlocks = 1200;

class Scene10Test : public DemoTest {
  protected:
    // Every test starts from a road that has not crumbled yet.
    void SetUp() override {
        DemoTest::SetUp();
        if (!IsSkipped())
            scene10reset();
    }
};

const Curve track({-10, 10, 10}, {10, 70, 5}, {30, 40, 5}, {50, 10, 15});
const Curve arrowi({0, 20, 20}, {10, 80, 15}, {30, 50, 20}, {50, 20, 25});

Vector3D corner(int block, int c) {
    return scene10BlockPositions()[block] + scene10Blocks()[block].vertices[c];
}

void expectNear(const Vector3D& a, const Vector3D& b, float tolerance, const char* what) {
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// --- The road's layout -----------------------------------------------------

TEST_F(Scene10Test, BlocksOnAStraightSpineLieFourAbreastInCornerOrder) {
    // Along +x the side vector is +z and the up vector +y: block j of row i
    // spans x from 30 t to 30 (t + 0.01), z from -3 + 1.5 j to -1.5 + 1.5 j
    // and y from -0.75 to 0.75.
    Curve line({0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0});
    generateCubes(&line);
    float t = 0;
    for (int i = 0; i < 300; ++i, t += 0.01f)
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * i + j;
            const float x1 = 30 * t, x2 = 30 * (t + 0.01f), z = -3 + 1.5f * j;
            const Vector3D expected[8] = {{x1, 0.75f, z},  {x1, 0.75f, z + 1.5f}, {x1, -0.75f, z + 1.5f},
                                          {x1, -0.75f, z}, {x2, 0.75f, z + 1.5f}, {x2, 0.75f, z},
                                          {x2, -0.75f, z}, {x2, -0.75f, z + 1.5f}};
            for (int c = 0; c < 8; ++c) {
                const Vector3D v = corner(k, c);
                ASSERT_NEAR(v.x, expected[c].x, 2e-4) << "block " << k << " corner " << c;
                ASSERT_NEAR(v.y, expected[c].y, 2e-4) << "block " << k << " corner " << c;
                ASSERT_NEAR(v.z, expected[c].z, 2e-4) << "block " << k << " corner " << c;
            }
            // Each mesh is centred on its own origin; its place is the position.
            const Vector3D centre = scene10Blocks()[k].getCenter();
            EXPECT_NEAR(centre.length(), 0, 1e-4);
            EXPECT_NEAR(scene10BlockPositions()[k].z, -2.25f + 1.5f * j, 1e-5);
        }
}

TEST_F(Scene10Test, TheRoadIsThreeHundredJoinedRowsAndTheLastStartsJustBelow299) {
    for (int i = 0; i < 300; ++i)
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * i + j;
            if (j < 3) { // the next block starts where this one ends
                expectNear(corner(k, 1), corner(k + 1, 0), 1e-3f, "side");
                expectNear(corner(k, 2), corner(k + 1, 3), 1e-3f, "side");
                expectNear(corner(k, 4), corner(k + 1, 5), 1e-3f, "side");
            }
            if (i < 299) { // the next row starts where this one ends
                expectNear(corner(k, 5), corner(k + 4, 0), 1e-3f, "row");
                expectNear(corner(k, 6), corner(k + 4, 3), 1e-3f, "row");
            }
        }
    // The 300th row starts at the accumulated parameter 2.98999763, not 2.99
    // (the two lie 0.0026 apart in height up there), and ends at 2.99999762,
    // close to (170, 550, 235) where the road climbs into the fog.
    float t = 0;
    for (int i = 0; i < 299; ++i)
        t += 0.01f;
    ASSERT_LT(t, 2.99f);
    auto nearCorner0 = [](float at) {
        return track.vReturnPoint(at) - track.curveSideVec(at) * 3 + track.curveUpVec(at) * 3 * 0.25f;
    };
    expectNear(corner(1196, 0), nearCorner0(t), 6e-4f, "row 299 corner 0");
    EXPECT_GT(std::fabs(corner(1196, 0).y - nearCorner0(2.99f).y), 2e-3f);
    const Vector3D end = (corner(1199, 4) + corner(1196, 5)) * 0.5f;
    EXPECT_NEAR(end.x, 170, 1.5f);
    EXPECT_NEAR(end.y, 550, 1.5f);
    EXPECT_NEAR(end.z, 235, 1.5f);
    // Nothing is left as the unit cube it was made as.
    for (int k = 0; k < kBlocks; ++k) {
        const Vector3D v = scene10Blocks()[k].vertices[0];
        EXPECT_FALSE(v.x == -1 && v.y == 1 && v.z == 1) << k;
    }
}

// --- Crumbling ------------------------------------------------------------

bool isLoose(int row) {
    for (int j = 0; j < 4; ++j) {
        const Vector3D& spin = scene10BlockSpins()[4 * row + j];
        if (spin.x != 0 || spin.z != 0)
            return true;
    }
    return false;
}

TEST_F(Scene10Test, RowIBreaksLooseOnceTheMusicPasses59600Plus100I) {
    const std::vector<Vector3D> whole(scene10BlockPositions(), scene10BlockPositions() + kBlocks);
    renderAt(59600); // r = 0: nothing moves
    for (int row = 0; row < 300; ++row)
        ASSERT_FALSE(isLoose(row)) << row;
    renderAt(59700); // r = 1: row 0 only
    EXPECT_TRUE(isLoose(0));
    EXPECT_FALSE(isLoose(1));
    renderAt(59700.01); // just past: row 1 too
    EXPECT_TRUE(isLoose(1));
    EXPECT_FALSE(isLoose(2));
    renderAt(89299.99); // the last frame: rows 0 to 296 loose, 297 to 299 in place
    for (int row = 0; row < 300; ++row)
        EXPECT_EQ(isLoose(row), row <= 296) << row;
    // Playing again from 0 starts from the whole road.
    scene10reset();
    for (int row = 0; row < 300; ++row)
        ASSERT_FALSE(isLoose(row)) << row;
    for (int k = 0; k < kBlocks; ++k)
        ASSERT_EQ(scene10BlockMotions()[k].y, 0) << k;
    for (int k = 0; k < kBlocks; k += 4)
        ASSERT_EQ(scene10BlockPositions()[k].y, whole[k].y) << k;
}

TEST_F(Scene10Test, AFreedRowSpinsFirstThenDriftsAndFallsFasterEveryFrame) {
    const std::vector<Vector3D> start(scene10BlockPositions(), scene10BlockPositions() + kBlocks);
    const int row = 3;
    // First free frame (20 ms, skip 0.4): the spin starts and the speeds are
    // set, but the block stays where it was.
    renderAt(59900.5, 20);
    for (int j = 0; j < 4; ++j) {
        const int k = 4 * row + j;
        const float phi = 0.5f * row + 0.7f * j;
        EXPECT_EQ(scene10BlockPositions()[k].x, start[k].x);
        EXPECT_EQ(scene10BlockPositions()[k].y, start[k].y);
        EXPECT_FLOAT_EQ(scene10BlockSpins()[k].x, sinf(phi) * 0.4f * 20);
        EXPECT_FLOAT_EQ(scene10BlockSpins()[k].z, cosf(phi) * 0.4f * 20);
        EXPECT_FLOAT_EQ(scene10BlockMotions()[k].x, sinf(phi));
        EXPECT_FLOAT_EQ(scene10BlockMotions()[k].y, cosf(0.1f * j) * 0.4f * 0.2f);
    }
    EXPECT_FALSE(isLoose(row + 1));
    // A long frame (1 s, skip 20): every block moves by the speeds of the
    // previous frame times 20, and its fall speed grows by 0.2 cos(0.1 j) x 20.
    const std::vector<Vector3D> before(scene10BlockPositions(), scene10BlockPositions() + kBlocks);
    const std::vector<Vector3D> speed(scene10BlockMotions(), scene10BlockMotions() + kBlocks);
    renderAt(59920.5, 1000);
    for (int j = 0; j < 4; ++j) {
        const int k = 4 * row + j;
        EXPECT_FLOAT_EQ(scene10BlockPositions()[k].y, before[k].y - speed[k].y * 20);
        EXPECT_FLOAT_EQ(scene10BlockPositions()[k].x, before[k].x + speed[k].x * 20);
        EXPECT_EQ(scene10BlockPositions()[k].z, start[k].z);
        EXPECT_NEAR(scene10BlockMotions()[k].y, speed[k].y + cosf(0.1f * j) * 4, 1e-5);
    }
    // Column 0 falls fastest and column 3 slowest, and nothing comes back.
    float previousDrop = 1e9f;
    for (int j = 0; j < 4; ++j) {
        const int k = 4 * row + j;
        const float drop = start[k].y - scene10BlockPositions()[k].y;
        EXPECT_LT(drop, previousDrop) << j;
        previousDrop = drop;
    }
    for (int frame = 1; frame <= 10; ++frame) {
        const std::vector<Vector3D> last(scene10BlockPositions(), scene10BlockPositions() + kBlocks);
        renderAt(59920.5 + 100 * frame, 100);
        for (int k = 0; k < 4 * (row + 1); ++k)
            ASSERT_LT(scene10BlockPositions()[k].y, last[k].y) << k;
    }
}

// --- Camera ---------------------------------------------------------------

TEST_F(Scene10Test, CameraStretchesSwitchAtTheirStartTimes) {
    const float starts[7] = {63100, 67000, 70700, 74100, 78000, 81900, 85500};
    renderAt(59600);
    EXPECT_EQ(scene10Camera(), 0);
    for (int i = 0; i < 7; ++i) {
        renderAt(starts[i] - 0.01);
        EXPECT_EQ(scene10Camera(), i) << starts[i];
        renderAt(starts[i]);
        EXPECT_EQ(scene10Camera(), i + 1) << starts[i];
    }
    renderAt(89299.99);
    EXPECT_EQ(scene10Camera(), 7);
}

TEST_F(Scene10Test, TheEyeRisesThroughTheFloorAfter459Ms) {
    renderAt(59600);
    EXPECT_NEAR(scene10Eye().y, -60.73f, 0.01f);
    renderAt(60058);
    EXPECT_LT(scene10Eye().y, -30);
    renderAt(60059);
    EXPECT_GT(scene10Eye().y, -30);
}

TEST_F(Scene10Test, EyeRidesTheRailThenTheRoadAndLooksAtTheCrumblingEdge) {
    // One moment in each stretch: the eye on the rail at a parameter, or at a
    // road point a little ahead or behind, lifted (up) and moved sideways.
    struct Case {
        float ms, at, up, side;
    };
    const Case cases[8] = {{61000, 0.28f - 0.3f, 0, 0},    {65000, 1.08f + 0.2f, 0, 0},
                           {69000, 0.94f - 0.2f, 0, 0},    {72000, 1.24f + 0.2f, 0, 0},
                           {76000, 1.64f + 0.1f, 5, 0},    {80000, 2.04f + 0.05f, 15, -3},
                           {83000, 2.34f + 0.03f, -5, 18}, {87000, 2.74f - 0.018f, 5, -20}};
    for (int s = 0; s < 8; ++s) {
        const Case& c = cases[s];
        renderAt(c.ms);
        ASSERT_EQ(scene10Camera(), s);
        const Vector3D road =
            track.vReturnPoint(c.at) + track.curveUpVec(c.at) * c.up + track.curveSideVec(c.at) * c.side;
        expectNear(scene10Eye(), s < 4 ? arrowi.vReturnPoint(c.at) : road, 2e-3f, "eye");
        // Row i breaks loose at 59600 + 100 i ms and spans the spine from i / 100:
        // the look-at point is on the row breaking now.
        expectNear(scene10LookAt(), track.vReturnPoint((c.ms - 59600) / 10000), 1e-3f, "look-at");
    }
}

// --- Flashes and blur: the full-screen layers a frame draws ----------------

// Alphas above 0 (a layer at 0 or below changes no pixel) of the full-screen
// quads of the frame at `ms` (glow, blur flash, closing blur), in drawing
// order, from GL feedback. Each quad arrives as two triangles.
std::vector<float> visibleLayers(double ms) {
    static std::vector<GLfloat> buffer(1 << 23);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    renderAt(ms);
    const int n = glRenderMode(GL_RENDER);
    EXPECT_GT(n, 0) << "feedback buffer overflow at " << ms;
    std::vector<float> alphas;
    constexpr int kVertex = 7; // x, y, z, r, g, b, a
    int halves = 0;
    for (int i = 0; i < n; i += 2 + static_cast<int>(buffer[i + 1]) * kVertex) {
        EXPECT_EQ(buffer[i], GL_POLYGON_TOKEN);
        const int corners = static_cast<int>(buffer[i + 1]);
        const GLfloat* v = &buffer[i + 2];
        float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
        for (int c = 0; c < corners; ++c) {
            x0 = std::min(x0, v[c * kVertex]), x1 = std::max(x1, v[c * kVertex]);
            y0 = std::min(y0, v[c * kVertex + 1]), y1 = std::max(y1, v[c * kVertex + 1]);
        }
        if (x0 < 0.01f && x1 > 1023.99f && y0 < 0.01f && y1 > 767.99f && halves++ % 2 == 0 && v[6] > 0)
            alphas.push_back(v[6]);
    }
    return alphas;
}

TEST_F(Scene10Test, EveryCutFromTheSecondOnFlashesAndTheLastStretchBlursAway) {
    using V = std::vector<float>;
    // 63100: the first cut has no flash, only the glow.
    EXPECT_EQ(visibleLayers(63100), V({1}));
    for (float cut : {67000.0f, 70700.0f, 74100.0f, 78000.0f, 81900.0f}) {
        EXPECT_EQ(visibleLayers(cut), V({1, 1})) << cut;
        const V half = visibleLayers(cut + 250);
        ASSERT_EQ(half.size(), 2u) << cut;
        EXPECT_NEAR(half[1], 0.5f, 1e-4);
        EXPECT_EQ(visibleLayers(cut + 500), V({1})) << cut;
        EXPECT_EQ(visibleLayers(cut - 1), V({1})) << cut;
    }
    // 85500: the flash at full and the closing blur at 0; 100 ms on both show.
    EXPECT_EQ(visibleLayers(85500), V({1, 1}));
    const V both = visibleLayers(85600);
    ASSERT_EQ(both.size(), 3u);
    EXPECT_NEAR(both[1], 0.8f, 1e-4);
    EXPECT_NEAR(both[2], 100.0f / 3800, 1e-4);
    const V end = visibleLayers(89299);
    ASSERT_EQ(end.size(), 2u);
    EXPECT_NEAR(end[1], 1 - 1.0f / 3800, 1e-4);
}

// --- Talking head ---------------------------------------------------------

TEST_F(Scene10Test, HeadRunsThroughSixteenPosesAndBobs) {
    // Pose n lasts from 59600 + 1856.25 n ms; 1856.25 x 16 = 29700 exactly.
    for (int n = 0; n < 16; ++n) {
        for (double ms : {59600 + 1856.25 * n, 59600 + 1856.25 * (n + 1) - 0.5}) {
            renderAt(ms);
            const float* pose = scene10HeadPose();
            const float bob = sinf(static_cast<float>(ms) / 500) * 0.03f + 0.03f;
            EXPECT_EQ(pose[0], heads[n % 7][0]) << ms;
            EXPECT_FLOAT_EQ(pose[1], heads[n % 7][1] - bob) << ms;
            EXPECT_EQ(pose[2], heads[n % 7][2]) << ms;
        }
    }
    renderAt(89299.99); // the last frame: row 1
    EXPECT_EQ(scene10HeadPose()[2], heads[1][2]);
    // The bob stays within 0 to 0.06 below the pose.
    renderAt(500 * (3.14159265 / 2 + 2 * 3.14159265 * 19)); // sin(demoMS / 500) = 1 at 60475.7
    EXPECT_NEAR(scene10HeadPose()[1], heads[0][1] - 0.06f, 1e-4);
}

// Head-plane point (units at the head's depth, 1.5 in front of the eye) of a
// feedback window position: the 45-degree, aspect-1.25 projection over 1024 x 768.
Vector3D headPlane(float wx, float wy) {
    const float f = 1 / std::tan(22.5f * 3.14159265f / 180);
    const float sx = 512 * f / 1.25f / 1.5f, sy = 384 * f / 1.5f;
    return Vector3D((wx - 512) / sx, (wy - 384) / sy, 0);
}

// The seam corners of the two head quads, told apart by their texture
// coordinates: the lower part's top edge has t = 0, the upper part's bottom
// edge t = 1, and s = 0 is on the left. In the poses used here every other
// corner lies off the screen (the parts reach past its edges).
enum { kLowerLeft, kLowerRight, kUpperLeft, kUpperRight };

std::array<Vector3D, 4> drawHead(float x, float y, float angle, float f4, float f5, float f6) {
    frequencies[4] = f4, frequencies[5] = f5, frequencies[6] = f6;
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    // The two whole quads (the picture draws only their parts of non-zero
    // alpha, which the invisible-layers tests compare with these).
    skipInvisibleWork = false;
    renderTalkingHead(x, y, angle);
    skipInvisibleWork = true;
    const int n = glRenderMode(GL_RENDER);
    frequencies[4] = frequencies[5] = frequencies[6] = 0;
    constexpr int kVertex = 11; // x, y, z, r, g, b, a, s, t, r, q
    std::array<Vector3D, 4> seam;
    int found[4] = {};
    for (int i = 0; i < n; i += 2 + static_cast<int>(buffer[i + 1]) * kVertex) {
        EXPECT_EQ(buffer[i], GL_POLYGON_TOKEN);
        for (int c = 0; c < static_cast<int>(buffer[i + 1]); ++c) {
            const GLfloat* v = &buffer[i + 2 + kVertex * c];
            const bool onEdge = v[0] < 0.01f || v[0] > 1023.99f || v[1] < 0.01f || v[1] > 767.99f;
            if (onEdge || (v[7] != 0 && v[7] != 1) || (v[8] != 0 && v[8] != 1))
                continue;
            const int corner = (v[8] == 0 ? kLowerLeft : kUpperLeft) + (v[7] == 1);
            seam[corner] = headPlane(v[0], v[1]);
            found[corner] = 1;
        }
    }
    EXPECT_EQ(found[0] + found[1] + found[2] + found[3], 4);
    return seam;
}

float degreesOf(const Vector3D& v) {
    return std::atan2(v.y, v.x) * 180 / 3.14159265f;
}

TEST_F(Scene10Test, HeadTurnsAtItsPoseAndOpensWithTheSpectrum) {
    // Silent: the upper part sits exactly on the lower one, the seam 0.84 wide.
    auto h = drawHead(0, 0, 0, 0, 0, 0);
    expectNear(h[kLowerLeft], Vector3D(-0.42f, 0, 0), 1e-4f, "seam left");
    expectNear(h[kLowerRight], Vector3D(0.42f, 0, 0), 1e-4f, "seam right");
    expectNear(h[kUpperLeft], h[kLowerLeft], 1e-4f, "upper left");
    expectNear(h[kUpperRight], h[kLowerRight], 1e-4f, "upper right");

    // Bands 4 to 6 at 0.5 each: no tilt, lifted by a tenth of their sum.
    h = drawHead(0, 0, 0, 0.5f, 0.5f, 0.5f);
    expectNear(h[kUpperLeft], Vector3D(-0.42f, 0.15f, 0), 1e-4f, "lifted left");
    expectNear(h[kUpperRight], Vector3D(0.42f, 0.15f, 0), 1e-4f, "lifted right");
    expectNear(h[kLowerLeft], Vector3D(-0.42f, 0, 0), 1e-4f, "lower stays");

    // Band 5 above band 4 by 0.25: tilted 20 degrees about the pose point and
    // lifted by 0.045 along the tilted up direction.
    h = drawHead(0, 0, 0, 0.1f, 0.35f, 0);
    const float tilt = 20 * 3.14159265f / 180;
    EXPECT_NEAR(degreesOf(h[kUpperRight] - h[kUpperLeft]), 20, 0.01);
    EXPECT_NEAR((h[kUpperRight] - h[kUpperLeft]).length(), 0.84f, 1e-4);
    expectNear((h[kUpperLeft] + h[kUpperRight]) * 0.5f,
               Vector3D(-0.045f * sinf(tilt), 0.045f * cosf(tilt), 0), 1e-4f, "tilted lift");

    // Pose (0.05, -0.1) at 10 degrees: the offset is turned with the head
    // about the view axis, and the seam runs at 10 degrees.
    h = drawHead(0.05f, -0.1f, 10, 0, 0, 0);
    const float c = cosf(10 * 3.14159265f / 180), s = sinf(10 * 3.14159265f / 180);
    expectNear((h[kLowerLeft] + h[kLowerRight]) * 0.5f,
               Vector3D(0.05f * c + 0.1f * s, 0.05f * s - 0.1f * c, 0), 1e-4f, "pose point");
    EXPECT_NEAR(degreesOf(h[kLowerRight] - h[kLowerLeft]), 10, 0.01);
    expectNear(h[kUpperLeft], h[kLowerLeft], 1e-4f, "upper on lower");
}

// --- Overlays and transitions ---------------------------------------------

bool isCurtain(std::array<int, 3> p) {
    return std::abs(p[0] - 153) <= 3 && std::abs(p[1] - 128) <= 3 && std::abs(p[2] - 77) <= 3;
}

int curtainPixels(const Frame& f, int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; y += 8)
        for (int x = 0; x < 896; x += 8)
            n += isCurtain(f.at(x, y));
    return n;
}

TEST_F(Scene10Test, OpensBehindTheFullCurtainWhichFallsAwayInHalfASecond) {
    renderAt(59600); // parameter 1: Scene 6 closed on the same full curtain
    const Frame full;
    EXPECT_EQ(curtainPixels(full, 0, 768), 112 * 96);
    renderAt(59633); // parameter 0.934: at most the top 60 rows are free
    EXPECT_EQ(curtainPixels(Frame(), 64, 768), 112 * 88);
    renderAt(60099); // only the crests along the bottom, at 0.6 opacity
    EXPECT_EQ(curtainPixels(Frame(), 0, 600), 0);
    renderAt(60100); // no longer called
    EXPECT_EQ(curtainPixels(Frame(), 0, 768), 0);
}

TEST_F(Scene10Test, TrashSilhouetteDarkensTheCornerByHalfThroughItsMask) {
    renderAt(87000); // the upper-left corner shows the white fog here
    const Frame f;
    std::vector<unsigned char> t(512 * 512 * 4);
    engine->textureManager->bind(engine->textures[kSlotTrash]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
    int opaque = 0, halved = 0;
    for (int y = 1; y < 511; y += 3)
        for (int x = 1; x < 511; x += 3) {
            int least = 255; // the texel and its neighbours
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    least = std::min<int>(least, t[((y + dy) * 512 + x + dx) * 4 + 3]);
            if (least < 235)
                continue;
            // Texel row y lands on pixel row 511 - y (first row at the bottom);
            // black at half its opacity leaves at most 1 - a / 2 of the picture.
            const auto p = f.at(x, 511 - y);
            for (int c : p)
                EXPECT_LE(c, 255 - least / 2 + 2) << x << "," << y;
            ++opaque;
            // Over the white fog: exactly 1 - a / 2 of white.
            halved += std::abs(p[1] - (255 - t[(y * 512 + x) * 4 + 3] / 2)) <= 2;
        }
    EXPECT_GT(opaque, 20);
    EXPECT_GT(halved, opaque / 2);
}

} // namespace
