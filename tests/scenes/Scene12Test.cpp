// Scene 12: the white opening, the image emerging under the white quad, the
// music veil, and the end of the demo after the first frame past 200000 ms.
#include "app/DemoProcess.h"
#include "scenes/SceneChecks.h"

#include <cmath>
#include <sstream>
#include <string>

extern bool done;

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene12Test : public DemoTest {
protected:
    void SetUp() override {
        DemoTest::SetUp();
        demotest::useCombineMode(); // as from 89300 ms on; the opaque image looks the same either way
        image_ = demotest::slotImage(kSlotEnding, &width_, &height_);
        ASSERT_EQ(width_, 512);
        ASSERT_EQ(height_, 512);
    }

    // Texel (x, y) of the ending image, first row at the top.
    std::array<int, 3> texel(int x, int y) const {
        const unsigned char* p = &image_[(static_cast<size_t>(y) * 512 + x) * 4];
        return {p[0], p[1], p[2]};
    }

    // Every 7th pixel of the centre 512 x 512 against white * w + image * (1 - w).
    void expectImageUnder(const Frame& f, float w, int tolerance) const {
        for (int y = 0; y < 512; y += 7)
            for (int x = 0; x < 512; x += 7) {
                const auto p = f.at(256 + x, 128 + y), t = texel(x, y);
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(p[c], 255 * w + t[c] * (1 - w), tolerance) << x << "," << y << " channel " << c;
            }
    }

    std::vector<unsigned char> image_;
    int width_ = 0, height_ = 0;
};

TEST_F(Scene12Test, WhiteFromTheStartUntil194000) {
    for (double ms : {193700.0, 193850.0, 194000.0}) {
        renderAt(ms);
        EXPECT_EQ(demotest::pixelsBelow(Frame(), 255), 0) << ms;
    }
    renderAt(194100); // the image begins to show
    EXPECT_GT(demotest::pixelsBelow(Frame(), 255), 100);
}

TEST_F(Scene12Test, HalfWayTheImageShowsUnderHalfWhite) {
    renderAt(194500);
    expectImageUnder(Frame(), 0.5f, 2);
}

TEST_F(Scene12Test, WithASilentSpectrumTheImageIsUnveiledOnWhite) {
    for (double ms : {195000.0, 198000.0}) {
        renderAt(ms);
        const Frame f;
        expectImageUnder(f, 0, 1);
        // White around it.
        for (int x = 0; x < 1024; x += 16) {
            EXPECT_EQ(f.at(x, 127), (std::array<int, 3>{255, 255, 255}));
            EXPECT_EQ(f.at(x, 640)[0], 255);
        }
        EXPECT_EQ(f.at(255, 300), (std::array<int, 3>{255, 255, 255}));
        EXPECT_EQ(f.at(768, 300), (std::array<int, 3>{255, 255, 255}));
    }
}

TEST_F(Scene12Test, TheVeilFollowsTheThirdBand) {
    {
        const demotest::SpectrumOverride quarter(2, 0.25f);
        renderAt(197000);
        expectImageUnder(Frame(), 0.25f, 2);
    }
    for (float loud : {1.0f, 1.7f}) {
        const demotest::SpectrumOverride veil(2, loud);
        renderAt(197000);
        EXPECT_EQ(demotest::pixelsBelow(Frame(), 255), 0) << loud;
    }
    {
        const demotest::SpectrumOverride otherBand(3, 1.0f); // only band 2 veils
        renderAt(197000);
        expectImageUnder(Frame(), 0, 1);
    }
}

// From 200000 ms on the scene is the one before, as in a run, where that is
// always this one: a frame of it comes first, whatever the tests before drew.
TEST_F(Scene12Test, TheLastFrameIsTheFirstPast200000) {
    done = false;
    renderAt(199000);
    renderAt(200000); // still inside the demo
    EXPECT_FALSE(done);
    renderAt(200000.5);
    EXPECT_TRUE(done);
    expectImageUnder(Frame(), 0, 1); // and drawn by this scene
    done = false;
}

// Frames on a 30 fps grid from 199900 ms: 199900, 199933.3, 199966.7,
// 200000 and 200033.3, the first past the end, which is the last; the
// stretch they cover is printed up to the demo's end, never past it.
TEST(DemoEndTest, BenchmarkRunStopsAfterTheFirstFramePastTheEnd) {
    const RunResult r = runDemo({"--benchmark", "--fps", "30", "--from", "199900", "--silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line.rfind("total", 0) != 0) continue;
        std::istringstream fields(line);
        std::string word, dash;
        double from = 0, to = 0;
        long frames = 0;
        fields >> word >> from >> dash >> to >> frames;
        EXPECT_EQ(from, 199900);
        EXPECT_EQ(to, 200000);
        EXPECT_EQ(frames, 5);
        found = true;
    }
    EXPECT_TRUE(found) << r.out;
}

} // namespace
