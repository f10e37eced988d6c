// Scene 5: the bubbles' and the noise panel's draws from rand() and what
// scene5advance repeats of them, the segments and their greetings in the
// picture, the lumpy room and its normals, the wireframe and greeting
// opacities from the spectrum, the texture set-up it leaves, its lighter
// blur, and the opening curtain and closing white.
#include "scenes/DemoFixture.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Timeline.h"
#include "geometry/mesh.h"
#include "scenes/SceneChecks.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene5Test : public DemoTest {};

constexpr double kStep = 1000.0 / 30; // ms

// rand() values a piece of work draws: the sequence after srand(seed) is
// looked up for the first value drawn after it.
template <typename Work>
int randDraws(unsigned seed, Work work) {
    std::srand(seed);
    std::vector<int> sequence(2000);
    for (int& v : sequence) v = std::rand();
    std::srand(seed);
    work();
    const int next = std::rand();
    for (size_t i = 0; i < sequence.size(); ++i)
        if (sequence[i] == next) return static_cast<int>(i);
    return -1;
}

// Defined first: no frame of the scene has run yet in this process.
TEST_F(Scene5Test, FirstFrameRespawnsEveryBubbleBeforeDrawing) {
    for (int i = 0; i < 200; ++i) ASSERT_EQ(scene5BubbleLife(i), 0.0f);
    std::srand(3);
    std::vector<int> sequence(600);
    for (int& v : sequence) v = std::rand();
    // 200 x (x, z, life), then one noise offset per render.
    EXPECT_EQ(randDraws(3, [] { renderAt(119000, kStep); }), 602);
    // Each life is the third draw, already lowered by 2 ticks per 50 ms.
    for (int i = 0; i < 200; ++i)
        EXPECT_FLOAT_EQ(scene5BubbleLife(i), sequence[3 * i + 2] % 128 + 128 - 2 * static_cast<float>(kStep / 50));
}

TEST_F(Scene5Test, ALifeThatRunsOutRespawnsOnTheNextUpdate) {
    renderAt(125000, 15000); // a 300-tick step ends every life ...
    renderAt(125100, 100);   // ... the next frame respawns them all
    // Lives are now 124..251: this long step ends them, but respawning waits
    // for the next update, so only the two noise offsets are drawn.
    EXPECT_EQ(randDraws(5, [] { renderAt(131000, 15000); }), 2);
    for (int i = 0; i < 200; ++i) ASSERT_LE(scene5BubbleLife(i), 0.0f);
    EXPECT_EQ(randDraws(5, [] { renderAt(131100, 100); }), 602);
    // 40 units per second of playback: one second later every life is 40 lower.
    std::vector<float> lives(200);
    for (int i = 0; i < 200; ++i) lives[i] = scene5BubbleLife(i);
    for (int n = 1; n <= 10; ++n) renderAt(131100 + 100 * n, 100);
    for (int i = 0; i < 200; ++i) EXPECT_NEAR(scene5BubbleLife(i), lives[i] - 40, 1e-3);
}

// The catch-up of a late still calls scene5advance alone for frames of the
// scene: it must leave rand() and the bubbles as an update with its two renders does.
TEST_F(Scene5Test, AdvanceDrawsAndMovesExactlyWhatAFrameDoes) {
    const auto lives = [] {
        std::vector<float> l(200);
        for (int i = 0; i < 200; ++i) l[i] = scene5BubbleLife(i);
        return l;
    };
    // Every bubble respawning ...
    renderAt(127000, 15000);
    EXPECT_EQ(randDraws(9, [] { renderAt(127100, 100); }), 602);
    const std::vector<float> drawn = lives();
    renderAt(127200, 15000);
    EXPECT_EQ(randDraws(9, [] {
        skip = 2; // a 100-ms step
        scene5advance();
    }), 602);
    EXPECT_EQ(lives(), drawn);
    // ... and none.
    EXPECT_EQ(randDraws(9, [] { renderAt(127300, 100); }), 2);
    EXPECT_EQ(randDraws(9, [] { scene5advance(); }), 2);
}

// A replay from 0 starts the room's bubbles as start-up left them.
TEST_F(Scene5Test, ResetPutsEveryLifeBackToZero) {
    renderAt(128000, 100);
    scene5reset();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(scene5BubbleLife(i), 0.0f);
    EXPECT_EQ(randDraws(4, [] { renderAt(128100, 100); }), 602);
}

TEST_F(Scene5Test, EightSegmentsOf3725Milliseconds) {
    EXPECT_EQ(scene5Segment(119000), 0);
    for (int k = 1; k < 8; ++k) {
        const float start = 119000 + 3725.0f * k;
        EXPECT_EQ(scene5Segment(start), k) << start;
        EXPECT_EQ(scene5Segment(start - 0.01f), k - 1) << start;
    }
    EXPECT_EQ(scene5Segment(148799.99f), 7);
}

