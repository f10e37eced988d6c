// The timeline: the music clock, the sync points, the scene schedule (read
// from the scene table) and start-up.
//
// One frame (CApplication::run): advance the sound, read the spectrum and the
// position, pick the scene that owns the moment, let it draw, lay the logo
// over the finished frame, blacken the frame outside the picture. The same
// frame drawn again (CApplication::redraw) only draws.
#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/SlotImages.h"
#include "app/Timeline.h"
#include "app/WarmUp.h"
#include "fx/FramePasses.h"
#include "fx/Glow.h"
#include "image/Texture.h"
#include "platform/GLExt.h"
#include "platform/Platform.h"
#include "platform/Sound.h"
#include "scenes/SceneTable.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

float demoMS = 0.0f;
float* frequencies = nullptr;
int currentScene = 0;
int syncCount = 0;
const char* musicFile = kTrackFile;

int syncs[41] = {DEMO_SYNC_POINTS_MS, kSyncTerminator};

namespace {

// Where the music position comes from: the sound layer, or the fixed step.
struct FixedStep {
    bool active = false;
    double positionMs = 0;
    SpectrumSource spectrumAt = nullptr;
};
FixedStep fixedStep;

// Scene index (number - 1) -> its advance and draw, for the per-frame dispatch.
struct Dispatch {
    void (*advance[kSceneCount])();
    void (*draw[kSceneCount])();
};
constexpr Dispatch makeDispatch() {
    Dispatch d{};
    for (const SceneEntry& s : kScenes) {
        d.advance[s.number - 1] = s.advance;
        d.draw[s.number - 1] = s.draw;
    }
    return d;
}
constexpr Dispatch kDispatch = makeDispatch();

// The logo: slot cola at half opacity over the bottom-right 128 x 128 of
// the design space.
void drawLogo() {
    constexpr int kLogoSize = 128;
    markFramePass(FramePass::Logo);
    drawOverlay(kSlotCola, 1, 1, 1, 0.5f, platform::kDesignWidth - kLogoSize, platform::kDesignHeight - kLogoSize,
                platform::kDesignWidth, platform::kDesignHeight);
}

} // namespace

int countSyncs() {
    int n = 0;
    while (n < 41 && syncs[n] != kSyncTerminator) ++n;
    return n;
}

int getSync() {
    for (int i = syncCount - 1; i >= 0; --i)
        if (demoMS > static_cast<float>(syncs[i])) return i;
    return 0;
}

float getSyncFloat() {
    const float d = static_cast<float>(syncs[getSync()]) - demoMS;
    if (d > -500.0f && d < 0.0f) return (d + 500.0f) / 500.0f;
    return 0.0f;
}

float getTimeSinceSync() { return demoMS - static_cast<float>(syncs[getSync()]); }

int sceneForTime(float ms, int previous) {
    if (ms >= kDemoEndMs) return previous;
    for (int i = kSceneCount - 1; i >= 0; --i)
        if (ms >= stretchStartMs(i)) return stretchScene(i);
    return stretchScene(0); // before 0 ms (never happens with a real clock)
}

void InitFMOD() {
    if (!fixedStep.active) platform::soundStart(musicFile);
}

void useFixedStepClock(SpectrumSource spectrumAt) {
    fixedStep.active = true;
    fixedStep.spectrumAt = spectrumAt;
}

void setFixedStepPosition(double ms) { fixedStep.positionMs = ms; }

void useLiveClock() { fixedStep.active = false; }

bool fixedStepClock() { return fixedStep.active; }

namespace {

// The start of every frame: the position, the scene that owns it and the end.
void readClock(bool withSpectrum) {
    if (fixedStep.active) {
        // Nothing that only advances state reads the spectrum.
        if (withSpectrum && fixedStep.spectrumAt)
            fixedStep.spectrumAt(fixedStep.positionMs, frequencies);
        else if (withSpectrum)
            std::fill(frequencies, frequencies + platform::kSpectrumBands, 0.0f);
        demoMS = static_cast<float>(fixedStep.positionMs);
    } else {
        platform::soundUpdate();
        platform::soundSpectrum(frequencies);
        demoMS = static_cast<float>(platform::soundPositionMs());
    }
    currentScene = sceneForTime(demoMS, currentScene);
    if (demoMS > kDemoEndMs) done = true; // this frame is still drawn and shown
}

} // namespace

void restartTimeline() {
    for (const SceneEntry& s : kScenes)
        if (s.reset) s.reset();
    // rand() unseeded gives the sequence of seed 1.
    std::srand(1);
    currentScene = sceneForTime(0, 0);
    done = false;
    // The texture environments as start-up leaves them: the blob and the
    // sphere room put both units into combine modes for good.
    for (GLenum unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
        arb::glActiveTextureARB(unit);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_MODULATE);
    }
}

void advanceFrame() {
    readClock(false);
    if (kDispatch.advance[currentScene]) kDispatch.advance[currentScene]();
}

void CApplication::run() {
    readClock(true);
    // The owning scene's frame: what outlives it moved first, then drawn
    // (sceneNupdate, through the table).
    if (kDispatch.advance[currentScene]) kDispatch.advance[currentScene]();
    kDispatch.draw[currentScene]();
    drawLogo();
    platform::clearBars();
}

void CApplication::redraw() {
    // Only the drawing: a scene's draw moves nothing that outlives it.
    kDispatch.draw[currentScene]();
    drawLogo();
    platform::clearBars();
}
