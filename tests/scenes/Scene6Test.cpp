// Scene 6: the camera stretches and the black veil after each cut, the tile
// walls' wave and the rings' swell on a sync point (measured in the depth
// buffer), the rays from the ball, both transitions, and the walls drawn in
// one batch against tile by tile, and its lighter blur.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "fx/Glow.h"
#include "image/Texture.h"
#include "scenes/SceneChecks.h"
#include "scenes/Scenes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene6Test : public DemoTest {};

bool inLogo(int x, int y) { return x >= 896 && y >= 640; }

// The least and the greatest channel over the picture outside the logo.
std::array<int, 2> channelRange(const Frame& f) {
    int least = 255, most = 0;
    for (int y = 0; y < 768; y += 2)
        for (int x = 0; x < 1024; x += 2)
            if (!inLogo(x, y))
                for (int c : f.at(x, y)) least = std::min(least, c), most = std::max(most, c);
    return {least, most};
}
int brightestOutsideLogo(const Frame& f) { return channelRange(f)[1]; }
int darkestOutsideLogo(const Frame& f) { return channelRange(f)[0]; }

TEST_F(Scene6Test, CameraStretchesChangeJustAfterTheirEnds) {
    struct Cut {
        double ms;
        int before, after;
    };
    for (Cut cut : {Cut{48300, 0, 1}, Cut{52000, 1, 2}, Cut{55800, 2, 3}}) {
        renderAt(cut.ms);
        EXPECT_EQ(scene6Camera(), cut.before) << cut.ms;
        EXPECT_FLOAT_EQ(scene6TimeLine(), 1.0f) << cut.ms;
        renderAt(cut.ms + 0.02);
        EXPECT_EQ(scene6Camera(), cut.after) << cut.ms;
        EXPECT_NEAR(scene6TimeLine(), 0.0f, 1e-5) << cut.ms;
    }
    renderAt(44700);
    EXPECT_EQ(scene6Camera(), 0);
    EXPECT_EQ(scene6TimeLine(), 0.0f);
    // The first cut: from the end of path 0 to the start of path 1.
    float eye[3];
    renderAt(48300);
    scene6Eye(eye);
    EXPECT_NEAR(eye[0], -10, 1e-3);
    EXPECT_NEAR(eye[1], 50, 1e-3);
    EXPECT_NEAR(eye[2], 90, 1e-3);
    renderAt(48300.02);
    scene6Eye(eye);
    EXPECT_NEAR(eye[0], 80, 1e-2);
    EXPECT_NEAR(eye[1], 40, 1e-2);
    EXPECT_NEAR(eye[2], -40, 1e-2);
}

// Black at 0.6 right after a cut, gone once a fifth of the stretch has passed
// (740 ms in the second stretch, 760 ms in the third and fourth).
TEST_F(Scene6Test, EachCutIsVeiledInBlackForAFifthOfItsStretch) {
    struct Stretch {
        double start, length;
    };
    for (Stretch s : {Stretch{48300, 3700}, Stretch{52000, 3800}, Stretch{55800, 3800}}) {
        renderAt(s.start); // the end of the previous stretch: no veil
        EXPECT_EQ(brightestOutsideLogo(Frame()), 255) << s.start;
        renderAt(s.start + 0.02);
        EXPECT_LE(brightestOutsideLogo(Frame()), 103) << s.start; // 255 x 0.4
        renderAt(s.start + s.length * 0.19);
        EXPECT_LE(brightestOutsideLogo(Frame()), 254) << s.start;
        renderAt(s.start + s.length * 0.201);
        EXPECT_EQ(brightestOutsideLogo(Frame()), 255) << s.start;
    }
}

// World positions of the picture's pixels, from the depth buffer and the
// camera the frame used.
class World {
public:
    World() : depth_(1024 * 768) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 1024, 768, GL_DEPTH_COMPONENT, GL_FLOAT, depth_.data());
        float eye[3];
        scene6Eye(eye);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45, 1.25, 0.5, 500);
        glGetDoublev(GL_PROJECTION_MATRIX, projection_);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(eye[0], eye[1], eye[2], 0, 0, 0, 0, 1, 0);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview_);
    }
    // False where nothing was drawn (the white ground).
    bool at(int x, int y, double p[3]) const { // y from the bottom
        const double z = depth_[static_cast<size_t>(y) * 1024 + x];
        if (z >= 1) return false;
        const GLint viewport[4] = {0, 0, 1024, 768};
        gluUnProject(x + 0.5, y + 0.5, z, modelview_, projection_, viewport, &p[0], &p[1], &p[2]);
        return true;
    }

