// The twelve scenes' functions: each scene has an init, a draw and an update
// (its advance, then its draw), and, where it moves state of its own from
// frame to frame, an advance and a reset; its state is file-level in its own
// source file. Scenes are numbered by source file, not by their order on the
// timeline: the scene table (SceneTable.h) lists them in timeline order with
// their stretches.
#pragma once

#include "geometry/Curve.h"

class Mesh;

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

// One frame: the scene's advance (where it has one), then its draw.
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

// One frame's pictures, drawn from the music time, skip, the spectrum and
// the state the frame's advance left: a draw moves nothing that outlives the
// frame, so a frame can be drawn or only advanced (catching up to a moment)
// with the same state afterwards.
void scene1draw();
void scene2draw();
void scene3draw();
void scene4draw();
void scene5draw();
void scene6draw();
void scene7draw();
void scene8draw();
void scene9draw();
void scene10draw();
void scene11draw();
void scene12draw();

// The part of a frame that changes state later frames see (the scene's own
// particles, blocks and positions, and its share of the one rand()
// sequence), without any GL call: every frame calls it before its draw, and
// catching up to a moment (a still, a seek) calls it alone for the frames
// that need not be drawn. Scenes whose frames are pure functions of the
// music time (1, 3, 6, 9, 12) have none.
void scene2advance();
void scene4advance();  // the tunnel's position, one step for each of the frame's two renders
void scene5advance();  // the bubbles' move and the noise panel's two offsets, which the renders then use
void scene7advance();  // the flower swarm: re-seeds (two rand() draws each) and moves
void scene8advance();  // the cloud stack's position, from the cloud tunnel on (two steps a frame)
void scene10advance(); // the loose blocks' drift, spin and fall
void scene11advance(); // the butterflies' climb and restarts (one rand() draw each)

// Puts the state a scene moves frame by frame back as start-up left it, so
// that the timeline can play again from 0 (a seek while playing live).
// Scenes whose frames are pure functions of the time have none.
void scene2reset();
void scene4reset();  // the tunnel back at its start
void scene5reset();  // every bubble's life at 0 again
void scene7reset();  // the flower swarm unseeded
void scene8reset();  // the cloud stack back at 1000
void scene10reset(); // the road whole again, no block loose
void scene11reset(); // the butterflies back at their start

// Scene 3: one tower at the local origin, 20 storeys tapering by `taper`
// each, alpha rising from 0 at the ground to 1 half-way up; side faces at
// half the colour, a roof of (r / 2, 0, 0).
void renderHouse(float height, float size, float taper, float r, float g, float b);

// Scene 10: shapes the 1200 blocks of the road along `spine`, 300 rows of
// four (block 4 * row + column), and records their centres.
void generateCubes(Curve* spine);

// ---- for tests ----------------------------------------------------------------
// Switches: false draws the straightforward way, every square of Scene 4
// whole (and its glow source every frame), every cloud layer of Scene 8 whole
// and on its own, every tile of Scene 6 on its own,
// for pictures to compare against; Scene 5's noise panel only after the wall.
extern bool scene4LeavesOutHiddenFragments;
extern bool scene4StacksSquares; // the unfogged squares several to a pass (the picture but for rounding)
extern bool scene6BatchesTiles;
extern bool scene5PanelDepthFirst;
extern bool scene8StacksCloudLayers;       // the unfogged cloud layers several to a pass
extern bool scene8LeavesOutClearFragments; // each cloud layer only where its mask can be non-zero
int scene5PanelDepthFirstFrames(); // renders that put the panel's depth in first, so far
// Whether, seen from `eye` (looking at the panel), the wall may come in front of the panel.
bool scene5WallMayHidePanel(const Vector3D& eye);

// Read-only views of scene state.
int scene2LedLevel(int tile);       // LED level 0..3 of wall tile `tile` (row by row from the bottom left)
float scene2BubbleLife(int bubble); // remaining life of a bubble, in 50-ms ticks

int scene3Segment();        // current segment 0..3 (a new curve every 3700 ms)
float scene3Place();        // progress within the segment, 0..1
unsigned scene3TowerRows(); // bit n: the tower pair at t = 2.0 - 0.1 n was drawn by the last render

// Scene 4, as its last render left it.
float scene4ZPos();                  // distance travelled down the tunnel
void scene4Gaze(float* x, float* y); // the point looked at is (x, y, -1)
// Squares drawn: their count, and the nearest and farthest index (-1 if none).
int scene4SquaresDrawn(int* nearest, int* farthest);

int scene5Segment(float ms);        // camera path and greeting (slot kSlotGreet1 + segment) at music time ms
const Mesh* scene5Room();           // the lumpy room
float scene5BubbleLife(int bubble); // remaining rise of a bubble, in 50-ms ticks
extern int scene5BlurLeftOut;       // copies of each blur pass left out (2; 0 blurs in full)

// Scene 6, as its last frame chose it.
int scene6Camera();           // camera path in use, 0..3
float scene6TimeLine();       // parameter along it, 0 at the start of its stretch, 1 at its end
void scene6Eye(float eye[3]); // the camera's position on it
extern int scene6BlurLeftOut; // copies of each blur pass left out (2; 0 blurs in full)

float scene7Timeline();                      // timeLine7: parameter along the current camera arc
Vector3D scene7Flower(int flower);           // z: remaining distance, y: height
const Mesh* scene7Blob();                    // the blob as last deformed (savedVertices: the unit sphere)
Curve scene7ArrowCurve(int arrow, float ms); // arrow's curve at music time ms
float scene7ArrowHead(int arrow, float ms);  // arrow's head parameter at music time ms

float scene8CloudPosition();                 // zPos: position along the cloud tunnel (1000 at load, only falls)
// Cloud layers in view at the last draw, the stack's position then, and how
// many of the farthest were left out as wholly beyond the fog's end.
int scene8CloudLayersDrawn(float* position, int* beyondFog = nullptr);
extern int scene8BlurLeftOut; // copies of each blur pass left out (2; 0 blurs in full)

float scene9FlowerGrowth(int flower, float ms); // how far flower 0..19 has grown at music time ms
Curve scene9Blade(int i, int j, float ms);      // blade (i, j)'s curve at music time ms (root at its own origin)
int scene9BladesDrawn(int* clipped);           // blades sent by the last render, and those in draws GL clips
int scene9HeadPose(float ms);                   // row of `heads` the talking head takes at music time ms
extern int scene9BlurLeftOut;                   // copies of each blur pass left out (4; 0 blurs in full)

int scene10Camera();                     // camera stretch 0..7 of the last frame
const Vector3D* scene10BlockPositions(); // world centre of each block
const Vector3D* scene10BlockSpins();     // degrees: x about the x axis, z about the z axis
const Vector3D* scene10BlockMotions();   // drift (x) and fall speed (y) per unit of skip
const Mesh* scene10Blocks();             // the block meshes, each centred on its own origin
Vector3D scene10Eye();                   // the camera of the last draw: eye ...
Vector3D scene10LookAt();                // ... and the point it looks at
const float* scene10HeadPose();          // x, y and angle (degrees) the head was last drawn at

int scene11Orbit();               // 1 or 3: the high orbit; otherwise the low one
Vector3D scene11Butterfly(int i); // position of butterfly i (0..19)
