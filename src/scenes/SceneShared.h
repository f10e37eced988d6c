// Drawing helpers every scene shares: the glow source and picture of a
// frame, a centred, rotated image, a ribbon with an arrow head along a
// curve, and the five full-screen transitions (t from 0, nothing, to 1,
// full); and the talking head with its pose table.
#pragma once

class Curve;
class Mesh;
class Vector3D;

// The two renders of a frame under the common glow: `draw(false)` into the
// glow source (the 128 x 128 corner), blurred in place by MakeBlur (5 passes
// at alpha 1/2, copies `spread` apart, the first `leftOut` of each pass left
// out), then `draw(true)` into the picture. The caller lays the glow over
// the picture (Render or RenderBlur, at its own alpha). Scenes 4 and 6 vary
// the sequence and spell it out.
void renderGlowSourceAndPicture(void (*draw)(bool intoPicture), float spread, int leftOut = 0);

// Draws the bound texture as a square centred at (x, y) of the screen (-1..1
// spans it, 0 is the centre); scale 0.5 is as wide as the screen; angle in degrees.
void renderTexture(float x, float y, float scale, float angle, float r, float g, float b, float a);
// A ribbon along `path` from parameter t - length to t with an arrow head at t,
// 2 x width across (times the side vector's length), fading outside [0, 1].
void renderArrow(Curve* path, float t, float length, float width, float r, float g, float b);

// The word stamps, each drawn only within the 400 ms after `start` (both
// ends open). yeah: grows from scale 0.25 to 0.75, turns from -20 to 20
// degrees and fades out; disco: a two-step pop, scale 0.4 at opacity 0.9
// for the first 200 ms, then 0.5 at 0.8.
void stampYeah(float start);
void stampDisco(float start);

// Linear fog of grey level `grey` (0 black, 1 white) from `start` to `end`
// units, switched on; the density (unused by the linear mode) is set too
// unless negative.
void linearFog(float grey, float start, float end, float density);
// White linear fog from `start` to `end` units (density 0.005).
void whiteFog(float start, float end);

// `mesh` in the image of slot `base` on unit 0 (its RGB alone, the colour
// giving only alpha) with the image of slot `reflection` added on unit 1,
// looked up by the vertex normals (Mesh::frender); only the `count` faces of
// `faceList`, or all of them when it is null. Both units are put in the
// combine mode and left so; texturing is off on both afterwards, unit 0 active.
void renderReflective(Mesh* mesh, int base, int reflection, const unsigned* faceList = nullptr, unsigned count = 0);

void renderTransition1(float t); // white veil and a wavy curtain rising from the bottom
void renderTransition2(float t); // the blurred picture blends in as the screen whitens
void renderTransition3(float t); // fade to white
void renderTransition4(float t); // fade to black
void renderTransition5(float t); // the layer2 ornament zooms in, then white

// Rising bubbles (Scenes 2 and 5): x and z place a bubble, y is its
// remaining life. A bubble whose life has run out (y <= 0) respawns from
// three rand() values in this order: x in [-100, 99], z in [-50, -1], life
// in [128, 255]; then every life drops by `drop`.
void moveBubbles(Vector3D* bubbles, int count, float drop);
// The bubbles as sprites of slot bubble, blended over everything with the
// depth test off, of half-size 1, 1.5, 2 or 2.5 by index, at height
// 3000 / (|life| + 0.5) + base (creeping while the life is long, shooting up
// as it runs out) and depth z * zSign. One batch.
void renderBubbles(const Vector3D* bubbles, int count, float base, float zSign);
// A square sprite of half-size h in the xy plane centred on (x, y, z), its
// first texture row at the top; call between glBegin(GL_QUADS) and glEnd.
void spriteQuad(float x, float y, float z, float h);

// The talking head's poses: x offset, y offset (both in the head's plane,
// 1.5 units in front of the eye) and angle in degrees. Scenes 10, 9 and 3
// step through these rows.
constexpr int numHeads = 7;
extern const float heads[numHeads][3];

// Two textured quads, man2 below the pose point and man1 on top of it, at
// 0.8 opacity over whatever is on screen, in the 1024 x 768 perspective set-up
// with the identity camera. The upper part tilts by the difference of
// spectrum bands 5 and 4 (80 degrees per unit) and lifts by a tenth of the sum
// of bands 4 to 6, so the head talks with the music.
void renderTalkingHead(float x, float y, float angle);
// The pose row at music time `ms` of a scene from `start` lasting `length`
// ms: sixteen poses over the scene, round the table.
int headPoseAt(float ms, float start, float length);
// How far the head hangs below its pose at `ms`: a gentle bob, 0 to 0.06.
float headBob(float ms);

// While alive, the viewport is twice as wide and tall about the same centre
// and the projection halved on x and y: every point keeps its window
// coordinates bit for bit (the factors are powers of two), and a scissor
// keeps the drawing to the old viewport (one already on stays as it is).
// An axis of odd size stays as it is (its centre would move half a pixel).
// Triangles that cross the old viewport's sides by less than half its size
// lie wholly inside the new one, and GL has nothing to clip: the clipper is
// the costly path of a draw. A triangle cut at the old border had new
// corners a rounding off its edges; drawn whole it covers a few pixels along
// that border otherwise. The view volume read meanwhile is the wide one.
class WideView {
public:
    WideView();
    ~WideView();
    WideView(const WideView&) = delete;
    WideView& operator=(const WideView&) = delete;

private:
    int viewport_[4];
    bool scissored_;
};