// Pixels of the greeting's square where green dominates.
int greenPixels(const Frame& f) {
    int n = 0;
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4) {
            const auto p = f.at(x, y);
            n += p[1] > 150 && p[1] > p[0] + 60 && p[1] > p[2] + 60;
        }
    return n;
}

// Each segment shows its own greeting: with only greeting k replaced by
// green, green appears from the first frame of segment k on, not before.
TEST_F(Scene5Test, EachSegmentShowsItsOwnGreeting) {
    for (int k = 0; k < 8; ++k) {
        const float start = 119000 + 3725.0f * k;
        unsigned& slot = engine->textures[kSlotGreet1 + k];
        const unsigned image = slot;
        static const unsigned green = demotest::solidTexture({0, 255, 0, 255});
        slot = green;
        renderAt(start + 1000);
        EXPECT_GT(greenPixels(Frame()), 500) << "segment " << k;
        if (k > 0) {
            renderAt(start - 0.5);
            EXPECT_EQ(greenPixels(Frame()), 0) << "just before segment " << k;
        }
        slot = image;
    }
}

TEST_F(Scene5Test, RoomIsARadiallyLumpySphereWithFlippedNormals) {
    const Mesh* room = scene5Room();
    Mesh sphere;
    sphere.makeSphere(1, 64);
    ASSERT_EQ(room->verticeAmount, 4225u);
    ASSERT_EQ(room->faceAmount, 8192u);
    // The pole: s = sin 20 + cos 37 + cos 40 = 1.01142, radius (0.3 s + 1.2) x 100.
    EXPECT_NEAR(room->vertices[0].y, 150.3426f, 1e-3);
    EXPECT_EQ(room->vertices[0].x, 0.0f);
    float least = 1e9f, most = 0;
    int outward = 0, counted = 0;
    for (unsigned v = 0; v < room->verticeAmount; ++v) {
        const Vector3D p = room->vertices[v], u = sphere.vertices[v];
        const float r = p.length();
        least = std::min(least, r);
        most = std::max(most, r);
        // Pushed along its own direction from the centre.
        ASSERT_NEAR((p - u * r).length(), 0, 1e-3f * r) << v;
        const Vector3D n = room->vertexNormals[v];
        if (std::isnan(n.x) || n.length() < 0.5f) continue;
        EXPECT_NEAR(n.length(), 1, 1e-4) << v;
        ++counted;
        outward += n.dotProduct(p) > 0;
    }
    EXPECT_GE(least, 30);
    EXPECT_LE(most, 210);
    EXPECT_LT(least, 60);  // deep dents ...
    EXPECT_GT(most, 180);  // ... and high bumps
    // The sphere's faces face its inside; the flipped vertex normals point
    // out of the room, away from the viewer inside it.
    EXPECT_GT(counted, 4100);
    EXPECT_GT(outward, counted * 9 / 10);
    int inwardFaces = 0;
    for (unsigned f = 0; f < room->faceAmount; ++f) {
        const Vector3D c = room->vertices[room->faces[3 * f]] + room->vertices[room->faces[3 * f + 1]] +
                           room->vertices[room->faces[3 * f + 2]];
        inwardFaces += room->faceNormals[f].dotProduct(c) < 0;
    }
    EXPECT_GT(inwardFaces, static_cast<int>(room->faceAmount) * 9 / 10);
}

float testBand0 = 0, testBand1 = 0;
void testSpectrum(double, float* out) {
    for (int i = 0; i < 64; ++i) out[i] = 0;
    out[0] = testBand0;
    out[1] = testBand1;
}

struct FeedbackCounts {
    int lines = 0, linesAtAlpha = 0, polygonsAtAlpha = 0;
};

// One frame in feedback mode: the lines and their colours, and the polygons
// of opacity `polygonAlpha`.
FeedbackCounts feedbackFrame(double ms, float lineAlpha, float polygonAlpha) {
    std::vector<GLfloat> buffer(4 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    renderAt(ms);
    const int n = glRenderMode(GL_RENDER);
    EXPECT_GT(n, 0) << "feedback buffer overflow";
    FeedbackCounts c;
    const int vertex = 7; // x, y, z, r, g, b, a
    for (int i = 0; i < n;) {
        const int token = static_cast<int>(buffer[i]);
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            ++c.lines;
            bool match = true;
            for (int v = 0; v < 2; ++v) {
                const GLfloat* colour = &buffer[i + 1 + v * vertex + 3];
                match = match && colour[0] == 1 && colour[1] == 1 && colour[2] == 1 &&
                        std::fabs(colour[3] - lineAlpha) < 1e-3;
            }
            c.linesAtAlpha += match;
            i += 1 + 2 * vertex;
        } else if (token == GL_POLYGON_TOKEN) {
            const int corners = static_cast<int>(buffer[i + 1]);
            c.polygonsAtAlpha += std::fabs(buffer[i + 2 + 6] - polygonAlpha) < 1e-3;
            i += 2 + corners * vertex;
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN ||
                   token == GL_COPY_PIXEL_TOKEN) {
            i += 1 + vertex;
        } else {
            i += 2; // pass-through token and its value
        }
    }
    return c;
}

