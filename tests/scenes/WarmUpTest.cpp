// The warm-up live play draws before the music changes no pixel and no
// state: right after it the GL state and the program's own are as start-up
// left them and the frame is black, and the frames then drawn are byte for
// byte those of the executable, which draws no warm-up: a capture's first
// frames from 0, and stills deep in the demo after the scenes that move
// state (zPos, the cloud stack, the bubbles), draw from rand() or leave their
// texture environment behind.
#include "app/DemoProcess.h"
#include "scenes/DemoFixture.h"
#include "app/FrameStep.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "app/WarmUp.h"
#include "platform/GLExt.h"
#include "platform/Spectrum.h"

#include <GL/gl.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using demotest::Frame;

class WarmUpTest : public DemoTest {};

// The GL state frames set, as far as queries read it, and the program's:
// enables, blend, depth, fog, masks, colours, line width, viewport and
// scissor, the matrices, and per texture unit its enable, binding,
// environment and matrix.
std::vector<double> stateNow() {
    std::vector<double> v;
    auto ints = [&v](GLenum name, int n) {
        GLint x[16] = {};
        glGetIntegerv(name, x);
        v.insert(v.end(), x, x + n);
    };
    auto floats = [&v](GLenum name, int n) {
        GLfloat x[16] = {};
        glGetFloatv(name, x);
        v.insert(v.end(), x, x + n);
    };
    for (GLenum cap : {GL_DEPTH_TEST, GL_BLEND, GL_LIGHTING, GL_FOG, GL_CULL_FACE, GL_ALPHA_TEST, GL_SCISSOR_TEST,
                       GL_LINE_SMOOTH, GL_COLOR_MATERIAL, GL_NORMALIZE, GL_POLYGON_OFFSET_FILL, GL_STENCIL_TEST})
        v.push_back(glIsEnabled(cap));
    ints(GL_BLEND_SRC, 1);
    ints(GL_BLEND_DST, 1);
    ints(GL_DEPTH_FUNC, 1);
    ints(GL_DEPTH_WRITEMASK, 1);
    ints(GL_COLOR_WRITEMASK, 4);
    ints(GL_SHADE_MODEL, 1);
    ints(GL_MATRIX_MODE, 1);
    ints(GL_VIEWPORT, 4);
    ints(GL_SCISSOR_BOX, 4);
    ints(GL_FOG_MODE, 1);
    floats(GL_FOG_COLOR, 4);
    floats(GL_FOG_START, 1);
    floats(GL_FOG_END, 1);
    floats(GL_FOG_DENSITY, 1);
    ints(GL_ALPHA_TEST_FUNC, 1);
    floats(GL_ALPHA_TEST_REF, 1);
    ints(GL_CULL_FACE_MODE, 1);
    floats(GL_CURRENT_COLOR, 4);
    floats(GL_COLOR_CLEAR_VALUE, 4);
    floats(GL_DEPTH_CLEAR_VALUE, 1);
    floats(GL_LINE_WIDTH, 1);
    floats(GL_PROJECTION_MATRIX, 16);
    floats(GL_MODELVIEW_MATRIX, 16);
    GLint active = 0, clientActive = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE_ARB, &clientActive);
    v.push_back(active);
    v.push_back(clientActive);
    for (int u = 0; u < 4; ++u) {
        arb::glActiveTextureARB(GL_TEXTURE0_ARB + u);
        v.push_back(glIsEnabled(GL_TEXTURE_2D));
        ints(GL_TEXTURE_BINDING_2D, 1);
        GLint env[3] = {};
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env[0]);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, &env[1]);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, &env[2]);
        v.insert(v.end(), env, env + 3);
        floats(GL_TEXTURE_MATRIX, 16);
    }
    arb::glActiveTextureARB(static_cast<GLenum>(active));
    v.push_back(demoMS);
    v.push_back(skip);
    v.push_back(currentScene);
    v.push_back(done);
    v.insert(v.end(), frequencies, frequencies + platform::kSpectrumBands);
    return v;
}

// How the last frame drawn here differs from the PNG at `path`: pixels that
// differ, and the largest difference of any channel.
struct Difference {
    long pixels = -1;
    int largest = 0;
};
Difference differenceTo(const std::string& path) {
    Difference d;
    const std::vector<unsigned char> png = decodePng(path);
    if (png.size() != 1024u * 768 * 3) {
        ADD_FAILURE() << path << " has " << png.size() << " bytes";
        return d;
    }
    const Frame here;
    d.pixels = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            const auto p = here.at(x, y);
            const unsigned char* q = &png[(static_cast<size_t>(y) * 1024 + x) * 3];
            int most = 0;
            for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(p[c] - q[c]));
            d.pixels += most > 0;
            d.largest = std::max(d.largest, most);
        }
    return d;
}

