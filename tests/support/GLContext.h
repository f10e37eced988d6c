// Test support: one real OpenGL context per test process, through SDL's
// offscreen driver and Mesa, drawing into the 1024 x 768 framebuffer that
// stands in for the back buffer. Pixels are read back with readPixel().
#pragma once

#include "platform/Platform.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

namespace testgl {

// Opens the context on first use; fails the calling test if it cannot.
inline bool ensureContext() {
    if (platform::displayOpen()) return true;
    platform::DisplayOptions options;
    options.headless = true;
    std::string error;
    const bool ok = platform::openDisplay(options, &error) == platform::DisplayStatus::Open;
    EXPECT_TRUE(ok) << error;
    return ok;
}

// RGB of the framebuffer pixel at (x, y), y counted from the bottom (GL's rows).
inline std::array<int, 3> readPixel(int x, int y) {
    unsigned char p[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

// Folder with demosong.mp3 and Textures/ (the build's generated data).
inline std::string dataDir() {
    const char* d = std::getenv("DEMO_DATA_DIR");
    return d ? d : "data";
}

// Scratch folder for files a test writes.
inline std::string tmpDir() {
    const char* d = std::getenv("DEMO_TEST_TMP");
    return d ? d : "/tmp";
}

} // namespace testgl

// A fixture whose tests all draw through the real context.
class GLTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testgl::ensureContext()) GTEST_SKIP() << "no GL context";
    }
};
