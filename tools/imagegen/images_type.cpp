// Images built around type and emblems: the group logo, the two shouted
// words, the eight greeting cards, the zooming ornament and the end screen.
#include <cstdio>

#include "images.h"

namespace gen {

const char* const kGroupName = "ASHENFOLD";
const char* const kDemoTitle = "PAPER WEATHER";

namespace {

// Vertical gradient between two colours over rows y0..y1.
Rgb vertical(Rgb top, Rgb bottom, float y, float y0, float y1) { return mix(top, bottom, clamp01((y - y0) / (y1 - y0))); }

// A burst of `spikes` jagged points around (cx, cy): the backing of a shout.
Polygon burst(float cx, float cy, float inner, float outer, int spikes, uint64_t seed) {
  Rng rng(seed);
  Polygon p;
  for (int i = 0; i < spikes * 2; ++i) {
    float a = kPi * 2 * (i + rng.range(-0.18f, 0.18f)) / (spikes * 2) - kPi / 2;
    float r = (i % 2 == 0) ? outer * rng.range(0.86f, 1.f) : inner * rng.range(0.92f, 1.05f);
    p.add(cx + r * std::cos(a), cy + r * std::sin(a));
  }
  return p;
}

Plane polygonCoverage(int w, int h, const Polygon& poly) {
  Plane m(w, h);
  fill(m, poly);
  return m;
}

}  // namespace

// ---- the group's emblem -------------------------------------------------------
// A dark red disc in a black ring holds a folded paper crest (white and grey
// halves); a black ribbon with the group's name crosses its lower part.
void drawEmblem(Picture& p, Plane& mask, const Fonts& f, float cx, float cy, float r) {
  auto disc = [&](float x, float y) { return cover(sdf::circle(x, y, cx, cy, r)); };
  paint(mask, 1, disc, 1, around(cx, cy, r));
  // Black rim, white hairline, red field with a soft light from the upper left.
  paint(p, pal::black, disc, 1, around(cx, cy, r));
  paint(p, pal::white, [&](float x, float y) { return cover(sdf::ring(x, y, cx, cy, r * 0.86f, r * 0.018f)); }, 1,
        around(cx, cy, r));
  Box inner = around(cx, cy, r * 0.84f);
  paint(p, pal::red, [&](float x, float y) { return cover(sdf::circle(x, y, cx, cy, r * 0.83f)); }, 1, inner);
  shade(p, [&](float x, float y, Rgb old) {
    float d = std::hypot(x - cx + r * 0.25f, y - cy + r * 0.3f) / r;
    float in = cover(sdf::circle(x, y, cx, cy, r * 0.83f));
    Rgb lit = mix(Rgb{0.66f, 0.06f, 0.05f}, Rgb{0.3f, 0.0f, 0.0f}, clamp01(d / 1.3f));
    return mix(old, lit, in);
  });
  // The crest: a triangle folded down its middle.
  float top = cy - r * 0.62f, base = cy + r * 0.2f, half = r * 0.52f;
  Polygon left, right, fold;
  left.add(cx, top);
  left.add(cx - half, base);
  left.add(cx, base);
  right.add(cx, top);
  right.add(cx, base);
  right.add(cx + half, base);
  fill(p, left, pal::white);
  fill(p, right, Rgb{0.62f, 0.62f, 0.64f});
  // The turned-down flap casts a thin dark edge along the fold.
  fold.add(cx, top + r * 0.08f);
  fold.add(cx + r * 0.035f, base);
  fold.add(cx, base);
  fill(p, fold, Rgb{0.25f, 0.25f, 0.27f});
  // Ribbon with notched tails, reaching a little beyond the disc.
  float ry0 = cy + r * 0.26f, ry1 = cy + r * 0.58f, rx = r * 1.08f, notch = r * 0.1f;
  Polygon ribbon;
  ribbon.add(cx - rx, ry0);
  ribbon.add(cx + rx, ry0);
  ribbon.add(cx + rx - notch, (ry0 + ry1) / 2);
  ribbon.add(cx + rx, ry1);
  ribbon.add(cx - rx, ry1);
  ribbon.add(cx - rx + notch, (ry0 + ry1) / 2);
  fill(mask, ribbon);
  fill(p, ribbon, pal::black);
  // Hairlines along the ribbon's edges.
  paint(p, pal::white,
        [&](float x, float y) {
          float d = std::min(std::fabs(y - ry0 - r * 0.035f), std::fabs(y - ry1 + r * 0.035f)) - r * 0.008f;
          return cover(d) * cover(std::fabs(x - cx) - (rx - notch * 1.6f));
        },
        1, Box{int(cx - rx), int(ry0), int(cx + rx) + 1, int(ry1) + 1});
  Plane name(p.w, p.h);
  float size = f.condensedBold.sizeToFit(kGroupName, r * 1.5f, r * 0.3f, r * 0.04f);
  float cap = f.condensedBold.capHeight(size);
  f.condensedBold.draw(name, kGroupName, size, cx, (ry0 + ry1) / 2 + cap / 2, 0.5f, r * 0.04f);
  paintPlane(p, pal::white, name);
}

void drawLogo(Sink& out, const Fonts& f) {
  // Outside the emblem the colour is black: the logo is also added onto the
  // inside of a sphere as a reflection, where black adds nothing.
  Picture p(256, 256, pal::black);
  Plane mask(256, 256);
  drawEmblem(p, mask, f, 128, 124, 108);
  out.colour("cola.jpg", p, Chroma::k444);
  out.grey("colamask.jpg", mask);
}

// ---- the shouted words ------------------------------------------------------------
// White heavy type with a black outline and a black extrusion, on a jagged
// dark red burst. The mask covers the burst and the type, nothing else.
static void drawShout(Sink& out, const Fonts& f, const std::string& word, const std::string& file,
                      const std::string& maskFile, int spikes, float tilt, uint64_t seed) {
  const int n = 512;
  Picture p(n, n, pal::black);
  Plane mask(n, n);
  Polygon b = burst(256, 256, 168, 250, spikes, seed);
  Plane burstCov = polygonCoverage(n, n, b);
  Plane burstRim = grow(burstCov, 7);
  unite(mask, burstRim);
  paintPlane(p, pal::black, burstRim);
  // Burst fill: a radial gradient towards the darker red tips.
  shade(p, [&](float x, float y, Rgb old) {
    float d = std::hypot(x - 256, y - 256) / 250;
    return mix(old, mix(Rgb{0.7f, 0.05f, 0.04f}, Rgb{0.36f, 0.0f, 0.0f}, clamp01(d)), burstCov.at(int(x), int(y)));
  });
  // A thin inner ring of white rays for a little sparkle.
  paint(p, Rgb{1, 0.9f, 0.88f}, [&](float x, float y) {
    float d = b.distance(x, y);
    return cover(std::fabs(d + 14) - 1.2f) * 0.8f;
  });

  Plane type(n, n);
  float size = f.boldOblique.sizeToFit(word, 420, 170);
  float cap = f.boldOblique.capHeight(size);
  f.boldOblique.draw(type, word, size, 256, 256 + cap / 2, 0.5f, 0, tilt);
  // Extrusion towards the lower right, then the outline, then the face.
  Plane extrude(n, n);
  for (int i = 1; i <= 12; ++i) unite(extrude, shifted(type, i, i));
  Plane outline = grow(type, 5);
  Plane extrudeOutline = grow(extrude, 5);
  unite(mask, outline);
  unite(mask, extrudeOutline);
  paintPlane(p, pal::black, extrudeOutline);
  paintPlane(p, Rgb{0.28f, 0.0f, 0.0f}, extrude);
  paintPlane(p, pal::black, outline);
  // Face: white with a faint cool-grey lower half, like printed type.
  Plane face = type;
  shade(p, [&](float x, float y, Rgb old) {
    Rgb c = vertical(pal::white, Rgb{0.82f, 0.82f, 0.84f}, y, 256 - cap * 0.6f, 256 + cap * 0.6f);
    return mix(old, c, face.at(int(x), int(y)));
  });
  out.colour(file, p, Chroma::k444);
  out.grey(maskFile, mask);
}

void drawShouts(Sink& out, const Fonts& f) {
  drawShout(out, f, "YEAH!", "yeah.jpg", "yeahmask.jpg", 16, 0.12f, 27);
  drawShout(out, f, "DISCO", "disco.jpg", "discomask.jpg", 22, -0.09f, 28);
}

// ---- greeting cards ------------------------------------------------------------------
// Eight cards in one style: a translucent black plate with a red frame, the
// word GREETINGS in spaced red capitals and three group names in white.
void drawGreetings(Sink& out, const Fonts& f) {
  static const char* const names[8][3] = {
      {"Kettle Logic", "Cobalt Attic", "Tungsten Owl"},
      {"Static Orchard", "Paper Wolves", "Cinder Bureau"},
      {"Hollow Signal", "Lowland Relay", "Saltmarsh Labs"},
      {"Velvet Abacus", "Glasshouse Ghosts", "Ninth Lantern"},
      {"Marble Static", "Copper Fern", "Silent Ferry"},
      {"Orchid Foundry", "Granite Kite", "Lamp Theory"},
      {"Owl Protocol", "Pixel Moth", "Quiet Engine Club"},
      {"Rust Choir", "Moire Parish", "Dust Cartel"},
  };
  const int n = 512;
  const float cx = 256, cy = 256, hw = 226, hh = 150;
  for (int card = 0; card < 8; ++card) {
    Picture p(n, n, pal::black);
    Plane mask(n, n);
    auto plate = [&](float x, float y) { return cover(sdf::box(x, y, cx, cy, hw, hh, 18)); };
    // The plate lets a little of the picture behind show through.
    paint(mask, 0.84f, plate);
    shade(p, [&](float x, float y, Rgb old) {
      return mix(old, vertical(Rgb{0.03f, 0.03f, 0.03f}, Rgb{0.16f, 0.01f, 0.01f}, y, cy - hh, cy + hh), plate(x, y));
    });
    auto frame = [&](float x, float y) { return cover(std::fabs(sdf::box(x, y, cx, cy, hw - 12, hh - 12, 8)) - 1.5f); };
    paint(mask, 1, frame);
    paint(p, pal::brightRed, frame);

    Plane type(n, n);
    f.bold.draw(type, "GREETINGS", 24, cx, cy - hh + 62, 0.5f, 9);
    Plane rule(n, n);
    paint(rule, 1, [&](float x, float y) { return cover(sdf::box(x, y, cx, cy - hh + 82, 60, 1.2f)); });
    Plane names3(n, n);
    for (int i = 0; i < 3; ++i) {
      const char* s = names[card][i];
      float size = f.condensedBold.sizeToFit(s, 380, 50);
      f.condensedBold.draw(names3, s, size, cx, cy - 20 + 60 * i, 0.5f);
    }
    char index[16];
    std::snprintf(index, sizeof index, "%d / 8", card + 1);
    Plane small(n, n);
    f.mono.draw(small, index, 15, cx + hw - 30, cy + hh - 28, 1.f);
    for (const Plane* m : {&type, &rule, &names3, &small}) unite(mask, *m);
    paintPlane(p, pal::brightRed, type);
    paintPlane(p, pal::brightRed, rule);
    paintPlane(p, Rgb{0.97f, 0.97f, 0.97f}, names3);
    paintPlane(p, pal::midGrey, small);
    char file[32], maskFile[32];
    std::snprintf(file, sizeof file, "greet%d.jpg", card + 1);
    std::snprintf(maskFile, sizeof maskFile, "greet%dmask.jpg", card + 1);
    out.colour(file, p, Chroma::k444);
    out.grey(maskFile, mask);
  }
}

// ---- the zooming ornament -------------------------------------------------------------
// A rosette: black spiked crown, red petal ring with white inner lines, a
// ring of white beads and a solid red heart. The centre is opaque, so when
// the ornament fills the screen at six screen widths nothing shows through.
void drawOrnament(Sink& out) {
  const int n = 512;
  const float c = 256;
  Picture p(n, n, pal::black);
  Plane mask(n, n);
  auto crown = [&](float th) {
    float k = std::fabs(std::cos(8 * th));  // 16 points
    return 200 + 50 * std::pow(k, 3.f);
  };
  auto crownCov = [&](float x, float y) { return cover(sdf::polar(x, y, c, c, crown)); };
  paint(mask, 1, crownCov);
  paint(p, pal::black, crownCov);
  // Grey hairlines inside each spike.
  paint(p, Rgb{0.5f, 0.5f, 0.5f}, [&](float x, float y) { return cover(std::fabs(sdf::polar(x, y, c, c, crown) + 8) - 1.2f); });
  // Red ring.
  paint(p, pal::red, [&](float x, float y) { return cover(sdf::ring(x, y, c, c, 193, 5)); });
  // Twelve rounded petals.
  auto petals = [&](float th) {
    float k = std::fabs(std::cos(6 * th));
    return 128 + 56 * std::sqrt(k);
  };
  auto petalCov = [&](float x, float y) { return cover(sdf::polar(x, y, c, c, petals)); };
  paint(p, pal::black, [&](float x, float y) { return cover(sdf::polar(x, y, c, c, petals) - 4); });
  shade(p, [&](float x, float y, Rgb old) {
    float r = std::hypot(x - c, y - c);
    Rgb fillc = mix(Rgb{0.62f, 0.04f, 0.03f}, Rgb{0.34f, 0.0f, 0.0f}, clamp01((r - 110) / 80));
    return mix(old, fillc, petalCov(x, y));
  });
  paint(p, pal::white, [&](float x, float y) { return cover(std::fabs(sdf::polar(x, y, c, c, petals) + 10) - 1.3f); });
  // Bead ring.
  for (int i = 0; i < 24; ++i) {
    float a = kPi * 2 * i / 24, bx = c + 112 * std::cos(a), by = c + 112 * std::sin(a);
    paint(p, pal::white, [&](float x, float y) { return cover(sdf::circle(x, y, bx, by, 5)); }, 1, around(bx, by, 5));
  }
  // Heart: black ring then a red disc with fine concentric lines.
  paint(p, pal::black, [&](float x, float y) { return cover(sdf::circle(x, y, c, c, 102)); });
  shade(p, [&](float x, float y, Rgb old) {
    float r = std::hypot(x - c, y - c);
    Rgb h = mix(Rgb{0.72f, 0.08f, 0.06f}, Rgb{0.42f, 0.0f, 0.0f}, clamp01(r / 96));
    float line = std::max(cover(std::fabs(r - 62) - 1), cover(std::fabs(r - 80) - 1));
    h = mix(h, pal::black, line * 0.8f);
    return mix(old, h, cover(r - 96));
  });
  // An eight-pointed white star at the very centre.
  auto star = [&](float th) {
    float k = std::fabs(std::cos(4 * th));
    return 12 + 30 * std::pow(k, 4.f);
  };
  paint(p, pal::white, [&](float x, float y) { return cover(sdf::polar(x, y, c, c, star)); });
  out.colour("layer2.jpg", p, Chroma::k444);
  out.grey("layer2mask.jpg", mask);
}

// ---- the end screen ------------------------------------------------------------------
// Opaque: white edges meet the white screen around it; emblem, title,
// credits and thanks in the demo's black and dark red, over soft grey fog.
void drawEnding(Sink& out, const Fonts& f) {
  const int n = 512;
  Picture p(n, n, pal::white);
  // Fog: one low, soft grey bank behind the credits, fading out well before
  // the image's border so the edges stay white.
  shade(p, [&](float x, float y, Rgb old) {
    float u = x / n, v = y / n;
    float fogv = fbm(u * 1.5f, v * 3.f, 3, 5, 4001);
    float band = std::exp(-std::pow((v - 0.8f) / 0.17f, 2.f));
    float edge = smoothstep(0.f, 0.2f, u) * smoothstep(1.f, 0.8f, u) * smoothstep(1.f, 0.88f, v);
    float g = band * edge * smoothstep(0.3f, 0.8f, fogv) * 0.16f;
    return old * (1 - g);
  });
  Plane unused(n, n);
  drawEmblem(p, unused, f, 256, 118, 72);
  Plane title(n, n);
  float size = f.bold.sizeToFit(kDemoTitle, 440, 64, 6);
  f.bold.draw(title, kDemoTitle, size, 256, 268, 0.5f, 6);
  paintPlane(p, pal::black, title);
  Plane sub(n, n);
  std::string by = std::string("a demo by ") + "Ashenfold";
  f.oblique.draw(sub, by, 21, 256, 302, 0.5f, 1);
  paintPlane(p, pal::red, sub);
  paint(p, pal::red, [&](float x, float y) { return cover(sdf::box(x, y, 256, 322, 120, 1.2f)); });
  struct Credit {
    const char* role;
    const char* name;
  };
  const Credit credits[] = {{"code", "vellum"}, {"music", "hush kettle"}, {"graphics", "inkmoth"}};
  Plane roles(n, n), people(n, n);
  for (int i = 0; i < 3; ++i) {
    float y = 358 + 30 * i;
    f.regular.draw(roles, credits[i].role, 17, 244, y, 1.f, 1);
    f.bold.draw(people, credits[i].name, 19, 262, y, 0.f);
  }
  paintPlane(p, pal::midGrey, roles);
  paintPlane(p, pal::black, people);
  Plane thanks(n, n);
  f.light.draw(thanks, "thank you for watching", 16, 256, 470, 0.5f, 2);
  paintPlane(p, Rgb{0.35f, 0.35f, 0.35f}, thanks);
  out.colour("ending.jpg", p, Chroma::k444);
}

}  // namespace gen
