// Small checks shared by the scene tests: the texture environment the flower
// swarm leaves, a texture slot's image read back, a chosen spectrum, how
// much of a frame (outside the logo) is white, and a lighter blur's frames.
#pragma once

#include "app/Engine.h"
#include "app/Timeline.h"
#include "image/Texture.h"
#include "platform/GLExt.h"
#include "scenes/DemoFixture.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace demotest {

// Unit 0 as the flower swarm leaves it from 89300 ms on: the RGB of the
// texture alone, the alpha of texture times colour.
inline void useCombineMode() {
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvf(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_REPLACE);
}

// Unit 0 active and left in that combine mode (as the blob and the sphere
// room leave it), unit 1 with texturing off.
inline void expectCombineModeLeft() {
    GLint active = 0, mode = 0, rgb = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE0_ARB);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, &rgb);
    EXPECT_EQ(mode, GL_COMBINE_ARB);
    EXPECT_EQ(rgb, GL_REPLACE);
    arb::glActiveTextureARB(GL_TEXTURE1_ARB);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
}

// What a pass of stacked sprite layers must leave as it found it: the
// active unit, unit 0's environment, unit 1, the wrap of the texture in
// `slot`, the blend function and the fog.
struct StackedLayersState {
    GLint activeUnit = 0, unit0Mode = 0, unit0Rgb = 0, unit1Enabled = 0, unit1Texture = 0, wrapS = 0, wrapT = 0,
          blendSrc = 0, blendDst = 0, fog = 0;
    explicit StackedLayersState(int slot) {
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &activeUnit);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &unit0Mode);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, &unit0Rgb);
        arb::glActiveTextureARB(GL_TEXTURE1_ARB);
        unit1Enabled = glIsEnabled(GL_TEXTURE_2D);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit1Texture);
        arb::glActiveTextureARB(static_cast<GLenum>(activeUnit));
        engine->textureManager->bind(engine->textures[slot]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
        glGetIntegerv(GL_BLEND_SRC, &blendSrc);
        glGetIntegerv(GL_BLEND_DST, &blendDst);
        fog = glIsEnabled(GL_FOG);
        glGetFloatv(GL_CURRENT_COLOR, colour);
    }
    GLfloat colour[4] = {};
    bool operator==(const StackedLayersState& o) const {
        const GLint a[] = {activeUnit, unit0Mode, unit0Rgb, unit1Enabled, unit1Texture, wrapS, wrapT, blendSrc, blendDst, fog};
        const GLint b[] = {o.activeUnit, o.unit0Mode, o.unit0Rgb, o.unit1Enabled, o.unit1Texture,
                           o.wrapS,      o.wrapT,     o.blendSrc, o.blendDst,     o.fog};
        return std::equal(a, a + 10, b) && std::equal(colour, colour + 4, o.colour);
    }
};

// The image of a texture slot as RGBA, first row first; width and height out.
inline std::vector<unsigned char> slotImage(int slot, int* width, int* height) {
    engine->textureManager->bind(engine->textures[slot]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    std::vector<unsigned char> rgba(static_cast<size_t>(*width) * *height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

// While alive, every frame hears a spectrum of `value` in band `band` and
// silence elsewhere.
class SpectrumOverride {
public:
    SpectrumOverride(int band, float value) {
        band_ = band;
        value_ = value;
        useFixedStepClock(source);
    }
    ~SpectrumOverride() { useFixedStepClock(nullptr); }

private:
    static void source(double, float* out) {
        std::fill(out, out + 64, 0.0f);
        out[band_] = value_;
    }
    static inline int band_ = 0;
    static inline float value_ = 0;
};

// Pixels outside the logo's corner with a channel below `least`, on a 4-pixel grid.
inline int pixelsBelow(const Frame& f, int least) {
    int n = 0;
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4) {
            if (x >= 896 && y >= 640) continue;
            const auto p = f.at(x, y);
            n += *std::min_element(p.begin(), p.end()) < least;
        }
    return n;
}

// A scene whose glow-source blur leaves out `leftOut` copies of each pass
// (set through `setting`, its value now): the frame at `ms` (a step of 0,
// so both renders start from the same state; `seed`, when not 0, seeds
// rand() before each) within `dB` and `levels` of the same frame with the
// full blur, and not byte for byte it.
inline void expectLighterBlurNearTheFull(int& setting, double ms, double dB, int levels, unsigned seed = 0) {
    const int leftOut = setting;
    if (seed) std::srand(seed);
    renderAt(ms, 0);
    const Frame lighter;
    setting = 0;
    if (seed) std::srand(seed);
    renderAt(ms, 0);
    const Frame full;
    setting = leftOut;
    EXPECT_GE(lighter.psnrTo(full), dB) << ms;
    EXPECT_LT(lighter.psnrTo(full), 1e9) << ms;
    EXPECT_LE(lighter.largestDifferenceTo(full), levels) << ms;
}

} // namespace demotest
