// Glow: render-to-texture post passes on a 128 x 128 work texture.
// A scene draws a small copy of its picture into the lower-left 128 x 128
// pixels of the frame (the glow source); MakeBlur / MakeRadialBlur copy that
// corner into a texture and blur it there, pass after pass, using the corner
// as scratch; Render / RenderBlur / RenderRadialBlur stretch the result over
// the 1024 x 768 screen. RenderQuad blends a flat colour over the screen.
#pragma once

class Texture;

// Full-screen layers that provably change no pixel (alpha 0 or below) are
// left out, their state still set; true unless a test compares with every
// layer drawn. The shared scene transitions follow it too.
extern bool glowSkipsInvisibleLayers;

class Glow {
public:
    unsigned blurTexture = 0;   // written by MakeBlur
    unsigned dofTexture = 0;    // written by MakeDOF
    unsigned radialTexture = 0; // written by MakeRadialBlur

    void Init(Texture* manager, int filter);
    void MakeBlur(Texture* manager, bool additive, float spread, float alpha, int passes);
    void MakeRadialBlur(Texture* manager, bool additive, float zoom, float alpha, int passes);
    void MakeDOF(Texture* manager);
    void Render(Texture* manager, float alpha);
    void RenderBlur(Texture* manager, float alpha);
    void RenderRadialBlur(Texture* manager, float alpha);
    void RenderDOF(Texture* manager);
    void RenderQuad(float r, float g, float b, float a);
};
