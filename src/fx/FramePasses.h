// Frame passes: where a frame's time goes, for the benchmark. The shared
// drawing steps mark the pass they start (the glow source, its blur, the
// picture, the glow laid over it, the overlays, flashes and transitions, the
// logo), and each stretch between marks is timed on the CPU clock after a
// glFinish, so the software rasteriser's deferred work is counted in the
// pass that queued it.
//
// The glFinish brackets cost something (the rasteriser can no longer overlap
// our own work, and every pass waits for its threads), so measuring is off
// unless the benchmark asks for it; a mark is then one test of a flag.
// GL timer queries were tried first: on Mesa's software rasteriser their
// figures land in whichever pass flushes the deferred work (a 128 x 128 blur
// read 24 ms), so they do not say where the time goes.
#pragma once

enum class FramePass { GlowSource, Blur, Picture, Glow, Overlays, Logo, Count };
constexpr int kFramePasses = static_cast<int>(FramePass::Count);

void enableFramePasses(bool on);

// A shared step starts: the frame's time from here on counts to `pass`,
// given the pass the frame is in (see FramePasses.cpp for the rules).
void markFramePass(FramePass pass);
// The frame is over: finishes its GL work and adds each pass's time (ms) to
// `totals`. The next frame starts with no pass open.
void endFramePasses(double totals[kFramePasses]);

const char* framePassName(FramePass pass);
