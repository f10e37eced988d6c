// Surface images: LED tiles, highlight maps for reflections, the skin inside
// the lumpy sphere, TV static, the ring face, the red blob texture, the
// floor net and the film-scratch pair. Those that the scenes repeat across
// a surface tile seamlessly.
#include <cstdio>

#include "images.h"

namespace gen {

// ---- LED tiles ------------------------------------------------------------------
// A charcoal housing with a bevel and a black gap at the border (so a wall of
// tiles reads as a grid), a recessed round lens lit from dark (level 0) to
// white-hot red (level 3), with a glass glint and, when lit, a red halo.
void drawLeds(Sink& out) {
  const int n = 64;
  const float c = 32, lensR = 19;
  const float intensity[4] = {0.f, 0.35f, 0.68f, 1.f};
  for (int level = 0; level < 4; ++level) {
    float I = intensity[level];
    Picture p(n, n, pal::black);
    shade(p, [&](float x, float y, Rgb) {
      float body = cover(sdf::box(x, y, c, c, 29.5f, 29.5f, 3));
      // Bevel: light from the upper left on the housing's rim.
      float edge = -sdf::box(x, y, c, c, 29.5f, 29.5f, 3);
      float bevel = 1 - smoothstep(0, 4, edge);
      float side = ((x - c) + (y - c)) / 60.f;  // -1 at upper left, +1 at lower right
      Rgb housing = grey(0.13f - 0.1f * bevel * side);
      // Halo: light spilling from the lens onto the housing.
      float r = std::hypot(x - c, y - c);
      float halo = I * I * 0.55f * std::exp(-(r - lensR) / 7.f) * (r > lensR ? 1.f : 0.f);
      housing = housing + Rgb{halo, halo * 0.08f, halo * 0.06f};
      return mix(pal::black, housing, body);
    });
    // Recess ring.
    paint(p, Rgb{0.02f, 0.02f, 0.02f}, [&](float x, float y) { return cover(sdf::circle(x, y, c, c, lensR + 2.5f)); });
    // Lens: a radial glow whose core whitens as the level rises.
    shade(p, [&](float x, float y, Rgb old) {
      float r = std::hypot(x - c, y - c) / lensR;
      Rgb dark = mix(Rgb{0.1f, 0.015f, 0.015f}, Rgb{0.05f, 0.01f, 0.01f}, r);
      Rgb rim = mix(dark, Rgb{0.82f, 0.06f, 0.04f}, I);
      Rgb core = mix(dark, Rgb{1.f, 0.88f, 0.82f}, I * I);
      Rgb lens = mix(core, rim, smoothstep(0.f, 0.85f + 0.1f * (1 - I), r));
      return mix(old, lens, cover(std::hypot(x - c, y - c) - lensR));
    });
    // Glass glint, upper left.
    paint(p, pal::white, [&](float x, float y) {
      return cover(sdf::ellipse(x, y, c - 7, c - 8, 6, 3.5f)) * 0.35f;
    });
    char name[16];
    std::snprintf(name, sizeof name, "led%d.jpg", level + 1);
    out.colour(name, p, Chroma::k444);
  }
}

// ---- highlight maps ----------------------------------------------------------------
// Read through normals (x and y of the normal map to the image), so only the
// inscribed disc matters. Black adds nothing where they are added.
void drawSpeculars(Sink& out) {
  const int n = 256;
  Plane soft(n, n);
  shade(soft, [&](float x, float y, float) {
    float r = std::hypot(x - 128, y - 128) / 128;
    return 0.85f * std::exp(-std::pow(r / 0.42f, 2.f)) + 0.3f * std::exp(-std::pow(r / 0.1f, 2.f));
  });
  out.grey("specular.jpg", soft);

  Picture p(n, n, pal::black);
  shade(p, [&](float x, float y, Rgb) {
    float u = x / n, v = y / n;
    float r = std::hypot(u - 0.5f, v - 0.5f) * 2;
    float hot = std::exp(-(std::pow(u - 0.36f, 2.f) + std::pow(v - 0.33f, 2.f)) / (2 * 0.055f * 0.055f));
    float glow = std::exp(-(std::pow(u - 0.4f, 2.f) + std::pow(v - 0.38f, 2.f)) / (2 * 0.17f * 0.17f));
    float rim = std::exp(-std::pow((r - 0.93f) / 0.06f, 2.f));
    Rgb c = Rgb{1.f, 0.96f, 0.94f} * hot + Rgb{0.34f, 0.14f, 0.13f} * glow + Rgb{0.32f, 0.1f, 0.08f} * rim;
    return c;
  });
  out.colour("specular2.jpg", p, Chroma::k420);
}

// ---- the skin inside the lumpy sphere ----------------------------------------------------
// Membranes between rounded cells, deep red, wrapping around horizontally
// without a seam (the sphere's longitude runs across the image); towards the
// poles (top and bottom rows) it calms to a plain deep red.
void drawSkin(Sink& out) {
  const int w = 512, h = 256;
  Picture p(w, h);
  shade(p, [&](float x, float y, Rgb) {
    float u = x / w, v = y / h;
    float f1, f2;
    cellNoise(u * 14, v * 7, 14, 1301, f1, f2);
    float g1, g2;
    cellNoise(u * 40 + 0.5f, v * 20, 40, 1302, g1, g2);
    float membrane = 1 - smoothstep(0.f, 0.16f, f2 - f1);
    float fine = 1 - smoothstep(0.f, 0.1f, g2 - g1);
    float bulge = std::pow(clamp01(1 - f1 * 1.3f), 2.f);
    float grain = fbm(u, v, 8, 4, 1303);
    Rgb c = mix(Rgb{0.1f, 0.005f, 0.008f}, Rgb{0.3f, 0.02f, 0.02f}, bulge);
    c = c * (0.75f + 0.5f * grain);
    c = mix(c, Rgb{0.2f, 0.01f, 0.01f}, fine * 0.5f);
    c = mix(c, Rgb{0.62f, 0.08f, 0.06f}, membrane);
    // Membrane ridges catch a pale highlight.
    c = c + Rgb{0.25f, 0.16f, 0.15f} * (membrane * membrane * grain);
    float polar = smoothstep(0.02f, 0.16f, v) * smoothstep(0.98f, 0.84f, v);
    return mix(Rgb{0.12f, 0.005f, 0.005f}, c, polar);
  });
  out.colour("colainter.jpg", p, Chroma::k420);
}

// ---- TV static ---------------------------------------------------------------------------
// Fine grain, a softer coarse grain, slow rolling bands and a few bright
// lines; every term repeats over 256 pixels, so the image tiles.
void drawStatic(Sink& out) {
  const int n = 256;
  Plane m(n, n);
  shade(m, [&](float x, float y, float) {
    int ix = int(x), iy = int(y);
    float fine = hashUnit(uint32_t(ix), uint32_t(iy), 1401);
    float coarse = valueNoise(x / 2.f, y / 2.f, n / 2, 1402);
    float band = 0.82f + 0.18f * std::sin(2 * kPi * 3 * y / n);
    float line = hashUnit(0, uint32_t(iy), 1403) > 0.96f ? 0.25f : 0.f;
    float streak = valueNoise(x / 32.f, float(iy), n / 32, 1404);
    float v = (0.55f * fine + 0.45f * coarse) * band + line * streak;
    return 0.08f + 0.85f * clamp01((v - 0.15f) / 0.8f);
  });
  out.grey("noise.jpg", m);
}

// ---- the ring face ----------------------------------------------------------------------------
// A riveted steel plate with a band of red and black chevrons: every quad of
// a spinning ring shows the whole image, so the plate reads as one segment.
void drawWheel(Sink& out) {
  const int n = 256;
  Picture p(n, n);
  shade(p, [&](float x, float y, Rgb) {
    // Brushed steel: streaks along x, a gentle vertical sheen.
    float streak = fbm(x / n, y / n * 8, 2, 4, 1501);
    float sheen = 0.38f + 0.12f * std::cos((y / n - 0.3f) * kPi);
    float g = sheen + (streak - 0.5f) * 0.12f;
    return Rgb{g, g, g * 1.02f};
  });
  // Bevelled border: light top and left, dark bottom and right, black outline.
  shade(p, [&](float x, float y, Rgb old) {
    float inset = -sdf::box(x, y, 128, 128, 127, 127, 6);
    float bevel = 1 - smoothstep(6, 10, inset);
    float side = (x + y) / n - 1;
    Rgb c = mix(old, side < 0 ? grey(0.68f) : grey(0.16f), bevel * std::fabs(side) * 1.2f);
    return mix(c, pal::black, 1 - smoothstep(1.5f, 3.f, inset));
  });
  // Chevron band between y = 78 and 178.
  const float y0 = 78, y1 = 178;
  shade(p, [&](float x, float y, Rgb old) {
    float in = cover(std::fabs(y - 128) - (y1 - y0) / 2 + 0.5f) * cover(std::fabs(x - 128) - 114);
    if (in <= 0) return old;
    float s = x + std::fabs(y - 128) * 0.9f;
    float period = 40, phase = std::fmod(s, period) / period;
    // Anti-aliased stripe edges: distance to the nearest stripe boundary in
    // pixels (the stripe function's slope is |(1, 0.9)| = 1.35).
    float edge = std::min(std::fabs(phase - 0.5f), std::min(phase, 1 - phase)) * period / 1.35f;
    bool red = phase < 0.5f;
    Rgb a = red ? Rgb{0.55f, 0.02f, 0.02f} : Rgb{0.05f, 0.05f, 0.05f};
    Rgb b = red ? Rgb{0.05f, 0.05f, 0.05f} : Rgb{0.55f, 0.02f, 0.02f};
    Rgb c = mix(b, a, clamp01(0.5f + edge));
    // Darker towards the band's edges: it sits in a shallow channel.
    c = c * (0.75f + 0.25f * std::cos((y - 128) / (y1 - y0) * kPi));
    return mix(old, c, in);
  });
  // Channel lips.
  for (float ly : {y0 - 2, y1 + 2}) {
    paint(p, pal::black, [&](float x, float y) { return cover(std::fabs(y - ly) - 1.5f) * cover(std::fabs(x - 128) - 114); });
    paint(p, grey(0.75f), [&](float x, float y) { return cover(std::fabs(y - ly - (ly < 128 ? -2.5f : 2.5f)) - 0.6f) * cover(std::fabs(x - 128) - 114); });
  }
  // Rivets: dark rim, domed head lit from the upper left, a glint.
  const float rivets[][2] = {{30, 32}, {226, 32}, {30, 224}, {226, 224}, {128, 32}, {128, 224}};
  for (auto& rv : rivets) {
    float cx = rv[0], cy = rv[1];
    paint(p, pal::black, [&](float x, float y) { return cover(sdf::circle(x, y, cx, cy, 12)); }, 1, around(cx, cy, 12));
    shade(p, [&](float x, float y, Rgb old) {
      float dx = (x - cx) / 10, dy = (y - cy) / 10, r = std::hypot(dx, dy);
      if (r > 1.2f) return old;
      float nz = std::sqrt(std::max(0.f, 1 - r * r));
      float lit = clamp01(-0.5f * dx - 0.6f * dy + 0.62f * nz);
      Rgb c = grey(0.18f + 0.6f * lit) + grey(std::pow(lit, 20.f) * 0.5f);
      return mix(old, c, cover(std::hypot(x - cx, y - cy) - 10));
    });
  }
  out.colour("wheel.jpg", p, Chroma::k444);
}

// ---- glossy red flesh ------------------------------------------------------------------
// A height field of warped noise and rounded lumps, lit from the upper left
// with a tight highlight; all terms repeat over the square, so it tiles.
void drawRedTexture(Sink& out) {
  const int n = 256;
  Plane height(n, n);
  shade(height, [&](float x, float y, float) {
    float u = x / n, v = y / n;
    float qx = fbm(u, v, 3, 4, 2101), qy = fbm(u + 0.37f, v + 0.11f, 3, 4, 2102);
    float warped = fbm(u + 0.35f * qx, v + 0.35f * qy, 4, 5, 2103);
    float f1, f2;
    cellNoise(u * 6 + qx, v * 6 + qy, 6, 2104, f1, f2);
    float lumps = 1 - std::min(f1 * 1.25f, 1.f);
    return 0.55f * warped + 0.45f * lumps * lumps;
  });
  Picture p(n, n);
  const float lx = -0.45f, ly = -0.55f, lz = 0.7f;  // light, normalised below
  const float ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      auto hgt = [&](int ix, int iy) { return height.at((ix + n) % n, (iy + n) % n); };
      float hx = (hgt(x + 1, y) - hgt(x - 1, y)) * 18, hy = (hgt(x, y + 1) - hgt(x, y - 1)) * 18;
      float nl = std::sqrt(hx * hx + hy * hy + 1);
      float nx = -hx / nl, ny = -hy / nl, nz = 1 / nl;
      float diffuse = clamp01((nx * lx + ny * ly + nz * lz) / ll);
      // Half vector between the light and a viewer straight above.
      float hx2 = lx / ll, hy2 = ly / ll, hz2 = lz / ll + 1;
      float hl = std::sqrt(hx2 * hx2 + hy2 * hy2 + hz2 * hz2);
      float glint = std::pow(clamp01((nx * hx2 + ny * hy2 + nz * hz2) / hl), 60.f);
      float h = height.at(x, y);
      Rgb base = mix(Rgb{0.1f, 0.0f, 0.005f}, Rgb{0.58f, 0.04f, 0.03f}, smoothstep(0.25f, 0.7f, h));
      p.at(x, y) = base * (0.3f + 0.85f * diffuse) + Rgb{1.f, 0.78f, 0.74f} * (glint * 0.85f);
    }
  out.colour("redtex.jpg", p, Chroma::k420);
}

