// The twelve scenes: each a trio of free functions with file-level state.
// Scenes are numbered by source file, not by their order on the timeline.
#pragma once

void scene1init();
void scene2init();
void scene3init();
void scene4init();
void scene5init();
void scene6init();
void scene7init();
void scene8init();
void scene9init();
void scene10init();
void scene11init();
void scene12init();

void scene1update();
void scene2update();
void scene3update();
void scene4update();
void scene5update();
void scene6update();
void scene7update();
void scene8update();
void scene9update();
void scene10update();
void scene11update();
void scene12update();

// The part of a frame that changes state a later scene sees (the one shared
// rand() sequence): exactly the draws and moves the scene's update makes in a
// frame, without drawing. Catching up to a late moment calls it alone for
// the frames of scenes that are over. Scenes without such state have none.
void scene2advance();

// Puts the state a scene moves frame by frame back as start-up left it, so
// that the timeline can play again from 0 (a seek while playing live).
// Scenes whose frames are pure functions of the time have none.
void scene2reset();
void scene4reset();

// Read-only views of scene state, for tests.
int scene2LedLevel(int tile);      // LED level 0..3 of wall tile `tile` (row by row from the bottom left)
float scene2BubbleLife(int bubble); // remaining life of a bubble, in 50-ms ticks

// Switches for tests: false draws the straightforward way, every square of
// Scene 4 whole (and its glow source every frame), every tile of Scene 6 on
// its own, for pictures to compare against.
extern bool scene4LeavesOutHiddenFragments;
extern bool scene6BatchesTiles;

// Scene 4, as its last render left it.
float scene4ZPos();                  // distance travelled down the tunnel
void scene4Gaze(float* x, float* y); // the point looked at is (x, y, -1)
// Squares drawn: their count, and the nearest and farthest index (-1 if none).
int scene4SquaresDrawn(int* nearest, int* farthest);

// Scene 6, as its last frame chose it.
int scene6Camera();     // camera path in use, 0..3
float scene6TimeLine(); // parameter along it, 0 at the start of its stretch, 1 at its end
void scene6Eye(float eye[3]); // the camera's position on it
