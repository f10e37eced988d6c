// On-screen display: the glyph atlas and the drawing (see OsdDraw.h).
#include "app/OsdDraw.h"

#include "app/Live.h"
#include "platform/GLExt.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>

namespace osd {

namespace {

constexpr unsigned kMiddleDot = 0xB7;

// The atlas slot of a code point, or -1 for one the atlas does not hold.
int glyphSlot(unsigned codePoint) {
    if (codePoint >= 32 && codePoint <= 126)
        return static_cast<int>(codePoint - 32);
    if (codePoint == kMiddleDot)
        return 95;
    return -1;
}

// The next code point of UTF-8 text, moving `p` past it. Sequences longer
// than two bytes and stray continuation bytes give 0 (no glyph).
unsigned nextCodePoint(const char*& p) {
    const auto b0 = static_cast<unsigned char>(*p++);
    if (b0 < 0x80)
        return b0;
    if ((b0 & 0xE0) == 0xC0 && (static_cast<unsigned char>(*p) & 0xC0) == 0x80)
        return (b0 & 0x1Fu) << 6 | (static_cast<unsigned char>(*p++) & 0x3Fu);
    while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80)
        ++p;
    return 0;
}

void rect(int x, int y, int w, int h) {
    glVertex2i(x, y);
    glVertex2i(x + w, y);
    glVertex2i(x + w, y + h);
    glVertex2i(x, y + h);
}

} // namespace

Renderer::~Renderer() {
    if (face_)
        FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_)
        FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool Renderer::open(const char* fontFile) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": the on-screen display has no text: FreeType did not start\n");
        return false;
    }
    if (FT_New_Face(library, fontFile, 0, &face) != 0) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": the on-screen display has no text: cannot open the font %s\n", fontFile);
        FT_Done_FreeType(library);
        return false;
    }
    library_ = library;
    face_ = face;
    return true;
}

void Renderer::prepare(int fontPx) {
    if (!face_ || fontPx == atlasPx_)
        return;
    auto face = static_cast<FT_Face>(face_);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(fontPx)) != 0)
        return;
    // Glyphs on shelves, a texel apart so that none bleeds into the next.
    atlasW_ = fontPx <= 40 ? 512 : 1024;
    int x = 1, y = 1, shelf = 0;
    pixels_.assign(static_cast<size_t>(atlasW_) * (fontPx * 2 + 2), 0);
    for (unsigned cp = 32; cp <= kMiddleDot; ++cp) {
        const int slot = glyphSlot(cp);
        if (slot < 0)
            continue;
        Glyph& g = glyphs_[slot];
        g = Glyph{};
        if (FT_Load_Char(face, cp, FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot s = face->glyph;
        const FT_Bitmap& bm = s->bitmap;
        g.advance = static_cast<int>((s->advance.x + 32) >> 6);
        g.left = s->bitmap_left;
        g.top = s->bitmap_top;
        g.w = std::min(static_cast<int>(bm.width), atlasW_ - 2);
        g.h = static_cast<int>(bm.rows);
        if (x + g.w + 1 > atlasW_) {
            x = 1;
            y += shelf + 1;
            shelf = 0;
        }
        g.x = x;
        g.y = y;
        shelf = std::max(shelf, g.h);
        if (static_cast<size_t>(y + shelf + 1) * atlasW_ > pixels_.size())
            pixels_.resize(static_cast<size_t>(y + shelf + 1 + fontPx) * atlasW_, 0);
        for (int r = 0; r < g.h; ++r)
            std::copy_n(bm.buffer + r * bm.pitch, g.w, pixels_.begin() + (y + r) * atlasW_ + x);
        x += g.w + 1;
    }
    atlasH_ = y + shelf + 1;

    // The texture binding and unpacking are the scenes' state: put them back.
    glPushAttrib(GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    if (!texture_)
        glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    // Glyphs land on whole pixels, one texel to a pixel: nearest sampling is exact.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, atlasW_, atlasH_, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 pixels_.data());
    glPopClientAttrib();
    glPopAttrib();
    atlasPx_ = fontPx;
}

void Renderer::release() {
    if (texture_)
        glDeleteTextures(1, &texture_);
    texture_ = 0;
    atlasPx_ = 0;
}

int Renderer::textWidth(const char* utf8) const {
    int width = 0;
    for (const char* p = utf8; *p;) {
        const int slot = glyphSlot(nextCodePoint(p));
        if (slot >= 0)
            width += glyphs_[slot].advance;
    }
    return width;
}

void Renderer::drawText(const char* utf8, int x, int baseline, float alpha) const {
    const float sx = 1.0f / atlasW_, sy = 1.0f / atlasH_;
    glColor4f(1, 1, 1, alpha);
    for (const char* p = utf8; *p;) {
        const int slot = glyphSlot(nextCodePoint(p));
        if (slot < 0)
            continue;
        const Glyph& g = glyphs_[slot];
        if (g.w > 0 && g.h > 0) {
            const int left = x + g.left, top = baseline - g.top;
            const float u0 = g.x * sx, v0 = g.y * sy, u1 = (g.x + g.w) * sx, v1 = (g.y + g.h) * sy;
            glTexCoord2f(u0, v0);
            glVertex2i(left, top);
            glTexCoord2f(u1, v0);
            glVertex2i(left + g.w, top);
            glTexCoord2f(u1, v1);
            glVertex2i(left + g.w, top + g.h);
            glTexCoord2f(u0, v1);
            glVertex2i(left, top + g.h);
        }
        x += g.advance;
    }
}

void Renderer::drawBand(const View& view) {
    const Layout& l = view.layout;
    const float a = view.opacity;
    glBegin(GL_QUADS);
    // The backing: the picture shows through, the text and bar read on it.
    // Behind the text it reaches only a little past the longer line: each
    // blended pixel costs a software rasteriser, and the band is wide.
    glColor4f(0, 0, 0, 0.55f * a);
    const int textEnd = l.textX + std::max(textWidth(view.place), textWidth(view.stats)) + l.fontPx;
    rect(l.textArea.x, l.textArea.y, std::min(textEnd, l.textArea.x + l.textArea.w) - l.textArea.x, l.textArea.h);
    rect(l.barArea.x, l.barArea.y, l.barArea.w, l.barArea.h);
    const int played = l.markerX - l.bar.x;
    glColor4f(1, 1, 1, 0.3f * a); // the track still to play
    rect(l.bar.x + played, l.bar.y, l.bar.w - played, l.bar.h);
    glColor4f(1, 1, 1, 0.75f * a); // the track played
    rect(l.bar.x, l.bar.y, played, l.bar.h);
    glColor4f(1, 1, 1, 0.9f * a);
    const int tickY = l.bar.y + (l.bar.h - l.tickHeight) / 2;
    for (int x : l.tickX)
        rect(x - l.tickWidth / 2, tickY, l.tickWidth, l.tickHeight);
    glColor4f(1.0f, 0.75f, 0.3f, a); // the marker, amber
    rect(l.markerX - l.markerWidth / 2, l.bar.y + (l.bar.h - l.markerHeight) / 2, l.markerWidth,
         l.markerHeight);
    glEnd();

    if (atlasPx_ != l.fontPx)
        prepare(l.fontPx);
    if (atlasPx_ > 0) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture_);
        // The glyph's coverage times the colour's alpha; the colour itself as given.
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBegin(GL_QUADS);
        drawText(view.place, l.textX, l.placeBaseline, a);
        if (view.stats[0])
            drawText(view.stats, l.textX, l.statsBaseline, 0.85f * a);
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }
}

