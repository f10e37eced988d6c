// Start-up (CApplication::precalc): the spectrum buffer, the sync count, the
// Engine with its texture manager and glow, the fixed GL state, the images
// into their texture slots, every scene's set-up in source-file order, the
// warm-up of live play, and last the music, so that music time 0 falls after
// all loading. What could not be loaded is gathered and shown once.
#include "app/Startup.h"

#include "app/CApplication.h"
#include "app/DataFolder.h"
#include "app/Engine.h"
#include "app/SlotImages.h"
#include "app/Timeline.h"
#include "app/WarmUp.h"
#include "image/Texture.h"
#include "platform/Platform.h"
#include "scenes/SceneTable.h"

#include <GL/gl.h>
#include <GL/glu.h>

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
    engine->textureManager->uploadDamaged = !fixedStepClock();

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
    if (!fixedStepClock()) {
        std::vector<std::string> lines;
        for (const std::string& problem : problems) lines.push_back(problem + " in " + dataFolderInUse());
        platform::showErrors("Error", lines);
    }
    // Live, every scene's first-use work is paid now, while the window is
    // still black, rather than at its first frames (WarmUp.h).
    if (warmUpBeforeMusicAsked()) warmUp(*this, warmUpBeforeMusicBudget());
    InitFMOD();
}

