// Replay: see Replay.h.
#include "app/Replay.h"

#include "app/CApplication.h"
#include "app/Timeline.h"

#include <GL/gl.h>

void renderFixedStep(CApplication& app, double ms, double stepMs) {
    setFixedStepPosition(ms);
    skip = static_cast<float>(stepMs / 50.0);
    app.run();
}

void replayUnshown(CApplication& app, long to, double stepMs) {
    if (to <= 0) return;
    auto msOf = [stepMs](long n) { return static_cast<double>(n) * stepMs; };
    auto sceneOf = [&](long n) { return sceneForTime(static_cast<float>(msOf(n)), 0); };
    const int owner = sceneOf(to);
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    for (long n = 0; n < to; ++n) {
        const int scene = sceneOf(n);
        if (scene == owner || scene != sceneOf(n + 1)) {
            renderFixedStep(app, msOf(n), stepMs);
        } else {
            setFixedStepPosition(msOf(n));
            skip = static_cast<float>(stepMs / 50.0);
            advanceFrame();
        }
    }
    glDisable(GL_SCISSOR_TEST);
}
