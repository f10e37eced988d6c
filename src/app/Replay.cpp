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

void advanceFixedStep(double ms, double stepMs) {
    setFixedStepPosition(ms);
    skip = static_cast<float>(stepMs / 50.0);
    advanceFrame();
}

long replayUnshown(CApplication& app, double pictureMs, double stepMs, long* wholeFrames) {
    auto msOf = [stepMs](long n) { return static_cast<double>(n) * stepMs; };
    // From the end of the demo on, the last scene still owns the picture.
    auto sceneOf = [](double ms) { return sceneForTime(static_cast<float>(ms), stretchScene(kSceneCount - 1)); };
    const long to = static_cast<long>(std::ceil(pictureMs / stepMs - 1e-9));
    long whole = 0;
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    // A stop signal (SIGINT, SIGTERM, SIGHUP) ends the replay; the caller checks it.
    for (long n = 0; n < to && !platform::stopSignal(); ++n) {
        // Drawn: the frame just before the picture, whose state the
        // picture's frame starts from, and the last frame of each scene
        // that leaves GL state to the scenes after it (the texture
        // environment of the blob and the sphere room). No frame reads back
        // what an earlier one drew (each glow source is drawn and blurred
        // within its frame), so every other frame only moves the state that
        // outlives it.
        const int scene = sceneOf(msOf(n));
        if (n + 1 == to ||
            (scene != sceneOf(msOf(n + 1)) && sceneNumbered(scene + 1).leavesGlState)) {
            renderFixedStep(app, msOf(n), stepMs);
            ++whole;
        } else {
            advanceFixedStep(msOf(n), stepMs);
        }
    }
    glDisable(GL_SCISSOR_TEST);
    if (wholeFrames) *wholeFrames = whole;
    return to;
}
