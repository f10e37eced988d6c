// Scene 1: the curtain withdrawing, the camera cut on a sync point, the
// corner silhouette through its mask and the blurred white at the end.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "image/Texture.h"

#include <GL/gl.h>

#include <algorithm>
#include <vector>

namespace {

using demotest::Frame;
using demotest::renderAt;

class Scene1Test : public DemoTest {};

bool isCurtain(std::array<int, 3> p) {
    return std::abs(p[0] - 153) <= 3 && std::abs(p[1] - 128) <= 3 && std::abs(p[2] - 77) <= 3;
}

TEST_F(Scene1Test, CurtainWithdrawsOverTheFirstSecond) {
    renderAt(14800);
    const Frame start;
    EXPECT_TRUE(isCurtain(start.at(512, 10)));
    EXPECT_TRUE(isCurtain(start.at(10, 700)));
    renderAt(15300); // halfway: the top of the screen is free, the bottom is not
    const Frame half;
    EXPECT_FALSE(isCurtain(half.at(512, 10)));
    renderAt(15800);
    const Frame gone;
    int curtainPixels = 0;
    for (int x = 0; x < 896; x += 8) curtainPixels += isCurtain(gone.at(x, 767));
    EXPECT_EQ(curtainPixels, 0);
}

TEST_F(Scene1Test, CameraCutsJustAfterTheSyncPointNotAtIt) {
    renderAt(18699.9);
    const Frame before;
    renderAt(18700);
    const Frame at;
    renderAt(18700.1);
    const Frame after;
    const double glide = before.differenceTo(at), cut = at.differenceTo(after);
    EXPECT_LT(glide, 2.0);
    EXPECT_GT(cut, 10 * glide + 5.0);
}

TEST_F(Scene1Test, FlowersSilhouetteIsBlackThroughItsMask) {
    renderAt(20000); // no sync flash: 18700 + 500 < 20000
    const Frame f;
    std::vector<unsigned char> t(256 * 256 * 4);
    engine->textureManager->bind(engine->textures[kSlotFlowers]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
    int checked = 0;
    for (int y = 1; y < 255; y += 3)
        for (int x = 1; x < 255; x += 3) {
            int least = 255; // the texel and its neighbours nearly opaque
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) least = std::min<int>(least, t[((y + dy) * 256 + x + dx) * 4 + 3]);
            if (least < 235) continue;
            // Texel (x, y) lands on pixel (x, y), first row at the top; black at
            // opacity a leaves at most (1 - a) of the picture.
            const auto p = f.at(x, y);
            for (int c : p) EXPECT_LE(c, 255 - least + 2) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 20);
}

TEST_F(Scene1Test, EndsInBlurredWhite) {
    renderAt(29100); // not yet drawn: the floor's colours show
    const Frame before;
    int dark = 0;
    for (int y = 0; y < 768; y += 8)
        for (int x = 0; x < 896; x += 8) dark += before.at(x, y)[0] < 200;
    EXPECT_GT(dark, 50);
    renderAt(29599.9);
    const Frame end;
    for (int y = 0; y < 768; y += 16)
        for (int x = 0; x < 896; x += 16) EXPECT_GE(end.at(x, y)[1], 253) << x << "," << y;
}

} // namespace