// ---- the floor net -------------------------------------------------------------------------
// Diagonal twisted cords on pale concrete with dark red knots, casting a
// soft shadow; the cords repeat every 64 pixels, so 128 tiles exactly.
void drawNet(Sink& out) {
  const int n = 128;
  const float period = 64, halfWidth = 2.6f;
  auto cordDistance = [&](float x, float y, float& along, int& which) {
    // Distance to the nearest line x + y = k * period and x - y = k * period.
    float a = std::fmod(x + y + 1000 * period, period), b = std::fmod(x - y + 1000 * period, period);
    float da = std::min(a, period - a) / std::sqrt(2.f), db = std::min(b, period - b) / std::sqrt(2.f);
    which = da < db ? 0 : 1;
    along = which == 0 ? (x - y) : (x + y);
    return std::min(da, db);
  };
  Plane shadow(n, n);
  shade(shadow, [&](float x, float y, float) {
    float along;
    int which;
    return cover(cordDistance(x - 2, y - 2, along, which) - halfWidth);
  });
  blur(shadow, 2, true);
  Picture p(n, n);
  shade(p, [&](float x, float y, Rgb) {
    float grain = fbm(x / n, y / n, 4, 4, 2501);
    Rgb ground = grey(0.74f + 0.12f * grain);
    ground = ground * (1 - 0.35f * shadow.at(int(x), int(y)));
    float along;
    int which;
    float d = cordDistance(x, y, along, which);
    float t = clamp01(d / halfWidth);
    float round = std::sqrt(std::max(0.f, 1 - t * t));
    float twist = 0.5f + 0.5f * std::sin(along * 0.55f + (which ? 1.3f : 0.f));
    Rgb cord = grey(0.08f + 0.2f * round * (0.6f + 0.4f * twist));
    return mix(ground, cord, cover(d - halfWidth));
  });
  // Knots where the cords cross: on the lattice x = y = 0 (mod 64) and its centre.
  for (int k = 0; k < 9; ++k) {
    float kx = (k % 3) * 64.f, ky = (k / 3) * 64.f;
    for (float ox : {0.f, 32.f}) {
      float cx = kx + ox, cy = ky + ox;
      shade(p, [&](float x, float y, Rgb old) {
        // Wrapped distance so knots on the border continue on the far side.
        float dx = std::fabs(x - cx), dy = std::fabs(y - cy);
        dx = std::min(dx, n - dx);
        dy = std::min(dy, n - dy);
        float r = std::hypot(dx, dy);
        Rgb knot = mix(Rgb{0.55f, 0.05f, 0.04f}, Rgb{0.2f, 0.0f, 0.0f}, clamp01(r / 5));
        return mix(old, knot, cover(r - 4.5f));
      });
    }
  }
  out.colour("net.jpg", p, Chroma::k444);
}

