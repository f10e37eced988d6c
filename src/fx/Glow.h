// Glow: render-to-texture post passes on a 128 x 128 work texture.
// A scene draws a small copy of its picture into the lower-left 128 x 128
// pixels of the frame (the glow source); MakeBlur / MakeRadialBlur copy that
// corner into a texture and blur it there, pass after pass, using the corner
// as scratch; Render / RenderBlur / RenderRadialBlur stretch the result over
// the screen, the 1024 x 768 picture at whatever size the frame gives it.
// RenderQuad blends a flat colour over the screen. The corner and the work
// textures are 128 x 128 at every frame size.
#pragma once

class Texture;

// The glow source: the lower-left kGlowSourceSize x kGlowSourceSize pixels
// of the frame, and the size of the work textures, at every frame size.
constexpr int kGlowSourceSize = 128;

// Work that provably changes no pixel is left out, its state still set: a
// full-screen layer at alpha 0 or below, and everything of the glow source
// outside the 128 x 128 corner it is read from. True unless a test or a
// check compares with doing all the work. The shared scene transitions
// follow it too.
extern bool skipInvisibleWork;

// While the glow source is drawn (the 128 x 128 set-up), clears and drawing
// are kept to its corner with a scissor: the rest of the frame is cleared
// again for the full picture, so a full-frame clear there is wasted work. A
// scissor already on (the unshown catch-up's single pixel) stays as it is.
// Every full-screen set-up (Engine's and the full-screen glow passes)
// releases the corner.
void keepToGlowCorner();
void releaseGlowCorner();

class Glow {
public:
    unsigned blurTexture = 0;   // written by MakeBlur
    unsigned dofTexture = 0;    // written by MakeDOF
    unsigned radialTexture = 0; // written by MakeRadialBlur

    void Init(Texture* manager, int filter);
    // `leftOut` > 0 leaves out the first leftOut of each pass's eight copies.
    // Blended at alpha 1/2, each copy is halved by every later one: the four
    // shifted along the axes come first and weigh 1/256, 1/128, 1/64 and
    // 1/32 of the pass's result, a weight that then stays with the picture
    // the pass starts from, under a texel away. Leaving out those four halves
    // the blur's work for a result a few levels apart at its sharpest edges:
    // for a scene whose frames are over their time.
    void MakeBlur(Texture* manager, bool additive, float spread, float alpha, int passes, int leftOut = 0);
    void MakeRadialBlur(Texture* manager, bool additive, float zoom, float alpha, int passes);
    void MakeDOF(Texture* manager);
    void Render(Texture* manager, float alpha);
    void RenderBlur(Texture* manager, float alpha);
    void RenderRadialBlur(Texture* manager, float alpha);
    void RenderDOF(Texture* manager);
    void RenderQuad(float r, float g, float b, float a);
};
