// Frame passes, timed on the CPU clock between glFinish brackets.
#include "fx/FramePasses.h"

#include <GL/gl.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

struct State {
    bool enabled = false;
    FramePass current = FramePass::Count; // Count: no pass open yet this frame
    Clock::time_point since;              // start of the open pass
};
State state;

// The pass a mark really starts, given the pass the frame is in. The
// perspective set-up of the full picture opens the picture only before it
// is drawn (the talking head sets it again among the overlays); only the
// first glow pass straight after the picture is the glow, later ones are
// flashes and transitions; once the logo is marked the frame stays there.
FramePass resolve(FramePass current, FramePass marked) {
    const bool none = current == FramePass::Count;
    switch (marked) {
    case FramePass::Picture:
        return none || current <= FramePass::Blur ? FramePass::Picture : FramePass::Overlays;
    case FramePass::Glow: return current == FramePass::Picture ? FramePass::Glow : FramePass::Overlays;
    case FramePass::Overlays:
        if (none) return FramePass::Overlays;
        return current == FramePass::Logo || current < FramePass::Picture ? current : FramePass::Overlays;
    default: return marked;
    }
}

// Closes the open pass (its GL work finished) and adds its time.
void closePass(double totals[kFramePasses]) {
    glFinish();
    const Clock::time_point now = Clock::now();
    if (state.current != FramePass::Count && totals)
        totals[static_cast<int>(state.current)] += std::chrono::duration<double, std::milli>(now - state.since).count();
    state.since = now;
}

double pending[kFramePasses]; // this frame's times until endFramePasses

} // namespace

void enableFramePasses(bool on) {
    state.enabled = on;
    state.current = FramePass::Count;
    for (double& t : pending) t = 0;
}

void markFramePass(FramePass marked) {
    if (!state.enabled) return;
    const FramePass pass = resolve(state.current, marked);
    if (pass == state.current) return;
    closePass(pending);
    state.current = pass;
}

void endFramePasses(double totals[kFramePasses]) {
    if (!state.enabled) return;
    closePass(pending);
    for (int k = 0; k < kFramePasses; ++k) {
        totals[k] += pending[k];
        pending[k] = 0;
    }
    state.current = FramePass::Count;
}

const char* framePassName(FramePass pass) {
    static const char* const names[kFramePasses] = {"glow source", "blur", "picture", "glow", "overlays", "logo"};
    return pass == FramePass::Count ? "" : names[static_cast<int>(pass)];
}