void Renderer::drawKeyList(const platform::PixelRect& picture) {
    const int px = fontPixels(picture.h);
    if (atlasPx_ != px)
        prepare(px);
    // Two columns, the keys and what they do, as wide as their longest entries.
    int keysWidth = 0, doesWidth = 0;
    for (int i = 0; i < live::kKeyUseCount; ++i) {
        keysWidth = std::max(keysWidth, textWidth(live::kKeyUses[i].keys));
        doesWidth = std::max(doesWidth, textWidth(live::kKeyUses[i].does));
    }
    const int pad = px, gap = px * 3 / 2, lineHeight = px * 13 / 10, ascent = px * 93 / 100;
    const int w = pad + keysWidth + gap + doesWidth + pad, h = pad + live::kKeyUseCount * lineHeight + pad;
    const int x = picture.x + (picture.w - w) / 2, y = picture.y + std::max(0, (picture.h - h) / 2);
    // Nearly opaque: the ending image's white title behind the panel comes
    // through as a dark grey (8 % of it) under white text, never a second
    // line of text.
    glBegin(GL_QUADS);
    glColor4f(0, 0, 0, 0.92f);
    rect(x, y, w, h);
    glEnd();
    if (atlasPx_ <= 0)
        return;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBegin(GL_QUADS);
    for (int i = 0; i < live::kKeyUseCount; ++i) {
        const int baseline = y + pad + i * lineHeight + ascent;
        drawText(live::kKeyUses[i].keys, x + pad, baseline, 1.0f);
        drawText(live::kKeyUses[i].does, x + pad + keysWidth + gap, baseline, 0.85f);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void Renderer::draw(const View& view, const platform::Presentation& where) {
    // Everything the scenes may have left set, saved, then a plain 2D state.
    glPushAttrib(GL_ALL_ATTRIB_BITS); // the active texture unit too
    arb::glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    arb::glActiveTextureARB(GL_TEXTURE0_ARB);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // Window pixels, y down: (0, 0) is the top-left corner of the window.
    glOrtho(0, where.windowWidth, where.windowHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, where.windowWidth, where.windowHeight);
    for (GLenum cap :
         {GL_DEPTH_TEST, GL_LIGHTING, GL_FOG, GL_CULL_FACE, GL_ALPHA_TEST, GL_SCISSOR_TEST, GL_STENCIL_TEST,
          GL_POLYGON_OFFSET_FILL, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T,
          GL_COLOR_MATERIAL, GL_COLOR_LOGIC_OP, GL_POLYGON_SMOOTH})
        glDisable(cap);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_FLAT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    if (view.opacity > 0)
        drawBand(view);
    if (view.help)
        drawKeyList(where.picture);

    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

} // namespace osd
