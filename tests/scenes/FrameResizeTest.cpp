// The frame resized under the running demo, as a window that follows its
// drawable size resizes it: the picture on show is carried over, the next
// frames fill the new picture with black bars around it and lines at its
// scale, and back at the design size the frames are what they were.
#include "scenes/DemoFixture.h"

#include "platform/Platform.h"

#include <GL/gl.h>

#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

// The whole frame as RGB, first row at the top.
std::vector<unsigned char> readWholeFrame() {
    std::vector<unsigned char> rgb(static_cast<size_t>(platform::frameWidth()) * platform::frameHeight() * 3);
    platform::readFrame(rgb.data());
    return rgb;
}

// Pixels of a 1920 x 1080 frame outside its 1440 x 1080 picture that are not black.
long litBarPixels(const std::vector<unsigned char>& rgb) {
    long lit = 0;
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x) {
            if (x >= 240 && x < 1680)
                continue;
            const unsigned char* p = &rgb[(static_cast<size_t>(y) * 1920 + x) * 3];
            lit += p[0] || p[1] || p[2];
        }
    return lit;
}

float lineWidth() {
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    return width;
}

class FrameResizeTest : public DemoTest {
  protected:
    void TearDown() override { platform::resizeFrame(platform::kDesignWidth, platform::kDesignHeight); }
};

TEST_F(FrameResizeTest, WideFrameAndBackKeepsThePictureCentredAndTheDesignFramesExact) {
    // The ending image: no state, so the same moment draws the same frame.
    renderAt(197000);
    const Frame before;

    ASSERT_TRUE(platform::resizeFrame(1920, 1080));
    EXPECT_EQ(platform::frameWidth(), 1920);
    EXPECT_EQ(platform::frameHeight(), 1080);
    const platform::Rect picture = platform::pictureRect();
    EXPECT_EQ(picture.x, 240);
    EXPECT_EQ(picture.width, 1440);
    // The frame on show, carried over: scaled into the picture, bars black.
    const std::vector<unsigned char> carried = readWholeFrame();
    EXPECT_EQ(litBarPixels(carried), 0);
    // Each quarter of the picture keeps its mean colour (the logo's quarter
    // is darker than the others: a flipped or shifted copy would not match).
    for (int q = 0; q < 4; ++q) {
        const int qx = q % 2, qy = q / 2;
        double carriedSum = 0, designSum = 0;
        for (int y = qy * 540; y < qy * 540 + 540; ++y)
            for (int x = 240 + qx * 720; x < 240 + qx * 720 + 720; ++x)
                for (int c = 0; c < 3; ++c)
                    carriedSum += carried[(static_cast<size_t>(y) * 1920 + x) * 3 + c];
        for (int y = qy * 384; y < qy * 384 + 384; ++y)
            for (int x = qx * 512; x < qx * 512 + 512; ++x)
                for (int c = 0; c < 3; ++c)
                    designSum += before.at(x, y)[c];
        EXPECT_NEAR(carriedSum / (540.0 * 720 * 3), designSum / (384.0 * 512 * 3), 1.0) << "quarter " << q;
    }

    // Columns on white: the scene clears the whole frame white, the bars
    // are black again by the end of the frame; its 2-pixel lines are drawn
    // 2 x 1080 / 768 pixels wide.
    renderAt(186000);
    EXPECT_EQ(litBarPixels(readWholeFrame()), 0);
    EXPECT_FLOAT_EQ(lineWidth(), 2.0f * 1080 / 768);

    ASSERT_TRUE(platform::resizeFrame(1024, 768));
    renderAt(186000);
    EXPECT_FLOAT_EQ(lineWidth(), 2.0f);
    renderAt(197000);
    const Frame after;
    EXPECT_EQ(after.differenceTo(before), 0.0);
}

TEST_F(FrameResizeTest, SizeBeyondTheLimitsIsRefusedAndTheFrameStays) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    EXPECT_FALSE(platform::resizeFrame(largest + 1, 768));
    EXPECT_FALSE(platform::resizeFrame(0, 768));
    EXPECT_EQ(platform::frameWidth(), 1024);
    EXPECT_EQ(platform::frameHeight(), 768);
    renderAt(197000);
    EXPECT_GT(Frame().shareNear({255, 255, 255}, 8), 0.5); // still drawing into the same frame
}

} // namespace