private:
    std::vector<float> depth_;
    double projection_[16], modelview_[16];
};

// Every sampled pixel that lies on a wall tile: how far that tile stands out
// of its wall, against the wave of the given height.
struct WaveFit {
    int tiles = 0;
    double worst = 0, highest = 0;
};
WaveFit fitWave(const World& world, float ms, float height) {
    WaveFit fit;
    double p[3];
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4) {
            if (!world.at(x, y, p)) continue;
            for (int w = 0; w < 4; ++w) {
                // Into the wall's own frame: turned back by 90 w degrees about y,
                // the wall's plane at z = 0.
                const double a = w * M_PI / 2;
                const double lx = p[0] * std::cos(a) - p[2] * std::sin(a);
                const double lz = p[0] * std::sin(a) + p[2] * std::cos(a) + 192;
                const int k = static_cast<int>(std::lround(lx / 32)), j = static_cast<int>(std::lround(p[1] / 32));
                // |lx| < 150 keeps out the walls beside, which stand at 152 and beyond.
                if (lz < -0.5 || lz > 41 || std::fabs(lx) > 150 || j < -10 || j > 20) continue;
                if (std::fabs(lx - 32 * k) > 14 || std::fabs(p[1] - 32 * j) > 14) continue;
                const double expected = std::fabs(height * sinf(k * 0.5f + j * 0.5f + ms * 0.003f));
                fit.worst = std::max(fit.worst, std::fabs(lz - expected));
                fit.highest = std::max(fit.highest, lz);
                ++fit.tiles;
            }
        }
    return fit;
}

// The farthest point of the ring group from the centre (the ball reaches 8,
// the walls begin at 152).
double ringReach(const World& world) {
    double reach = 0, p[3];
    for (int y = 0; y < 768; y += 2)
        for (int x = 0; x < 1024; x += 2) {
            if (!world.at(x, y, p)) continue;
            const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
            if (r > 8.5 && r < 60) reach = std::max(reach, r);
        }
    return reach;
}

TEST_F(Scene6Test, OnASyncPointTheWaveDoublesAndTheRingsSwell) {
    renderAt(46799.99); // 900 ms after the last sync point: no pulse
    const float calmMs = 46799.99f;
    const World calm;
    const WaveFit calmFit = fitWave(calm, calmMs, 20);
    const double calmReach = ringReach(calm);
    renderAt(46800.01); // the pulse starts at 1
    const float pulseMs = 46800.01f;
    const World pulse;
    const WaveFit pulseFit = fitWave(pulse, pulseMs, 40);
    const double pulseReach = ringReach(pulse);

    EXPECT_GT(calmFit.tiles, 2000);
    EXPECT_LT(calmFit.worst, 0.3);
    EXPECT_LE(calmFit.highest, 20.3);
    EXPECT_GT(pulseFit.tiles, 2000);
    EXPECT_LT(pulseFit.worst, 0.3);
    EXPECT_GT(pulseFit.highest, 30);

    // The outer ring's corners lie sqrt(23^2 + 4^2) = 23.35 from the centre.
    EXPECT_GT(calmReach, 20);
    EXPECT_LT(calmReach, 23.4);
    EXPECT_NEAR(pulseReach / calmReach, 1.3, 0.03);
}

// The radial blur's source is the ball alone, pale blue on black, behind
// black rings: its texture holds no wall or ring colour (red above blue),
// and its light has the ball's colour.
TEST_F(Scene6Test, RaysComeFromTheBallAlone) {
    for (double ms : {46000.0, 50000.0, 53000.0, 57000.0}) {
        renderAt(ms);
        std::vector<unsigned char> t(128 * 128 * 3);
        engine->textureManager->bind(engine->glow->radialTexture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, t.data());
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const unsigned char* p = &t[(y * 128 + x) * 3];
                ASSERT_LE(p[0], p[1] + 1) << x << "," << y << " at " << ms;
                ASSERT_LE(p[1], p[2] + 1) << x << "," << y << " at " << ms;
            }
        // Where the light is strong it has the ball's colour (0.6, 0.8, 1).
        int lit = 0;
        for (size_t i = 0; i < t.size(); i += 3) {
            if (t[i + 2] < 100) continue;
            ++lit;
            EXPECT_NEAR(t[i] / static_cast<double>(t[i + 2]), 0.6, 0.05) << ms;
            EXPECT_NEAR(t[i + 1] / static_cast<double>(t[i + 2]), 0.8, 0.05) << ms;
        }
        EXPECT_GT(lit, 50) << ms;
    }
}

