// Input pushed into SDL's queue as a viewer's keys arrive, for tests that
// drive the real main loop's turns.
#pragma once

#include <SDL2/SDL.h>

namespace testsdl {

// A key going down (or, with down false, coming up), with the modifier keys `mod` held.
inline void pushKey(SDL_Keycode key, bool down = true, Uint16 mod = KMOD_NONE) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

} // namespace testsdl
