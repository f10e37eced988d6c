// The whole demo started once per test process on the fixed-step clock, in
// the build's data folder: the real images, the real scenes, no sound.
// Frames are rendered at chosen music times and read back as pictures.
#pragma once

#include "app/CApplication.h"
#include "support/GLContext.h"

#include <array>
#include <vector>

namespace demotest {

// The GL state right after start-up, before the first frame.
struct StartState {
    bool depthTest, lighting, blend, lineSmooth;
    int depthFunc, shadeModel, lineSmoothHint;
    double projection[16];
    int viewport[4];
};
extern StartState startState;
extern bool started; // start-up ran in a folder with the real images
extern CApplication app;

// A new 4 x 4 texture of one colour (through the texture manager), to stand
// in for an image in a texture slot; its index.
unsigned solidTexture(std::array<unsigned char, 4> rgba);

// One frame at music time `ms` with the step `stepMs` since the previous frame.
void renderAt(double ms, double stepMs = 1000.0 / 60.0);

// The last frame as RGB, first row at the top.
class Frame {
public:
    Frame();
    std::array<int, 3> at(int x, int y) const; // y from the top
    // Mean absolute difference per channel over the whole picture.
    double differenceTo(const Frame& other) const;
    // Peak signal-to-noise ratio against another picture, dB (1e9 if identical).
    double psnrTo(const Frame& other) const;
    // The largest difference of any channel of any pixel.
    int largestDifferenceTo(const Frame& other) const;
    // Share of the picture outside the logo's corner (on a 4-pixel grid)
    // whose every channel lies within `tolerance` of `rgb`.
    double shareNear(std::array<int, 3> rgb, int tolerance) const;

private:
    std::vector<unsigned char> rgb_;
};

} // namespace demotest

// Tests that need the started demo.
class DemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!demotest::started) GTEST_SKIP() << "start-up did not run";
    }
};