TEST_F(Scene6Test, OpensOutOfWhiteAndHandsOverThroughTheCurtain) {
    renderAt(44700);
    EXPECT_EQ(darkestOutsideLogo(Frame()), 255);
    renderAt(44950);
    EXPECT_GE(darkestOutsideLogo(Frame()), 127);
    renderAt(45200); // the fade is over
    EXPECT_LT(darkestOutsideLogo(Frame()), 100);

    // The curtain's crests appear along the bottom just after 59000 ms (at
    // this moment of its wave, in the lower left).
    auto changed = [](const Frame& a, const Frame& b) {
        int n = 0;
        for (int y = 700; y < 768; ++y)
            for (int x = 0; x < 300; ++x)
                for (int c = 0; c < 3; ++c) n += std::abs(a.at(x, y)[c] - b.at(x, y)[c]) > 20;
        return n;
    };
    renderAt(58999.5);
    const Frame before;
    renderAt(59000);
    const Frame at;
    renderAt(59000.5);
    const Frame after;
    EXPECT_GT(changed(at, after), 10 * changed(before, at) + 300);

    renderAt(59599.9); // the curtain covers the screen
    const Frame end;
    for (int y = 0; y < 768; y += 16)
        for (int x = 0; x < 1024; x += 16) {
            if (inLogo(x, y)) continue;
            const auto p = end.at(x, y);
            EXPECT_NEAR(p[0], 153, 3) << x << "," << y;
            EXPECT_NEAR(p[1], 128, 3) << x << "," << y;
            EXPECT_NEAR(p[2], 77, 3) << x << "," << y;
        }
}

// One batch per wall puts the tile corners through one matrix instead of a
// translation each: an edge pixel may fall the other way, nothing more.
TEST_F(Scene6Test, BatchedWallsMatchTilesDrawnOneByOne) {
    for (double ms : {46000.0, 50000.0, 53000.0, 57000.0}) {
        std::vector<unsigned char> rgb[2];
        for (int single = 0; single < 2; ++single) {
            scene6BatchesTiles = single == 0;
            renderAt(ms);
            rgb[single].resize(1024 * 768 * 3);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, rgb[single].data());
        }
        scene6BatchesTiles = true;
        int far = 0; // pixels on an edge that fell the other way
        double squared = 0;
        for (size_t i = 0; i < rgb[0].size(); ++i) {
            const int d = std::abs(rgb[0][i] - rgb[1][i]);
            far += d > 4;
            squared += d * d;
        }
        const double psnr = squared == 0 ? 1e9 : 10 * std::log10(255.0 * 255 * rgb[0].size() / squared);
        EXPECT_LT(far, 60) << ms;
        EXPECT_GT(psnr, 50) << ms;
    }
}

// The glow source's blur leaves out each pass's two lightest copies: the
// picture stays within a few levels of the full blur's (and is not it).
TEST_F(Scene6Test, LighterBlurStaysWithin55DecibelsOfTheFullBlur) {
    ASSERT_EQ(scene6BlurLeftOut, 2);
    for (double ms : {46000.0, 52000.0, 54000.0, 59000.0}) {
        renderAt(ms);
        demotest::expectLighterBlurNearTheFull(scene6BlurLeftOut, ms, 55, 8);
    }
}

TEST_F(Scene6Test, TheCameraStaysOnItsLastPlaceWhenTheSceneIsOver) {
    renderAt(59599.9);
    const float last = scene6TimeLine();
    renderAt(60000); // Scene 10
    EXPECT_EQ(scene6Camera(), 3);
    EXPECT_EQ(scene6TimeLine(), last);
}

} // namespace
