// The frame benchmark's yardstick, the layer (Benchmark.cpp measures with
// it; the benchmark itself is a headless mode, OfflineRun.h).
#pragma once

#include "platform/Scratch.h"

// The benchmark's yardstick taken between frames, so that a scene's figures
// in layers use layers measured while it ran (the machine's load changes
// during a run): ten full-screen textured quads blended as a glow pass lays
// them, drawn into a framebuffer of their own with every piece of GL state
// they touch saved and restored, so that the frames are those of a run
// without it. Exposed for tests.
class LayerClock {
public:
    bool open(); // false if the GL cannot make the framebuffer
    double measure(); // ms per quad, to the end of their rasterisation

private:
    platform::ScratchFramebuffer scratch_;
};
