// The main loop through the real platform layer: events pushed into SDL's
// queue, a test clock for the frame timer, frames counted by a draw hook.
#include "app/CApplication.h"
#include "support/GLContext.h"

#include <SDL2/SDL.h>

namespace {

uint64_t fakeNow = 0;
uint64_t fakeClock() { return fakeNow; }

int framesDrawn = 0;
float skips[16];
int stopAfter = 0; // the draw hook sets done after this many frames (0: never)
void countFrame() {
    if (framesDrawn < 16) skips[framesDrawn] = skip;
    ++framesDrawn;
    if (stopAfter && framesDrawn >= stopAfter) done = true;
}

void pushKey(SDL_EventType type, SDL_Keycode key) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = key;
    SDL_PushEvent(&e);
}

class MainLoopTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        app.timeGetTime = fakeClock;
        app.drawFrame = countFrame;
        framesDrawn = 0;
        stopAfter = 0;
        fakeNow = 100000;
        done = false;
    }
    CApplication app;
};

TEST_F(MainLoopTest, SkipIsZeroOnTheFirstFrameThenMsOverFifty) {
    app.frame();
    EXPECT_EQ(skip, 0.0f);
    fakeNow += 20;
    app.frame();
    EXPECT_FLOAT_EQ(skip, 0.4f);
    fakeNow += 17;
    app.frame();
    EXPECT_FLOAT_EQ(skip, 0.34f);
}

TEST_F(MainLoopTest, StallOfTwoAndAHalfSecondsOrMoreGivesExactlyFifty) {
    app.frame();
    fakeNow += 2500;
    app.frame();
    EXPECT_EQ(skip, 50.0f);
    fakeNow += 60000;
    app.frame();
    EXPECT_EQ(skip, 50.0f);
    fakeNow += 2499;
    app.frame();
    EXPECT_FLOAT_EQ(skip, 49.98f);
}

TEST_F(MainLoopTest, SkipHasNoLowerBound) {
    app.frame();
    fakeNow -= 100; // a timer that steps back gives a negative step
    app.frame();
    EXPECT_FLOAT_EQ(skip, -2.0f);
}

TEST_F(MainLoopTest, AllWaitingEventsAreHandledBeforeTheNextFrame) {
    pushKey(SDL_KEYDOWN, SDLK_a);
    pushKey(SDL_KEYUP, SDLK_a);
    pushKey(SDL_KEYDOWN, SDLK_b);
    for (int i = 0; i < 3; ++i) app.turn();
    EXPECT_EQ(framesDrawn, 0);
    app.turn();
    EXPECT_EQ(framesDrawn, 1);
    EXPECT_FALSE(done); // other keys are swallowed
}

TEST_F(MainLoopTest, EscapeEndsTheLoopWithoutDrawing) {
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    app.execute();
    EXPECT_TRUE(done);
    EXPECT_EQ(framesDrawn, 0);
}

TEST_F(MainLoopTest, EscapeAfterFramesEndsInTheTurnThatHandlesIt) {
    app.turn();
    app.turn();
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    app.turn();
    EXPECT_TRUE(done);
    EXPECT_EQ(framesDrawn, 2);
}

TEST_F(MainLoopTest, ClosingTheWindowEndsTheDemo) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    app.execute();
    EXPECT_TRUE(done);
    EXPECT_EQ(framesDrawn, 0);
}

TEST_F(MainLoopTest, QuitRequestEndsTheDemo) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    app.turn();
    EXPECT_TRUE(done);
}

TEST_F(MainLoopTest, LoopRunsUntilDoneIsSet) {
    stopAfter = 5;
    app.execute();
    EXPECT_EQ(framesDrawn, 5);
    EXPECT_EQ(skips[0], 0.0f);
}

} // namespace
