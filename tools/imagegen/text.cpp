// Text for the image generator: FreeType rendering of DejaVu faces.
#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <stdexcept>

#ifndef IMAGEGEN_FONT_DIR
#define IMAGEGEN_FONT_DIR "/usr/share/fonts/truetype/dejavu"
#endif

namespace gen {

namespace {
FT_Library library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l)) throw std::runtime_error("FreeType failed to start");
    return l;
  }();
  return lib;
}
}  // namespace

struct Font::Impl {
  FT_Face face = nullptr;
  // Sizes are passed in 26.6 fixed point, so fractional sizes are kept.
  void setSize(float size) const { FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(size * 64)), 72, 72); }
};

Font::Font(const std::string& file) : impl_(new Impl) {
  std::string path = std::string(IMAGEGEN_FONT_DIR) + "/" + file;
  if (FT_New_Face(library(), path.c_str(), 0, &impl_->face))
    throw std::runtime_error("cannot open font " + path);
}

Font::~Font() { FT_Done_Face(impl_->face); }

float Font::width(const std::string& text, float size, float tracking) const {
  impl_->setSize(size);
  FT_Set_Transform(impl_->face, nullptr, nullptr);
  float pen = 0;
  FT_UInt prev = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    FT_UInt g = FT_Get_Char_Index(impl_->face, (unsigned char)text[i]);
    if (prev && g) {
      FT_Vector k;
      FT_Get_Kerning(impl_->face, prev, g, FT_KERNING_UNFITTED, &k);
      pen += k.x / 64.f;
    }
    FT_Load_Glyph(impl_->face, g, FT_LOAD_NO_HINTING);
    pen += impl_->face->glyph->advance.x / 64.f;
    if (i + 1 < text.size()) pen += tracking;
    prev = g;
  }
  return pen;
}

float Font::sizeToFit(const std::string& text, float w, float maxSize, float tracking) const {
  // Tracking is given at the final size, so scale only the glyph part.
  float gaps = tracking * float(text.size() > 0 ? text.size() - 1 : 0);
  float at100 = width(text, 100, 0);
  return std::min(maxSize, (w - gaps) / at100 * 100);
}

float Font::capHeight(float size) const {
  impl_->setSize(size);
  FT_Set_Transform(impl_->face, nullptr, nullptr);
  FT_Load_Char(impl_->face, 'H', FT_LOAD_NO_HINTING);
  FT_BBox box;
  FT_Outline_Get_CBox(&impl_->face->glyph->outline, &box);
  return box.yMax / 64.f;
}

void Font::draw(Plane& cov, const std::string& text, float size, float x, float y, float align, float tracking,
                float angle) const {
  float w = width(text, size, tracking);
  FT_Face face = impl_->face;
  float c = std::cos(angle), s = std::sin(angle);
  FT_Matrix m;
  m.xx = FT_Fixed(std::lround(c * 65536));
  m.xy = FT_Fixed(std::lround(-s * 65536));
  m.yx = FT_Fixed(std::lround(s * 65536));
  m.yy = FT_Fixed(std::lround(c * 65536));
  // Pen position along the line, in pixels from the text's left edge.
  float pen = -align * w;
  FT_UInt prev = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    FT_UInt g = FT_Get_Char_Index(face, (unsigned char)text[i]);
    if (prev && g) {
      FT_Vector k;
      FT_Get_Kerning(face, prev, g, FT_KERNING_UNFITTED, &k);
      pen += k.x / 64.f;
    }
    // Screen position of the pen (y grows downward on screen, upward in FreeType).
    float gx = x + pen * c, gy = y - pen * s;
    float ix = std::floor(gx), iy = std::floor(gy);
    // The sub-pixel remainder goes into the transform, so glyphs land exactly.
    FT_Vector delta;
    delta.x = FT_Pos(std::lround((gx - ix) * 64));
    delta.y = FT_Pos(std::lround(-(gy - iy) * 64));
    FT_Set_Transform(face, &m, &delta);
    FT_Load_Glyph(face, g, FT_LOAD_NO_HINTING | FT_LOAD_RENDER);
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    int left = int(ix) + slot->bitmap_left, top = int(iy) - slot->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r)
      for (unsigned col = 0; col < bm.width; ++col) {
        int px = left + int(col), py = top + int(r);
        if (px < 0 || py < 0 || px >= cov.w || py >= cov.h) continue;
        float a = bm.buffer[r * unsigned(bm.pitch) + col] / 255.f;
        cov.at(px, py) = std::max(cov.at(px, py), a);
      }
    // The advance is measured untransformed, so the line keeps its length.
    FT_Set_Transform(face, nullptr, nullptr);
    FT_Load_Glyph(face, g, FT_LOAD_NO_HINTING);
    pen += slot->advance.x / 64.f;
    if (i + 1 < text.size()) pen += tracking;
    prev = g;
  }
  FT_Set_Transform(face, nullptr, nullptr);
}

}  // namespace gen
