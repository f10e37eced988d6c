// On-screen display: its drawing. Text comes from DejaVu Sans through
// FreeType, rendered once into a glyph atlas (an alpha texture) at the size
// the layout asks for; the atlas is made again only when that size changes
// (the presented picture changed size). Each drawing is a handful of
// immediate-mode quads in window pixels: the band's backing, the bar, its
// ticks and marker, one quad per glyph.
//
// Drawing saves and restores all the GL state it touches: the next frame's
// picture relies on the state the scenes leave behind. The atlas holds
// printable ASCII and U+00B7 (middle dot); other characters are skipped.
#pragma once

#include "app/Osd.h"
#include "platform/Platform.h"

#include <vector>

namespace osd {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class Renderer {
public:
    Renderer() = default;
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;
    ~Renderer(); // closes the font (the atlas goes with the GL context, or release())

    // Opens the font. Without it the OSD draws its band and bar and no text,
    // and this says so in one line on stderr.
    bool open(const char* fontFile = kFontFile);
    // Makes the atlas for `fontPx` (a GL context must be current); nothing if
    // it is already that size.
    void prepare(int fontPx);
    // Draws `view` into the current framebuffer, `where.windowWidth` x
    // `where.windowHeight` pixels.
    void draw(const View& view, const platform::Presentation& where);
    // Deletes the atlas texture while the context still exists.
    void release();

    // The pen advance of `utf8` at the atlas's size, pixels: how wide the
    // line is drawn.
    int textWidth(const char* utf8) const;
    int atlasPixels() const { return atlasPx_; }

private:
    struct Glyph {
        int x = 0, y = 0, w = 0, h = 0; // its bitmap in the atlas, texels
        int left = 0, top = 0;          // bitmap offset from the pen, pixels (top: up from the baseline)
        int advance = 0;                // pen advance, pixels
    };
    static constexpr int kGlyphs = 96; // ' ' to '~', then U+00B7

    void drawText(const char* utf8, int x, int baseline, float alpha) const;
    void drawBand(const View& view);
    void drawKeyList(const platform::PixelRect& picture);

    void* library_ = nullptr; // FT_Library
    void* face_ = nullptr;    // FT_Face
    unsigned texture_ = 0;    // the atlas (GL_ALPHA8)
    int atlasPx_ = 0;         // the font size it holds (0: none yet)
    int atlasW_ = 0, atlasH_ = 0;
    Glyph glyphs_[kGlyphs];
    std::vector<unsigned char> pixels_; // the atlas being built (kept: its memory is reused)
};

} // namespace osd
