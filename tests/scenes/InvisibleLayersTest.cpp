// Layers that blend at alpha 0 or below are left out of the frame: the
// pictures and the GL state they leave are byte for byte those of drawing
// every layer.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "app/Offline.h"
#include "fx/Glow.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using demotest::renderAt;

// The whole picture and the state a later step could see.
struct Snapshot {
    std::vector<unsigned char> rgb = std::vector<unsigned char>(1024 * 768 * 3);
    std::vector<float> depth = std::vector<float>(64 * 64);
    double projection[16], modelview[16];
    float colour[4];
    int viewport[4], blendSrc, blendDst, texture;
    bool blend, depthTest, texturing, fog, depthMask;

    Snapshot() {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glReadPixels(480, 352, 64, 64, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetIntegerv(GL_BLEND_SRC, &blendSrc);
        glGetIntegerv(GL_BLEND_DST, &blendDst);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        depthMask = mask;
        blend = glIsEnabled(GL_BLEND);
        depthTest = glIsEnabled(GL_DEPTH_TEST);
        texturing = glIsEnabled(GL_TEXTURE_2D);
        fog = glIsEnabled(GL_FOG);
    }
};

void expectSame(const Snapshot& a, const Snapshot& b, const char* what) {
    EXPECT_TRUE(a.rgb == b.rgb) << what << ": pixels differ";
    EXPECT_TRUE(a.depth == b.depth) << what << ": depth differs";
    EXPECT_EQ(0, std::memcmp(a.projection, b.projection, sizeof a.projection)) << what;
    EXPECT_EQ(0, std::memcmp(a.modelview, b.modelview, sizeof a.modelview)) << what;
    EXPECT_EQ(0, std::memcmp(a.colour, b.colour, sizeof a.colour)) << what;
    EXPECT_EQ(0, std::memcmp(a.viewport, b.viewport, sizeof a.viewport)) << what;
    EXPECT_EQ(a.blendSrc, b.blendSrc) << what;
    EXPECT_EQ(a.blendDst, b.blendDst) << what;
    EXPECT_EQ(a.texture, b.texture) << what;
    EXPECT_EQ(a.blend, b.blend) << what;
    EXPECT_EQ(a.depthTest, b.depthTest) << what;
    EXPECT_EQ(a.texturing, b.texturing) << what;
    EXPECT_EQ(a.fog, b.fog) << what;
    EXPECT_EQ(a.depthMask, b.depthMask) << what;
}

// Runs `draw` with invisible layers left out and again with every layer
// drawn, from the same starting picture, and compares what each leaves.
void compareBothWays(const std::function<void()>& draw, const char* what) {
    Snapshot results[2];
    for (int drawAll = 0; drawAll < 2; ++drawAll) {
        skipInvisibleWork = drawAll == 0;
        draw();
        results[drawAll] = Snapshot();
    }
    skipInvisibleWork = true;
    expectSame(results[0], results[1], what);
}

class InvisibleLayersTest : public DemoTest {};

// Frames whose flashes, fades and glows blend at alpha 0. A step of 0 keeps
// every scene's accumulated state where it is, so both renders start equal.
TEST_F(InvisibleLayersTest, FramesAreByteForByteThoseWithEveryLayerDrawn) {
    const double moments[] = {
        1000,  // the fade from black ends: its quad has alpha 0
        13800, // just before the curtain
        20000, // no sync flash: Scene 1's white flash at alpha 0
        28000, // nor here
    };
    for (double ms : moments) {
        renderAt(ms, 1000.0 / 60);
        renderAt(ms, 0); // bubbles whose life ran out respawn here, not in the comparison
        compareBothWays([ms] { renderAt(ms, 0); }, ("frame at " + std::to_string(ms)).c_str());
    }
}

// The shared passes themselves, over a picture drawn the same way each time.
TEST_F(InvisibleLayersTest, ZeroAlphaPassesLeaveThePictureAndTheStateOfADrawnLayer) {
    renderAt(20000, 1000.0 / 60);
    const Snapshot picture;
    auto restore = [&picture] {
        engine->ortho(1024, 768);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glRasterPos2i(0, 767);
        glPixelZoom(1, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glWindowPos2i(0, 0);
        glDrawPixels(1024, 768, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
    };
    const std::array<std::pair<const char*, std::function<void()>>, 8> passes = {{
        {"glow at alpha 0", [] { engine->glow->Render(engine->textureManager, 0); }},
        {"soft focus at alpha 0", [] { engine->glow->RenderBlur(engine->textureManager, 0); }},
        {"radial glow below 0", [] { engine->glow->RenderRadialBlur(engine->textureManager, -0.4f); }},
        {"black flash at 0", [] { engine->glow->RenderQuad(0, 0, 0, 0); }},
        {"white fade below 0", [] { renderTransition3(-0.25f); }},
        {"blurred white at 0", [] { renderTransition2(0); }},
        {"curtain far below 0", [] { renderTransition1(-1.5f); }},
        {"image at alpha 0", [] { renderTexture(0, 0, 0.5f, 20, 1, 1, 1, 0); }},
    }};
    for (const auto& [what, pass] : passes) compareBothWays([&, pass = pass] { restore(); pass(); }, what);
}

// The benchmark's yardstick between frames leaves the picture, the depth
// buffer and the state as they were, and the next frame as it would be.
TEST_F(InvisibleLayersTest, LayersMeasuredBetweenFramesChangeNothing) {
    LayerClock clock;
    ASSERT_TRUE(clock.open());
    for (double ms : {20000.0, 112000.0, 186000.0}) {
        renderAt(ms, 1000.0 / 60);
        renderAt(ms, 0);
        const Snapshot before;
        EXPECT_GT(clock.measure(), 0.0);
        expectSame(before, Snapshot(), "right after the layers");
        renderAt(ms, 0);
        const Snapshot plain;
        renderAt(ms, 0);
        clock.measure();
        renderAt(ms, 0);
        expectSame(plain, Snapshot(), "the next frame");
    }
}

} // namespace
