// Scene 3: segments and cuts, the blur that clears after a cut, the road's
// LED cycle, which tower pairs stand, what renderHouse sends to GL, the
// head's poses, the corner butterfly and the fade from white.
#include "scenes/SceneChecks.h"

#include "geometry/Curve.h"
#include "scenes/SceneShared.h"
#include "scenes/Scenes.h"

#include <GL/glu.h>

#include <cmath>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene3Test : public DemoTest {
protected:
    void SetUp() override {
        DemoTest::SetUp();
        demotest::useCombineMode();
    }
};

TEST_F(Scene3Test, FourSegmentsOf3700ms) {
    const struct {
        double ms;
        int segment;
        float place;
    } cases[] = {{163700, 0, 0},          {165550, 0, 0.5f},      {167399, 0, 3699.0f / 3700},
                 {167400, 1, 0},          {171100, 2, 0},         {172025, 2, 0.25f},
                 {174800, 3, 0},          {178499, 3, 3699.0f / 3700}};
    for (const auto& c : cases) {
        renderAt(c.ms);
        EXPECT_EQ(scene3Segment(), c.segment) << c.ms;
        EXPECT_FLOAT_EQ(scene3Place(), c.place) << c.ms;
    }
}

// The screen quadrilateral the talking head covers at `ms` with a silent
// spectrum: 2w x 4w about its pose point, w = 0.42, 1.5 in front of the eye.
struct HeadFootprint {
    float x[4], y[4]; // corners, y from the top

    explicit HeadFootprint(double ms) {
        const float t = static_cast<float>(ms);
        const int pose = static_cast<int>((t - 163700) * 16 / 14800) % numHeads;
        const float bob = 0.03f * sinf(t / 500) + 0.03f, w = 0.42f;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45, 1.25, 0.5, 500);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -1.5f);
        glRotatef(heads[pose][2], 0, 0, 1);
        glTranslatef(heads[pose][0], heads[pose][1] - bob, 0);
        GLdouble model[16], projection[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        const GLint viewport[4] = {0, 0, 1024, 768};
        const float local[4][2] = {{-w, -2 * w}, {w, -2 * w}, {w, 2 * w}, {-w, 2 * w}};
        for (int i = 0; i < 4; ++i) {
            GLdouble wx, wy, wz;
            gluProject(local[i][0], local[i][1], 0, model, projection, viewport, &wx, &wy, &wz);
            x[i] = static_cast<float>(wx);
            y[i] = static_cast<float>(767 - wy);
        }
    }
    // Inside, or within `margin` pixels of an edge.
    bool covers(int px, int py, float margin = 3) const {
        int sign = 0;
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            const float ex = x[j] - x[i], ey = y[j] - y[i];
            const float cross = (ex * (py - y[i]) - ey * (px - x[i])) / std::sqrt(ex * ex + ey * ey);
            if (cross > margin) sign |= 1;
            if (cross < -margin) sign |= 2;
        }
        return sign != 3;
    }
};

// Pixels clear of the overlays: the head, the butterfly's corner, the logo.
template <typename F>
void forSceneOnlyPixels(const HeadFootprint& head, int step, F f) {
    for (int y = 0; y < 767; y += step)
        for (int x = 0; x < 1023; x += step) {
            if ((x >= 760 && y < 264) || (x >= 890 && y >= 634) || head.covers(x, y)) continue;
            f(x, y);
        }
}

// Mean absolute difference between neighbours, outside the overlays: low
// when blurred.
double sharpness(const Frame& f, double ms) {
    double sum = 0;
    long n = 0;
    forSceneOnlyPixels(HeadFootprint(ms), 2, [&](int x, int y) {
        const auto a = f.at(x, y), b = f.at(x + 1, y), c = f.at(x, y + 1);
        for (int k = 0; k < 3; ++k) sum += std::abs(a[k] - b[k]) + std::abs(a[k] - c[k]);
        ++n;
    });
    return sum / n;
}

