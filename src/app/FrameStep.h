// The frame's time step, all that scenes read of the main loop (the music
// time and the spectrum are Timeline.h's).
#pragma once

// ms since the previous frame / 50, at most 50 (1.0 = one 50-ms tick).
// Motion that is not tied to the music time is multiplied by it.
extern float skip;
