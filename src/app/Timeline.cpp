// The timeline: the music clock, the sync points, the scene schedule (read
// from the scene table) and start-up.
//
// One frame (CApplication::run): advance the sound, read the spectrum and the
// position, pick the scene that owns the moment, let it draw, lay the logo
// over the finished frame, blacken the frame outside the picture.
#include "app/CApplication.h"
#include "app/DataFolder.h"
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
const char* musicFile = "demosong.mp3";

int syncs[41] = {50,    740,   1920,  2620,  3800,  4500,  5650,  6360,  7500,  8200,  9370,
                 10070, 11200, 11930, 13100, 13800, 14800, 18700, 22380, 26060, 29600, 33250,
                 37000, 40650, 45000, 45900, 46800, 47750, 48700, 49650, 50550, 51450, 52400,
                 53330, 54280, 55200, 56130, 57080, 58000, 58930, kSyncTerminator};

namespace {

// Where the music position comes from: the sound layer, or the fixed step.
struct FixedStep {
    bool active = false;
    double positionMs = 0;
    SpectrumSource spectrumAt = nullptr;
};
FixedStep fixedStep;

// Scene index (number - 1) -> its update and advance, for the per-frame dispatch.
struct Dispatch {
    void (*update[kSceneCount])();
    void (*advance[kSceneCount])();
};
constexpr Dispatch makeDispatch() {
    Dispatch d{};
    for (const SceneEntry& s : kScenes) {
        d.update[s.number - 1] = s.update;
        d.advance[s.number - 1] = s.advance;
    }
    return d;
}
constexpr Dispatch kDispatch = makeDispatch();

// The logo: slot cola at half opacity over the bottom-right 128 x 128.
void drawLogo() {
    markFramePass(FramePass::Logo);
    drawOverlay(kSlotCola, 1, 1, 1, 0.5f, 896, 640, 1024, 768);
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
std::vector<std::string> problems; // what start-up could not load, one line each
} // namespace

const std::vector<std::string>& startupProblems() { return problems; }

void CApplication::precalc() {
    // Missing and damaged files are gathered and shown together at the end:
    // one box, not one per file.
    platform::gatherErrors(true);
    frequencies = new float[10000](); // only entries 0..63 are ever written
    syncCount = countSyncs();
    engine = new Engine();
    engine->init();
    // Headless, a damaged image stops the run: its memory is not kept meanwhile.
    engine->textureManager->uploadDamaged = !fixedStep.active;

    // Fixed state. The aspect and near distance are single-precision values
    // widened to double, as the original computation made them.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, static_cast<double>(1.3333334f), static_cast<double>(0.1f), 20000);
    glViewport(0, 0, platform::kDesignWidth, platform::kDesignHeight);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    int slot = kFirstImageSlot;
    for (const SlotImage& s : kSlotImages) {
        engine->textures[slot++] = s.mask ? engine->textureManager->load(s.image, s.mask, GL_LINEAR)
                                          : engine->textureManager->load(s.image, GL_LINEAR);
    }

    // The scenes are built in source-file order, not timeline order.
    for (int number = 1; number <= kSceneCount; ++number) sceneNumbered(number).init();

    platform::gatherErrors(false);
    problems = platform::gatheredErrors();
    // Live, the demo plays on without what is missing (empty textures); the
    // headless tools refuse to render without it (their caller decides).
    if (!fixedStep.active) {
        std::vector<std::string> lines;
        for (const std::string& problem : problems) lines.push_back(problem + " in " + dataFolderInUse());
        platform::showErrors("Error", lines);
    }
    // Live, every scene's first-use work is paid now, while the window is
    // still black, rather than at its first frames (WarmUp.h).
    if (warmUpBeforeMusicAsked()) warmUp(*this, warmUpBeforeMusicBudget());
    InitFMOD();
}

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
    kDispatch.update[currentScene]();
    drawLogo();
    platform::clearBars();
}