// The picture at a cut is the blurred small copy stretched over the screen;
// 370 ms on it is sharp again.
TEST_F(Scene3Test, EachCutOpensBlurredAndClearsWithin370ms) {
    for (double cut : {167400.0, 171100.0, 174800.0}) {
        renderAt(cut);
        const double blurred = sharpness(Frame(), cut);
        renderAt(cut + 370);
        const double clear = sharpness(Frame(), cut + 370);
        EXPECT_LT(blurred, 0.5 * clear) << cut;
    }
}

// Where a point of segment `segment` at `place` lands on the screen (y from
// the top), with the scene's hopping camera.
struct SceneCamera {
    GLdouble model[16], projection[16];
    GLint viewport[4] = {0, 0, 1024, 768};

    SceneCamera(const Curve& c, float place) {
        const Vector3D e = c.vReturnPoint(place), t = c.vReturnPoint(place + 0.05f), u = c.curveUpVec(place);
        const float hop = 3 + std::fabs(3 * sinf(8 * 3.14159f * place));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45, 1.25, 0.5, 500);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(e.x, e.y + hop, e.z, t.x, t.y + hop, t.z, u.x, u.y, u.z);
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
    }
    bool project(const Vector3D& p, int* x, int* y) const {
        GLdouble wx, wy, wz;
        gluProject(p.x, p.y, p.z, model, projection, viewport, &wx, &wy, &wz);
        *x = static_cast<int>(wx);
        *y = 767 - static_cast<int>(wy);
        return wz > 0 && wz < 1 && *x >= 0 && *x < 1024 && *y >= 0 && *y < 768;
    }
};

// Mean red of road tile k over a dense grid of points inside it, or -1
// when part of it is out of sight.
double tileRed(const Frame& f, const SceneCamera& cam, const Curve& c, int k) {
    double sum = 0;
    int n = 0;
    for (float along = 0.15f; along < 0.9f; along += 0.1f)
        for (float across = -0.95f; across < 0.95f; across += 0.0237f) {
            const float t = (k + along) * 0.01f;
            const Vector3D p = c.vReturnPoint(t) + c.curveSideVec(t) * (10 * across);
            int x, y;
            if (!cam.project(p, &x, &y)) return -1;
            sum += f.at(x, y)[0];
            ++n;
        }
    return sum / n;
}

// Tile k shows led2, led3, led4, led1, ... (k = 0 is led2) on every draw,
// whatever drew before: of every four tiles in a row, the reddest is the one
// that shows the reddest image (led4), however far away.
TEST_F(Scene3Test, RoadTilesCycleFromLed2OnEveryDraw) {
    double imageRed[4];
    for (int i = 0; i < 4; ++i) {
        int w = 0, h = 0;
        const std::vector<unsigned char> led = demotest::slotImage(kSlotLed1 + i, &w, &h);
        double sum = 0;
        for (int p = 0; p < w * h; ++p) sum += led[p * 4];
        imageRed[i] = sum / (w * h);
    }
    const Curve road(Vector3D(0, 20, 0), Vector3D(-80, 40, 50), Vector3D(-160, -10, 100), Vector3D(-240, 40, 180));
    const double ms = 171100 + 0.2 * 3700; // segment 2, place 0.2: clear of the cut's blur
    renderAt(ms);
    const Frame first;
    renderAt(ms); // drawn twice more: the same tiles again
    const Frame again;
    EXPECT_EQ(first.differenceTo(again), 0);

    const SceneCamera cam(road, 0.2f);
    int groups = 0;
    for (int k0 = 20; k0 < 44; ++k0) {
        double tile[4], image[4];
        for (int i = 0; i < 4; ++i) {
            tile[i] = tileRed(first, cam, road, k0 + i);
            image[i] = imageRed[(k0 + i + 1) % 4];
        }
        if (*std::min_element(tile, tile + 4) < 0) continue; // out of sight
        EXPECT_EQ(std::max_element(tile, tile + 4) - tile, std::max_element(image, image + 4) - image) << k0;
        ++groups;
    }
    EXPECT_GE(groups, 8);
}