// The wireframe is as opaque as band 0 is loud and is not drawn in silence;
// the greeting is as opaque as band 1 is quiet.
TEST_F(Scene5Test, WireframeAndGreetingOpacitiesFollowTheSpectrum) {
    useFixedStepClock(testSpectrum);
    testBand0 = 0.25f;
    testBand1 = 0.625f;
    FeedbackCounts c = feedbackFrame(130000, 0.25f, 0.375f);
    EXPECT_GT(c.lines, 500);
    EXPECT_EQ(c.linesAtAlpha, c.lines);
    EXPECT_GE(c.polygonsAtAlpha, 2); // the greeting quad (as two triangles)
    testBand0 = 0;
    testBand1 = 0;
    c = feedbackFrame(130000, 0, 1);
    EXPECT_EQ(c.lines, 0);
    useFixedStepClock(nullptr);
}

// The panel's depth put in before the wall, where no part of the wall can
// come in front of it, gives every frame byte for byte as drawing the panel
// after the wall. One moment a second through all eight segments (the
// camera on all its paths), from the same rand() draws both ways.
TEST_F(Scene5Test, PanelDepthFirstLeavesEveryFrameAsItWas) {
    const int before = scene5PanelDepthFirstFrames();
    int moments = 0;
    for (double ms = 119500; ms < 148000; ms += 1000, ++moments) {
        renderAt(ms, kStep);
        std::vector<unsigned char> pictures[2];
        for (int first = 0; first < 2; ++first) {
            scene5PanelDepthFirst = first == 1;
            std::srand(7);
            renderAt(ms, 0);
            pictures[first].resize(1024 * 768 * 3);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, pictures[first].data());
        }
        scene5PanelDepthFirst = true;
        EXPECT_TRUE(pictures[0] == pictures[1]) << ms;
    }
    // Two renders a frame; most of them put the depth in first.
    EXPECT_GT(scene5PanelDepthFirstFrames() - before, moments);
}

TEST_F(Scene5Test, PanelDepthGoesFirstOnlyWhenNoWallCanComeInFrontOfIt) {
    renderAt(125000);
    // From the room's middle, straight in front of the panel: nothing between.
    EXPECT_FALSE(scene5WallMayHidePanel(Vector3D(0, 0, 0)));
    // From outside the room (at most 210 units out), the wall lies between.
    EXPECT_TRUE(scene5WallMayHidePanel(Vector3D(0, 0, -400)));
    EXPECT_TRUE(scene5WallMayHidePanel(Vector3D(300, 50, -300)));
    // Behind the panel, looking back at it through the wall on the far side.
    EXPECT_TRUE(scene5WallMayHidePanel(Vector3D(0, 0, 400)));
}

TEST_F(Scene5Test, LeavesUnitZeroActiveInCombineReplaceAndUnitOneOff) {
    renderAt(130000);
    demotest::expectCombineModeLeft();
}

// The glow source's blur leaves out each pass's two lightest copies: the
// picture stays within a few levels of the full blur's.
TEST_F(Scene5Test, LighterBlurStaysWithin55DecibelsOfTheFullBlur) {
    ASSERT_EQ(scene5BlurLeftOut, 2);
    for (double ms : {121000.0, 130000.0, 136000.0, 145000.0}) {
        renderAt(ms);
        demotest::expectLighterBlurNearTheFull(scene5BlurLeftOut, ms, 55, 8, 5);
    }
}

TEST_F(Scene5Test, OpensOutOfTheCurtain) {
    const std::array<int, 3> curtain = {153, 128, 77}; // (0.6, 0.5, 0.3) at full opacity over white
    renderAt(119000);
    EXPECT_GT(Frame().shareNear(curtain, 3), 0.99);
    renderAt(120000); // not called from here on
    EXPECT_LT(Frame().shareNear(curtain, 12), 0.01);
}

TEST_F(Scene5Test, EndsInTheOrnamentZoomAndWhite) {
    const std::array<int, 3> white = {255, 255, 255};
    renderAt(147800); // not yet called
    const Frame before;
    renderAt(148300); // half-way: the ornament fills the screen, no white yet
    const Frame half;
    EXPECT_LT(half.shareNear(white, 5), 0.5);
    EXPECT_GT(half.differenceTo(before), 20);
    renderAt(148799.9);
    EXPECT_GT(Frame().shareNear(white, 1), 0.999);
}

} // namespace
