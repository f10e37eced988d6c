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
#pragma once

class CApplication;

// Whether the next start-up (CApplication::precalc) draws the warm-up before
// it starts the music; live play asks for it, nothing else does.
void warmUpBeforeMusic(bool on);
bool warmUpBeforeMusicAsked();

// Draws the warm-up's frames and puts everything back (see above). Called with
// the timeline at its start, the live or the fixed-step clock in use.
void warmUp(CApplication& app);

// How many frames the warm-up draws (each scene's first and the moments of
// the warm-up's table).
int warmUpFrames();
