// The warm-up: live play's last step of start-up before the music starts.
//
// The software rasteriser (Mesa's llvmpipe) compiles a shader for each new
// combination of GL state the first time a draw uses it (blend, depth,
// texture environment, fog, sampler set-up), and the first use of an image
// overlay reads its texture back once (imagePieces). Met during play, that
// work lands on a scene's first frames, the cuts the music marks. The
// warm-up draws, unshown and scissored down to one pixel, a frame at every
// moment whose state combinations no earlier moment uses, so that all of it
// is paid while the window is still black; then it puts everything back.
//
// It changes no pixel and no state: every scene's moving state, the rand()
// sequence and the texture environment go back through restartTimeline(), the
// GL state through the attribute and matrix stacks, the frame is cleared to
// black as start-up leaves it. The headless modes (--frame, --capture,
// --benchmark) draw no warm-up: their frames are not shown as they happen.
//
// Its cost depends on Mesa's on-disk shader cache (~/.cache/mesa_shader_cache,
// or MESA_SHADER_CACHE_DIR): with the shaders of an earlier run there, the
// whole warm-up takes 0.2 to 0.3 s on two cores; on a machine's first run,
// with every shader to compile, about 2 s. Live play gives it a budget so
// that the music starts in time either way: it goes on to the next moment
// only while the time spent plus its slowest moment so far stays within it.
// What a first run leaves out is compiled as play meets it, and cached then.
#pragma once

#include <cstdint>
#include <string>

class CApplication;

// Live play's budget for the warm-up, ms.
constexpr uint64_t kWarmUpBudgetMs = 800;

// Whether the next start-up (CApplication::precalc) draws the warm-up before
// it starts the music, and within what budget (ms; 0, none); live play asks
// for it, nothing else does.
void warmUpBeforeMusic(bool on, uint64_t budgetMs = 0);
bool warmUpBeforeMusicAsked();
uint64_t warmUpBeforeMusicBudget();

// Draws the warm-up's frames and puts everything back (see above); returns
// how many it drew. With a budget, `clock` (ms; by default the monotonic
// clock) times it. Called with the timeline at its start, the live or the
// fixed-step clock in use.
int warmUp(CApplication& app, uint64_t budgetMs = 0, uint64_t (*clock)() = nullptr);

// What the last warm-up drew, for --stats: "warm-up before the music: 44 of
// 44 moments in 270 ms", and whether its budget cut it short (on a machine's
// first run, with every shader to make). Empty before any.
std::string lastWarmUpSummary();

// How many frames the warm-up draws (each scene's first and the moments of
// the warm-up's table).
int warmUpFrames();
