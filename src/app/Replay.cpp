// Replay: see Replay.h.
#include "app/Replay.h"

#include "app/CApplication.h"
#include "app/Timeline.h"
#include "platform/Output.h"

#include <GL/gl.h>

#include <cmath>

void renderFixedStep(CApplication& app, double ms, double stepMs) {
    setFixedStepPosition(ms);
    skip = static_cast<float>(stepMs / 50.0);
    app.run();
}

long replayUnshown(CApplication& app, double pictureMs, double stepMs) {
    auto msOf = [stepMs](long n) { return static_cast<double>(n) * stepMs; };
    auto sceneOf = [](double ms) { return sceneForTime(static_cast<float>(ms), 0); };
    const long to = static_cast<long>(std::ceil(pictureMs / stepMs - 1e-9));
    const int owner = sceneOf(pictureMs);
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    // A stop signal (SIGINT, SIGTERM) ends the replay; the caller checks it.
    for (long n = 0; n < to && !platform::stopSignal(); ++n) {
        const int scene = sceneOf(msOf(n));
        if (scene == owner || scene != sceneOf(msOf(n + 1))) {
            renderFixedStep(app, msOf(n), stepMs);
        } else {
            setFixedStepPosition(msOf(n));
            skip = static_cast<float>(stepMs / 50.0);
            advanceFrame();
        }
    }
    glDisable(GL_SCISSOR_TEST);
    return to;
}