// A clock that moves 100 ms each time it is read.
uint64_t clockNow = 0;
uint64_t steppingClock() { return clockNow += 100; }

// Whole, and cut short by its budget: after the second frame the time spent
// (400 ms) and its slowest frame (100 ms) would pass 450 ms.
TEST_F(WarmUpTest, ChangesNoStateAndLeavesTheFrameBlack) {
    ASSERT_GT(warmUpFrames(), 2 * kSceneCount); // every cut, and moments inside scenes
    const std::vector<double> before = stateNow();
    for (const uint64_t budgetMs : {uint64_t{450}, uint64_t{0}}) {
        const int drawn = warmUp(demotest::app, budgetMs, steppingClock);
        // --stats' line: the clock read once before and once after it, and
        // twice for each frame drawn within a budget.
        const std::string summary = lastWarmUpSummary();
        if (budgetMs) {
            EXPECT_EQ(drawn, 2);
            EXPECT_EQ(summary.rfind("warm-up before the music: 2 of " + std::to_string(warmUpFrames()) +
                                        " moments in 500 ms, cut short by its 450 ms budget",
                                    0),
                      0u)
                << summary;
        } else {
            EXPECT_GT(drawn, 2 * kSceneCount);
            const std::string whole = std::to_string(drawn) + " of " + std::to_string(drawn) + " moments in 100 ms";
            EXPECT_EQ(summary, "warm-up before the music: " + whole);
        }
        EXPECT_EQ(stateNow(), before) << "budget " << budgetMs;
        const Frame black;
        long lit = 0;
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) {
                const auto p = black.at(x, y);
                lit += p[0] || p[1] || p[2];
            }
        EXPECT_EQ(lit, 0) << "budget " << budgetMs;
    }
}

// Each still after a warm-up of its own, from the timeline at its start: the
// replay to it then runs every earlier scene's state and rand() draws from
// what the warm-up put back.
TEST_F(WarmUpTest, StillsAfterItAreTheExecutablesStills) {
    const int fps = 30;
    for (double ms : {44000.0, 112000.0, 125000.0, 186000.0}) {
        const std::string out = testgl::tmpDir() + "/warm-up-" + std::to_string(static_cast<long>(ms)) + ".png";
        const RunResult r = runDemo({"--frame", std::to_string(static_cast<long>(ms)), "--fps", std::to_string(fps),
                                     "--silent", "--out", out});
        ASSERT_EQ(r.status, 0) << r.err;
        restartTimeline();
        warmUp(demotest::app);
        showMoment(demotest::app, ms, 1000.0 / fps);
        EXPECT_EQ(differenceTo(out).pixels, 0) << "at " << ms << " ms";
    }
}

// A capture from 0 after the warm-up: its frames, drawn in full one after
// the other from the state and the frame it leaves, are the executable's. Not
// always to the last bit: Mesa gathers glBegin/glEnd vertices in one buffer
// it fills across draws and frames, so where a long strip is split between
// two fillings depends on every vertex sent before, and llvmpipe then rounds a
// few edge pixels one level apart (three degenerate vertices sent before the
// first frame do as much). A piece of state left behind changes far more.
TEST_F(WarmUpTest, ACaptureAfterItIsTheExecutablesCapture) {
    const int fps = 30;
    const std::string dir = testgl::tmpDir() + "/warm-up-capture";
    ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
    const RunResult r = runDemo({"--capture", dir + "/%05d.png", "--fps", std::to_string(fps), "--from", "0",
                                 "--to", "600", "--silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name).find(".png") != std::string::npos) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    ASSERT_GE(names.size(), 18u);
    restartTimeline();
    warmUp(demotest::app);
    long exact = 0;
    for (size_t n = 0; n < names.size(); ++n) {
        demotest::renderAt(n * 1000.0 / fps, 1000.0 / fps);
        const Difference d = differenceTo(dir + "/" + names[n]);
        EXPECT_LE(d.largest, 1) << "frame " << n;
        EXPECT_LT(d.pixels, 400) << "frame " << n; // 0.05 % of the picture
        exact += d.pixels == 0;
    }
    EXPECT_GE(exact, static_cast<long>(names.size()) * 3 / 4);
}

} // namespace
