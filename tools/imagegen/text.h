// Text for the image generator: DejaVu faces rendered with FreeType into
// anti-aliased coverage planes. Glyphs are rendered unhinted so that shapes
// scale smoothly and the result does not depend on hinting settings.
#pragma once

#include <memory>
#include <string>

#include "draw.h"

namespace gen {

class Font {
 public:
  // file: a name under the DejaVu folder, e.g. "DejaVuSans-Bold.ttf".
  explicit Font(const std::string& file);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Advance width of the text in pixels at the given size (pixels per em);
  // tracking adds that many pixels between letters.
  float width(const std::string& text, float size, float tracking = 0) const;
  // Size at which the text is exactly `w` pixels wide, capped at maxSize.
  float sizeToFit(const std::string& text, float w, float maxSize, float tracking = 0) const;
  // Height of capital letters above the baseline, in pixels, at that size.
  float capHeight(float size) const;
  // Renders the text into cov (max of coverages), the baseline at y and the
  // text's left edge at x - align * width (align 0 left, 0.5 centred, 1 right).
  // angle turns the text about (x, y) in radians, counter-clockwise on screen.
  void draw(Plane& cov, const std::string& text, float size, float x, float y, float align = 0,
            float tracking = 0, float angle = 0) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace gen
