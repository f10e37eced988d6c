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
void scene5advance(); // the bubbles' move and the noise panel's two draws

// Read-only views of scene state, for tests.
int scene2LedLevel(int tile);      // LED level 0..3 of wall tile `tile` (row by row from the bottom left)
float scene2BubbleLife(int bubble); // remaining life of a bubble, in 50-ms ticks

// Scene 5.
class Mesh;
int scene5Segment(float ms);   // camera path and greeting (slot kSlotGreet1 + segment) at music time ms
const Mesh* scene5Room();       // the lumpy room
float scene5BubbleLife(int bubble); // remaining rise of a bubble, in 50-ms ticks

// Scene 9.
class Curve;
float scene9FlowerGrowth(int flower, float ms); // how far flower 0..19 has grown at music time ms
Curve scene9Blade(int i, int j, float ms);      // blade (i, j)'s curve at music time ms (root at its own origin)
int scene9HeadPose(float ms);                   // row of `heads` the talking head takes at music time ms