// Bit n of scene3TowerRows() is the pair at t = 2.0 - 0.1 n (20 positions,
// the last near 0.1): drawn while |place + 0.3 - t| < 1.
TEST_F(Scene3Test, TowerPairsWithinOneOfThePlaceAheadStand) {
    renderAt(163700 + 0.25 * 3700); // place 0.25: t up to 1.5
    EXPECT_EQ(scene3TowerRows(), 0xFFFE0u);
    renderAt(171100 + 0.75 * 3700); // place 0.75: all twenty, none near t = 0
    EXPECT_EQ(scene3TowerRows(), 0xFFFFFu);
}

struct FeedbackPolygon {
    std::vector<std::array<float, 7>> corners; // x, y, z, r, g, b, a
};

// The polygons renderHouse sends, in window coordinates of an orthographic
// view of x, y in [-10, 10] x [-2, 38] with the given model-view turns.
std::vector<FeedbackPolygon> housePolygons(bool cull, float turnX, float turnY) {
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10, 10, -2, 38, -50, 50);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(turnX, 1, 0, 0);
    glRotatef(turnY, 0, 1, 0);
    glViewport(0, 0, 1024, 768);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    if (cull) {
        glEnable(GL_CULL_FACE);
    } else {
        glDisable(GL_CULL_FACE);
    }
    renderHouse(30, 2, 1.02f, 0.5f, 0, 0);
    const int n = glRenderMode(GL_RENDER);
    glDisable(GL_CULL_FACE);
    std::vector<FeedbackPolygon> polygons;
    for (int i = 0; i < n;) {
        EXPECT_EQ(buffer[i], GL_POLYGON_TOKEN);
        if (buffer[i] != GL_POLYGON_TOKEN) break;
        FeedbackPolygon p;
        const int count = static_cast<int>(buffer[i + 1]);
        i += 2;
        for (int k = 0; k < count; ++k, i += 7) {
            std::array<float, 7> c;
            std::copy(&buffer[i], &buffer[i + 7], c.begin());
            p.corners.push_back(c);
        }
        polygons.push_back(p);
    }
    return polygons;
}

// Window y of a model-space height in the straight-on view.
float windowY(float y) { return (y + 2) / 40 * 768; }

// Twenty storeys of four faces, then the roof (each quad reaches feedback as
// two triangles): the alpha climbs 0.1 a storey and is clamped at 1 from
// half-way up; the faces along x at half the colour.
TEST_F(Scene3Test, TowerFadesInUpToHalfWayThenIsOpaque) {
    const std::vector<FeedbackPolygon> all = housePolygons(false, 0, 0);
    ASSERT_EQ(all.size(), 2 * 81u);
    float s = 2;
    for (int i = 0; i < 20; ++i) {
        const float lower = std::min(1.0f, 0.1f * i), upper = std::min(1.0f, 0.1f * (i + 1));
        for (int face = 0; face < 4; ++face) {
            const float red = face == 1 || face == 2 ? 0.25f : 0.5f;
            for (int half = 0; half < 2; ++half)
            for (const auto& c : all[2 * (4 * i + face) + half].corners) {
                const bool top = std::fabs(c[1] - windowY(1.5f * (i + 1))) < 0.01f;
                ASSERT_TRUE(top || std::fabs(c[1] - windowY(1.5f * i)) < 0.01f) << i << " " << face;
                EXPECT_NEAR(c[6], top ? upper : lower, 1e-3) << i << " " << face;
                EXPECT_NEAR(c[3], red, 1e-3);
                EXPECT_EQ(c[4], 0);
            }
        }
        s *= 1.02f;
    }
    float widest = 0;
    for (int half = 0; half < 2; ++half)
        for (const auto& c : all[160 + half].corners) {
            EXPECT_NEAR(c[1], windowY(30), 0.01f);
            EXPECT_NEAR(c[3], 0.25f, 1e-3);
            EXPECT_NEAR(c[6], 1, 1e-6);
            widest = std::max(widest, std::fabs(c[0] - 512));
        }
    // The roof is 1.02^20 times as wide as the base.
    EXPECT_NEAR(widest, s / 20 * 1024, 0.05);
}