// ---- film: black ground and its scratch mask ------------------------------------------------
void drawFilm(Sink& out) {
  const int n = 256;
  Plane ground(n, n);
  shade(ground, [&](float x, float y, float) {
    float r = std::hypot(x - 128, y - 128) / 181;
    return 0.03f + 0.025f * hashUnit(uint32_t(x), uint32_t(y), 2201) - 0.02f * r;
  });
  out.grey("blackbg.jpg", ground);

  Plane m(n, n);
  Rng rng(2202);
  // Long vertical scratches with a slight wobble, some only part of the height.
  for (int i = 0; i < 14; ++i) {
    float x0 = rng.range(10, 246), amp = rng.range(0.5f, 3.f), freq = rng.range(0.005f, 0.03f), ph = rng.range(0, 6.28f);
    float y0 = rng.unit() < 0.5f ? -10 : rng.range(0, 180), y1 = rng.unit() < 0.5f ? 270 : y0 + rng.range(40, 200);
    float width = rng.range(0.35f, 1.1f), bright = rng.range(0.45f, 1.f), drift = rng.range(-0.03f, 0.03f);
    paint(m, bright, [&](float x, float y) {
      if (y < y0 || y > y1) return 0.f;
      float cx = x0 + amp * std::sin(y * freq + ph) + drift * y;
      float fade = smoothstep(y0, y0 + 20, y) * smoothstep(y1, y1 - 20, y);
      return cover(std::fabs(x - cx) - width) * fade;
    });
  }
  // Specks and two hairs.
  for (int i = 0; i < 60; ++i) {
    float cx = rng.range(0, n), cy = rng.range(0, n), r = rng.range(0.5f, 2.2f), b = rng.range(0.4f, 1.f);
    paint(m, b, [&](float x, float y) { return cover(sdf::circle(x, y, cx, cy, r)); }, 1, around(cx, cy, r));
  }
  for (int i = 0; i < 2; ++i) {
    Stroke s;
    float x0 = rng.range(30, 220), y0 = rng.range(30, 220);
    bezierStroke(s, x0, y0, x0 + rng.range(-40, 40), y0 + rng.range(-60, 60), x0 + rng.range(-40, 40),
                 y0 + rng.range(-60, 60), x0 + rng.range(-50, 50), y0 + rng.range(-50, 50), 0.6f, 0.3f, 40);
    fill(m, s, 0.8f);
  }
  out.grey("scratch.jpg", m);
}

}  // namespace gen
