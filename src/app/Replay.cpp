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

long replayUnshown(CApplication& app, double pictureMs, double stepMs, long maxSceneFrames, long* wholeFrames) {
    auto msOf = [stepMs](long n) { return static_cast<double>(n) * stepMs; };
    // From the end of the demo on, the last scene still owns the picture.
    auto sceneOf = [](double ms) {
        return sceneForTime(static_cast<float>(ms), stretchScene(kSceneCount - 1));
    };
    const long to = static_cast<long>(std::ceil(pictureMs / stepMs - 1e-9));
    const int owner = sceneOf(pictureMs);
    long whole = 0;
    auto render = [&](double ms, double step) {
        renderFixedStep(app, ms, step);
        ++whole;
    };
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    // A stop signal (SIGINT, SIGTERM, SIGHUP) ends the replay; the caller checks it.
    long n = 0;
    for (; n < to && !platform::stopSignal(); ++n) {
        const int scene = sceneOf(msOf(n));
        if (scene == owner) break;
        if (scene != sceneOf(msOf(n + 1))) {
            render(msOf(n), stepMs);
        } else {
            setFixedStepPosition(msOf(n));
            skip = static_cast<float>(stepMs / 50.0);
            advanceFrame();
        }
    }
    // The owning scene's frames, on the grid, or on fewer, longer steps when
    // there are more than the caller can wait for.
    if (maxSceneFrames <= 0 || to - n <= maxSceneFrames) {
        for (; n < to && !platform::stopSignal(); ++n) render(msOf(n), stepMs);
    } else {
        const double first = msOf(n), step = (pictureMs - first) / maxSceneFrames;
        // Its first frame follows the grid's last; the rest are `step` apart.
        for (long k = 0; k < maxSceneFrames && !platform::stopSignal(); ++k)
            render(first + k * step, k == 0 ? stepMs : step);
    }
    glDisable(GL_SCISSOR_TEST);
    if (wholeFrames) *wholeFrames = whole;
    return to;
}