// Seen from above and from +x and +z, only the faces turned that way are
// front-facing: +z and +x every storey, and the roof.
TEST_F(Scene3Test, TowerFacesWindOutward) {
    const std::vector<FeedbackPolygon> seen = housePolygons(true, 30, -30);
    ASSERT_EQ(seen.size(), 2 * 41u);
    int half = 0, full = 0;
    for (const FeedbackPolygon& p : seen) (p.corners[0][3] < 0.3f ? half : full)++;
    EXPECT_EQ(half, 2 * 21); // 20 faces +x and the roof
    EXPECT_EQ(full, 2 * 20); // 20 faces +z
}

// Pose p = (16 (ms - 163700) / 14800) mod 7: a new one every 925 ms
// (166475 ms is place 0.75, clear of the towers' steps of 0.1). Where the new
// pose covers what the old one did not, the picture changes at the switch
// far more than over the next millisecond.
TEST_F(Scene3Test, TheHeadTurnsToANewPoseEvery925ms) {
    const double at = 166475;
    renderAt(at - 0.5);
    const Frame before;
    renderAt(at + 0.5);
    const Frame after;
    renderAt(at + 1.5);
    const Frame glide;
    const HeadFootprint oldHead(at - 0.5), newHead(at + 0.5);
    double change = 0, drift = 0;
    long n = 0;
    for (int y = 0; y < 768; y += 2)
        for (int x = 0; x < 1024; x += 2) {
            if (!newHead.covers(x, y, -3) || oldHead.covers(x, y)) continue;
            const auto a = before.at(x, y), b = after.at(x, y), c = glide.at(x, y);
            for (int k = 0; k < 3; ++k) change += std::abs(a[k] - b[k]), drift += std::abs(b[k] - c[k]);
            ++n;
        }
    ASSERT_GT(n, 10000);
    EXPECT_GT(change, 5 * drift) << change / n << " " << drift / n;
}

// Under the combine mode the butterfly shows the blank image's colours at
// half opacity over the top-right 256 x 256: at 176000 ms, with a white sky
// behind the corner, 0.5 blank + 0.5 white where its mask is opaque.
TEST_F(Scene3Test, ButterflyInTheTopRightCornerAtHalfOpacity) {
    int w = 0, h = 0;
    const std::vector<unsigned char> butterfly = demotest::slotImage(kSlotButterfly, &w, &h);
    ASSERT_EQ(w, 256);
    renderAt(176000);
    const Frame f;
    int inside = 0, outside = 0;
    for (int y = 1; y < 255; y += 3)
        for (int x = 1; x < 255; x += 3) {
            int least = 255, most = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int a = butterfly[((y + dy) * 256 + x + dx) * 4 + 3];
                    least = std::min(least, a);
                    most = std::max(most, a);
                }
            const auto p = f.at(768 + x, y);
            if (most == 0) {
                ASSERT_EQ(p, (std::array<int, 3>{255, 255, 255})) << "sky at " << x << "," << y;
                ++outside;
            } else if (least == 255) {
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(p[c], (butterfly[(y * 256 + x) * 4 + c] + 255) / 2.0, 2) << x << "," << y;
                ++inside;
            }
        }
    EXPECT_GT(inside, 50);
    EXPECT_GT(outside, 50);
}

TEST_F(Scene3Test, FadesInFromWhiteOverTheFirstSecond) {
    renderAt(163700);
    EXPECT_EQ(demotest::pixelsBelow(Frame(), 255), 0);
    renderAt(164700); // no longer called
    EXPECT_GT(demotest::pixelsBelow(Frame(), 128), 1000);
}

} // namespace
