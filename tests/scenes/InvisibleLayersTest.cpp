// Layers that blend at alpha 0 or below are left out of the frame: the
// pictures and the GL state they leave are byte for byte those of drawing
// every layer. Images are drawn as their pieces of non-zero alpha, and Scene
// 9's grass as strips: byte for byte where the pieces are screen-aligned,
// within a level's rounding of a texture coordinate or a depth elsewhere.
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "app/LayerClock.h"
#include "fx/Glow.h"
#include "scenes/SceneShared.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
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

// What `draw` leaves with invisible work left out, then with all of it done.
std::array<Snapshot, 2> bothWays(const std::function<void()>& draw) {
    std::array<Snapshot, 2> results;
    for (int drawAll = 0; drawAll < 2; ++drawAll) {
        skipInvisibleWork = drawAll == 0;
        draw();
        results[drawAll] = Snapshot();
    }
    skipInvisibleWork = true;
    return results;
}

// Runs `draw` both ways, from the same starting picture, and compares what each leaves.
void compareBothWays(const std::function<void()>& draw, const char* what) {
    const auto results = bothWays(draw);
    expectSame(results[0], results[1], what);
}

// Runs `draw` both ways and returns the two pictures' PSNR (dB, 1e9 when
// equal) and how many bytes differ by more than `levels`.
std::pair<double, long> pictureChangeBothWays(const std::function<void()>& draw, int levels) {
    const auto results = bothWays(draw);
    double squares = 0;
    long far = 0;
    for (size_t i = 0; i < results[0].rgb.size(); ++i) {
        const int d = results[0].rgb[i] - results[1].rgb[i];
        squares += d * d;
        far += std::abs(d) > levels;
    }
    const double mse = squares / results[0].rgb.size();
    return {mse == 0 ? 1e9 : 10 * std::log10(255.0 * 255.0 / mse), far};
}

// Puts `picture` back on the screen, in the 2D set-up the passes start from.
void redraw(const Snapshot& picture) {
    engine->orthoIntoPicture();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glRasterPos2i(0, 767);
    glPixelZoom(1, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glWindowPos2i(0, 0);
    glDrawPixels(1024, 768, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
}

class InvisibleLayersTest : public DemoTest {};

// The corner images at the design size: each pixel centre is a texel centre,
// so the pieces' pixels are the whole quad's, byte for byte.
TEST_F(InvisibleLayersTest, OverlaysDrawnAsTheirPiecesAreByteForByteTheWholeImages) {
    renderAt(20000, 1000.0 / 60);
    const Snapshot picture;
    struct Overlay {
        int slot;
        float r, g, b, a;
        double x0, y0, x1, y1;
        bool firstRowAtBottom;
    };
    const Overlay overlays[] = {
        {kSlotTrash, 0, 0, 0, 0.5f, 0, 0, 512, 512, true},     {kSlotFlowers2, 0, 0, 0, 1, 0, 0, 512, 512, false},
        {kSlotButterfly, 0, 0, 0, 0.5f, 768, 0, 1024, 256, false}, {kSlotFlowers, 0, 0, 0, 1, 0, 0, 256, 256, false},
        {kSlotCola, 1, 1, 1, 0.5f, 896, 640, 1024, 768, false},  {kSlotTrash, 1, 1, 1, 1, 300, 200, 812, 712, false},
    };
    for (const Overlay& o : overlays)
        compareBothWays(
            [&] {
                redraw(picture);
                drawOverlay(o.slot, o.r, o.g, o.b, o.a, o.x0, o.y0, o.x1, o.y1, o.firstRowAtBottom);
            },
            ("overlay of slot " + std::to_string(o.slot)).c_str());
}

// The talking head (turned, in perspective), Scene 5's greetings on the
// panel and Scene 9's grass: the pieces' own triangles interpolate texture
// coordinates, depth and fog a rounding apart from the whole quads'.
TEST_F(InvisibleLayersTest, HeadsGreetingsAndGrassStayWithinARoundingOfTheWholeDrawing) {
    const double moments[] = {
        70000,  // Scene 10's head
        121000, // Scene 5, the first greeting
        136000, // the fifth
        152000, // Scene 9's grass and head
        161000, // its flowers
        170000, // Scene 3's head
    };
    for (double ms : moments) {
        renderAt(ms, 1000.0 / 60);
        renderAt(ms, 0);
        // Scene 5 draws the panel's offsets with rand(): the same ones both ways.
        const auto [psnr, far] = pictureChangeBothWays(
            [ms] {
                std::srand(5);
                renderAt(ms, 0);
            },
            2);
        EXPECT_GE(psnr, 65) << ms;
        EXPECT_LT(far, 40) << ms; // of 2.36 million bytes
    }
}

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
    for (const auto& [what, pass] : passes) compareBothWays([&, pass = pass] { redraw(picture); pass(); }, what);
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
