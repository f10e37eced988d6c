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

long walkGrid(CApplication& app, long to, double stepMs, const std::function<GridStep(long n)>& step) {
    long n = 0;
    // A drawn frame rasterises one pixel: its state is set up whatever it
    // covers, and the glow corner stays unscissored by it.
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    for (; n < to && !platform::stopSignal(); ++n) {
        const GridStep what = step(n);
        if (what == GridStep::Stop) break;
        const double ms = static_cast<double>(n) * stepMs;
        if (what == GridStep::Draw)
            renderFixedStep(app, ms, stepMs);
        else
            advanceFixedStep(ms, stepMs);
    }
    glDisable(GL_SCISSOR_TEST);
    return n;
}

long replayUnshown(CApplication& app, double pictureMs, double stepMs, long* wholeFrames) {
    auto msOf = [stepMs](long n) { return static_cast<double>(n) * stepMs; };
    // From the end of the demo on, the last scene still owns the picture.
    auto sceneOf = [](double ms) { return sceneForTime(static_cast<float>(ms), stretchScene(kSceneCount - 1)); };
    const long to = static_cast<long>(std::ceil(pictureMs / stepMs - 1e-9));
    long whole = 0;
    // Drawn: the frame just before the picture, whose state the picture's
    // frame starts from, and the last frame of each scene that leaves GL
    // state to the scenes after it (the texture environment of the blob and
    // the sphere room). No frame reads back what an earlier one drew (each
    // glow source is drawn and blurred within its frame), so every other
    // frame only moves the state that outlives it.
    walkGrid(app, to, stepMs, [&](long n) {
        const int scene = sceneOf(msOf(n));
        if (n + 1 == to || (scene != sceneOf(msOf(n + 1)) && sceneNumbered(scene + 1).leavesGlState)) {
            ++whole;
            return GridStep::Draw;
        }
        return GridStep::Advance;
    });
    if (wholeFrames) *wholeFrames = whole;
    return to;
}

void showMoment(CApplication& app, double ms, double stepMs) {
    const long end = replayUnshown(app, ms, stepMs);
    if (platform::stopSignal()) return;
    const double previous = end > 0 ? static_cast<double>(end - 1) * stepMs : ms - stepMs;
    renderFixedStep(app, ms, ms - previous);
}
