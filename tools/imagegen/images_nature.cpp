// Organic sprites and overlays: the soap bubble, two cloud puffs, flowers,
// the floral corner, the blossom, the butterfly, ink grunge and dust.
// Self-masked images (their brightness is their alpha) are bright shapes on
// black; corner ornaments fade to black before the image's far edges.
#include "images.h"

namespace gen {

namespace {

// An almond leaf from (bx, by) pointing along angle, as a polygon.
Polygon leaf(float bx, float by, float angle, float length, float width) {
  Polygon p;
  float dx = std::cos(angle), dy = std::sin(angle), nx = -dy, ny = dx;
  const int steps = 14;
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i <= steps; ++i) {
      float t = side == 0 ? float(i) / steps : 1 - float(i) / steps;
      float hw = width * std::pow(std::max(0.f, std::sin(kPi * t)), 0.8f) * (side == 0 ? 1 : -1);
      p.add(bx + dx * length * t + nx * hw, by + dy * length * t + ny * hw);
    }
  return p;
}

// A logarithmic spiral stroke starting at angle a0 on a circle of radius r0
// around (cx, cy), winding `turns` times (direction dir = +1 or -1) while
// the radius shrinks to rEnd and the half width goes from w0 to w1.
Stroke spiral(float cx, float cy, float r0, float rEnd, float a0, float turns, float dir, float w0, float w1) {
  Stroke s;
  const int steps = int(60 * turns) + 8;
  for (int i = 0; i <= steps; ++i) {
    float t = float(i) / steps;
    float a = a0 + dir * t * turns * 2 * kPi;
    float r = r0 * std::pow(rEnd / r0, t);
    s.add(cx + r * std::cos(a), cy + r * std::sin(a), lerp(w0, w1, t));
  }
  return s;
}

// Petal outline: `petals` rounded petals of radius R with a small notch at
// each tip, turned by rot.
float petalRadius(float th, float R, int petals, float rot, float fullness = 0.5f) {
  float k = std::fabs(std::cos(petals * (th - rot) / 2));
  float notch = 0.1f * std::exp(-(1 - k) * 150);
  return R * (fullness + (1 - fullness) * std::pow(k, 0.7f) - notch);
}

// Pastes a plane mirrored about the main diagonal onto itself (union).
void mirrorDiagonal(Plane& m) {
  for (int y = 0; y < m.h; ++y)
    for (int x = y + 1; x < m.w; ++x) {
      float v = std::max(m.at(x, y), m.at(y, x));
      m.at(x, y) = m.at(y, x) = v;
    }
}

}  // namespace

// ---- soap bubble -----------------------------------------------------------------
// Nearly clear in the middle, a thin rim that darkens to a fine edge line so
// it shows on white fog, a red-grey sheen that turns around the rim, and two
// window highlights.
void drawBubble(Sink& out) {
  const int n = 128;
  const float c = 64, R = 60;
  Plane mask(n, n);
  Picture p(n, n, pal::white);
  auto highlight = [&](float x, float y) {
    // Main window highlight, upper left, a soft ellipse along the rim.
    float dx = x - (c - 0.37f * R), dy = y - (c - 0.38f * R);
    float a = dx * 0.7071f + dy * 0.7071f, b = -dx * 0.7071f + dy * 0.7071f;
    float main = std::exp(-(std::pow(a / (0.1f * R), 2.f) + std::pow(b / (0.21f * R), 2.f)) * 2.f);
    float small = std::exp(-std::pow(std::hypot(x - (c + 0.42f * R), y - (c + 0.4f * R)) / (0.06f * R), 2.f) * 2.f);
    return std::max(clamp01(main * 1.4f), small * 0.6f);
  };
  shade(mask, [&](float x, float y, float) {
    float d = std::hypot(x - c, y - c), r = d / R;
    float film = 0.05f + 0.7f * std::pow(std::min(r, 1.f), 6.f);
    float edge = std::exp(-std::pow((r - 0.975f) / 0.03f, 2.f));
    return std::max(std::max(film, edge * 0.95f), highlight(x, y)) * cover(d - R);
  });
  // Colour: clear white middle, a pale sheen band that shows on black, and
  // a dark hairline at the very edge that shows on white.
  shade(p, [&](float x, float y, Rgb) {
    float d = std::hypot(x - c, y - c), r = d / R, th = std::atan2(y - c, x - c);
    float tint = 0.5f + 0.5f * std::sin(2 * th + 1.f);
    Rgb sheen = mix(grey(0.88f), Rgb{0.9f, 0.5f, 0.48f}, tint * 0.6f);
    Rgb col = mix(grey(0.97f), sheen, smoothstep(0.55f, 0.85f, r));
    col = mix(col, grey(0.1f), smoothstep(0.955f, 0.99f, r));
    return mix(col, pal::white, highlight(x, y));
  });
  out.colour("bubble.jpg", p, Chroma::k420);
  out.grey("bubblemask.jpg", mask);
}

// ---- cloud puffs ----------------------------------------------------------------------
// Both are rings of cloud with a thinner middle, so a stack of them seen
// along its axis reads as a tunnel. Their masks reach zero well inside the
// square (at 86% of the half width), so no square edge ever shows.
void drawClouds(Sink& out) {
  const int n = 256;
  auto build = [&](uint32_t seed, bool wispy, Plane& density) {
    density = Plane(n, n);
    shade(density, [&](float x, float y, float) {
      float u = x / n, v = y / n;
      float dx = u - 0.5f, dy = v - 0.5f, r = 2 * std::hypot(dx, dy);
      float base;
      if (!wispy) {
        float nz = fbm(u, v, 4, 5, seed);
        float ring = std::exp(-std::pow((r - 0.5f) / 0.24f, 2.f));
        base = ring * (0.5f + 1.3f * (nz - 0.45f)) + 0.12f * std::exp(-std::pow(r / 0.3f, 2.f)) * nz;
      } else {
        // Streaks that wind around the ring: noise in polar coordinates,
        // periodic in the angle so the seam at +-pi does not show.
        float a = std::atan2(dy, dx) / (2 * kPi) + 0.5f;
        float w = fbm(u, v, 3, 3, seed + 5);
        float streaks = fbm(a + 0.22f * r + 0.1f * w, r * 0.6f, 6, 5, seed);
        float ring = std::exp(-std::pow((r - 0.52f) / 0.26f, 2.f));
        base = ring * (0.35f + 1.7f * (streaks - 0.4f));
      }
      return clamp01(base) * smoothstep(0.86f, 0.64f, r);
    });
  };

  Plane d2;
  build(1101, false, d2);
  Plane mask2(n, n), shade2(n, n);
  shade(mask2, [&](float x, float y, float) { return smoothstep(0.06f, 0.55f, d2.at(int(x), int(y))); });
  shade(shade2, [&](float x, float y, float) {
    // Lit from the upper left: brighter where density falls away towards the light.
    float s = d2.sample(x - 5, y - 5) - d2.sample(x + 5, y + 5);
    float fine = fbm(x / n, y / n, 16, 3, 1102);
    return clamp01(0.8f + 0.9f * s + 0.15f * (fine - 0.5f));
  });
  out.grey("cloud2.jpg", shade2);
  out.grey("cloudmask2.jpg", mask2);

  Plane d3;
  build(2301, true, d3);
  // The tunnel's sprite is a thin ring of cloud: clear out to 0.42 of its
  // half-width (the wisps alone leave only a speck clear there) and faded
  // out by 0.8 instead of 0.86. The layers just in front of the eye fill the
  // screen; the far end of the tunnel shows through their middle, and each
  // layer's drawn ring stays small.
  Plane mask3(n, n);
  shade(mask3, [&](float x, float y, float) {
    float r = 2 * std::hypot(x / n - 0.5f, y / n - 0.5f);
    return smoothstep(0.05f, 0.6f, d3.at(int(x), int(y))) * smoothstep(0.42f, 0.54f, r) * smoothstep(0.8f, 0.62f, r);
  });
  Picture p3(n, n);
  shade(p3, [&](float x, float y, Rgb) {
    float s = d3.sample(x - 4, y - 4) - d3.sample(x + 4, y + 4);
    float dens = d3.at(int(x), int(y));
    float lit = clamp01(0.86f + 0.8f * s);
    // Mid-grey wisps with dark red cores: the tunnel they build is laid
    // under a full-strength additive glow on white, which roughly doubles
    // every colour, so the clouds keep their shape only below half
    // brightness (the wisps then glow near white, the cores stay red).
    Rgb c = mix(Rgb{0.5f, 0.47f, 0.47f}, Rgb{0.3f, 0.06f, 0.05f}, smoothstep(0.3f, 1.f, dens));
    return c * lit;
  });
  out.colour("cloud3.jpg", p3, Chroma::k420);
  out.grey("cloud3mask.jpg", mask3);
}

// ---- flowers in the upper-left corner ---------------------------------------------------------
// Stems grow out of the corner to six blossoms with open hearts, leaves and
// buds; pale rose and white (bright, so the image is its own opaque mask),
// fading out towards the lower right.
void drawFlowers(Sink& out) {
  const int n = 256;
  Picture p(n, n, pal::black);
  struct Bloom {
    float x, y, R;
    int petals;
    float rot;
  };
  const Bloom blooms[] = {{66, 60, 34, 6, 0.2f},  {156, 42, 24, 5, 0.6f}, {44, 156, 26, 5, 1.1f},
                          {126, 122, 18, 7, 0.3f}, {200, 92, 11, 5, 0.9f}, {96, 196, 12, 6, 0.1f}};
  Rng rng(1501);
  // Stems first, from beyond the corner to each blossom.
  for (const Bloom& b : blooms) {
    Stroke s;
    float mx = b.x * 0.45f + rng.range(-14, 14), my = b.y * 0.45f + rng.range(-14, 14);
    bezierStroke(s, -6, -6, mx, my * 0.4f, mx * 0.6f + b.x * 0.4f, my, b.x, b.y, 2.6f, 1.3f, 40);
    fill(p, s, grey(0.72f));
    // A leaf on each stem, a little past its middle.
    size_t k = s.x.size() / 2 + 3;
    float ang = std::atan2(s.y[k + 1] - s.y[k], s.x[k + 1] - s.x[k]) + (rng.unit() < 0.5f ? 0.7f : -0.7f);
    fill(p, leaf(s.x[k], s.y[k], ang, b.R * 0.9f + 10, b.R * 0.18f + 3), grey(0.78f));
  }
  for (const Bloom& b : blooms) {
    auto rho = [&](float th) { return petalRadius(th, b.R, b.petals, b.rot); };
    Box box = around(b.x, b.y, b.R);
    // Dark seam around the blossom so it separates from stems behind it.
    paint(p, pal::black, [&](float x, float y) { return cover(sdf::polar(x, y, b.x, b.y, rho) - 1.5f); }, 1, box);
    shade(p, [&](float x, float y, Rgb old) {
      float cov = cover(sdf::polar(x, y, b.x, b.y, rho));
      if (cov <= 0) return old;
      float r = std::hypot(x - b.x, y - b.y) / b.R, th = std::atan2(y - b.y, x - b.x);
      Rgb c = mix(pal::white, pal::rose, smoothstep(0.3f, 1.f, r));
      // Midrib of each petal: a faint darker line (so partly see-through).
      float mid = std::fabs(std::sin(b.petals * (th - b.rot) / 2));
      float vein = cover(mid * r * b.R - 0.6f) * smoothstep(0.28f, 0.45f, r) * smoothstep(0.9f, 0.6f, r);
      c = mix(c, grey(0.55f), vein * 0.7f);
      return mix(old, c, cov);
    });
    // Open heart: a dark ring around a bright centre.
    paint(p, pal::black, [&](float x, float y) { return cover(sdf::circle(x, y, b.x, b.y, b.R * 0.24f)); }, 1, box);
    paint(p, pal::white, [&](float x, float y) { return cover(sdf::circle(x, y, b.x, b.y, b.R * 0.11f)); }, 1, box);
  }
  // Buds and seeds scattered around the cluster.
  for (int i = 0; i < 26; ++i) {
    float a = rng.range(0.05f, 1.52f), d = rng.range(70, 215), r = rng.range(1.2f, 3.5f);
    float bx = d * std::cos(a), by = d * std::sin(a);
    paint(p, pal::rose, [&](float x, float y) { return cover(sdf::circle(x, y, bx, by, r)); }, 1, around(bx, by, r));
  }
  shade(p, [&](float x, float y, Rgb old) { return old * (1 - smoothstep(175, 248, std::hypot(x, y))); });
  out.colour("flowers.jpg", p, Chroma::k444);
}

// ---- floral corner ornament -------------------------------------------------------------------
// Scrolls along both edges curling into spirals, a stem down the diagonal
// ending in a rosette, leaves with darker midribs, tendrils and berries;
// symmetric about the diagonal, white on black.
void drawFlourish(Sink& out) {
  const int n = 512;
  Plane m(n, n);
  // Main scroll along the top edge, ending in a spiral.
  Stroke mainStem;
  bezierStroke(mainStem, -10, 26, 120, 8, 240, 84, 300, 80, 7.5f, 5, 48);
  fill(m, mainStem);
  fill(m, spiral(300, 128, 48, 7, -kPi / 2, 1.55f, 1, 5, 2.2f));
  paint(m, 1, [&](float x, float y) { return cover(sdf::circle(x, y, 303, 131, 6)); });
  // A tendril from the main scroll curling inward, with a small spiral.
  Stroke tendril;
  bezierStroke(tendril, 150, 32, 180, 50, 200, 90, 186, 120, 3.5f, 2.5f, 30);
  fill(m, tendril);
  fill(m, spiral(168, 128, 18, 4, 0, 1.3f, 1, 2.5f, 1.4f));
  // Leaves below the scroll, midribs darker.
  const float leaves[][5] = {{108, 17, 0.85f, 56, 12}, {162, 28, 1.1f, 48, 11}, {214, 46, 0.7f, 42, 10},
                             {252, 74, 2.2f, 38, 9}, {136, 20, -0.25f, 30, 7}};
  for (auto& l : leaves) {
    Polygon p = leaf(l[0], l[1], l[2], l[3], l[4]);
    fill(m, p, 0.92f);
    Stroke rib;
    rib.add(l[0], l[1], 1.1f);
    rib.add(l[0] + std::cos(l[2]) * l[3] * 0.85f, l[1] + std::sin(l[2]) * l[3] * 0.85f, 0.4f);
    fill(m, rib, 0.35f);
  }
  // Berries.
  const float berries[][3] = {{236, 118, 5}, {248, 130, 4}, {232, 134, 3.5f}, {118, 70, 4}, {130, 80, 3}};
  for (auto& b : berries)
    paint(m, 1, [&](float x, float y) { return cover(sdf::circle(x, y, b[0], b[1], b[2])); }, 1, around(b[0], b[1], b[2]));
  // Small five-petal flower at the tendril's foot.
  auto small = [&](float th) { return petalRadius(th, 15, 5, 0.3f); };
  paint(m, 0.95f, [&](float x, float y) { return cover(sdf::polar(x, y, 222, 168, small)); }, 1, around(222, 168, 15));
  paint(m, 0.2f, [&](float x, float y) { return cover(sdf::circle(x, y, 222, 168, 4)); }, 1, around(222, 168, 4));
  mirrorDiagonal(m);
  // The diagonal stem and its rosette (symmetric in itself).
  Stroke diag;
  diag.add(-6, -6, 7);
  diag.add(160, 160, 4.f);
  fill(m, diag);
  for (float s : {-1.f, 1.f}) {
    float a = kPi / 4 + s * 1.0f;
    fill(m, leaf(100, 100, a, 44, 10), 0.92f);
    Stroke rib;
    rib.add(100, 100, 1.f);
    rib.add(100 + std::cos(a) * 37, 100 + std::sin(a) * 37, 0.4f);
    fill(m, rib, 0.35f);
  }
  const float rc = 178;
  auto rosette = [&](float th) { return petalRadius(th, 44, 8, kPi / 4, 0.55f); };
  paint(m, 1, [&](float x, float y) { return cover(sdf::polar(x, y, rc, rc, rosette)); }, 1, around(rc, rc, 48));
  paint(m, 0.3f, [&](float x, float y) { return cover(sdf::ring(x, y, rc, rc, 22, 2)); }, 1, around(rc, rc, 26));
  paint(m, 0.35f, [&](float x, float y) { return cover(sdf::circle(x, y, rc, rc, 10)); }, 1, around(rc, rc, 12));
  paint(m, 1, [&](float x, float y) { return cover(sdf::circle(x, y, rc, rc, 5)); }, 1, around(rc, rc, 6));
  out.grey("flowers2.jpg", m);
}

// ---- the blossom sprite -------------------------------------------------------------------------
// Two layers of dark red petals, lighter at the tips with a pale rim, dark
// veins and a black heart ringed with cream stamens. The colour file is
// flower1mask.jpg and its mask flower1.jpg, as the demo loads them.
void drawBlossom(Sink& out) {
  const int n = 128;
  const float c = 64, R = 60;
  auto outer = [&](float th) { return petalRadius(th, R, 5, -kPi / 2, 0.42f); };
  auto inner = [&](float th) { return petalRadius(th, R * 0.62f, 5, -kPi / 2 + kPi / 5, 0.45f); };
  Plane mask(n, n);
  paint(mask, 1, [&](float x, float y) { return cover(sdf::polar(x, y, c, c, outer)); });
  Picture p(n, n, pal::red);
  auto petalColour = [&](float x, float y, float radius, float rot) {
    float r = std::hypot(x - c, y - c) / radius, th = std::atan2(y - c, x - c);
    Rgb col = mix(Rgb{0.22f, 0.0f, 0.0f}, Rgb{0.62f, 0.04f, 0.03f}, smoothstep(0.1f, 0.7f, r));
    col = mix(col, Rgb{0.84f, 0.3f, 0.26f}, smoothstep(0.78f, 1.f, r));
    float mid = std::fabs(std::sin(5 * (th - rot) / 2));
    col = mix(col, Rgb{0.25f, 0.0f, 0.0f}, cover(mid * r * radius - 0.7f) * smoothstep(0.2f, 0.4f, r) * 0.6f);
    return col;
  };
  shade(p, [&](float x, float y, Rgb old) {
    return mix(old, petalColour(x, y, R, -kPi / 2), cover(sdf::polar(x, y, c, c, outer)));
  });
  // The inner petals cast a soft dark edge on the outer ones.
  paint(p, Rgb{0.15f, 0, 0}, [&](float x, float y) { return cover(sdf::polar(x, y, c, c, inner) - 2.5f) * 0.7f; });
  shade(p, [&](float x, float y, Rgb old) {
    return mix(old, petalColour(x, y, R * 0.62f, -kPi / 2 + kPi / 5), cover(sdf::polar(x, y, c, c, inner)));
  });
  paint(p, pal::black, [&](float x, float y) { return cover(sdf::circle(x, y, c, c, R * 0.17f)); });
  for (int i = 0; i < 10; ++i) {
    float a = kPi * 2 * i / 10, sx = c + R * 0.2f * std::cos(a), sy = c + R * 0.2f * std::sin(a);
    paint(p, Rgb{0.96f, 0.9f, 0.82f}, [&](float x, float y) { return cover(sdf::circle(x, y, sx, sy, 2.f)); }, 1,
          around(sx, sy, 2));
  }
  out.colour("flower1mask.jpg", p, Chroma::k444);
  out.grey("flower1.jpg", mask);
}

// ---- butterfly --------------------------------------------------------------------------------------
// The colour is a plain light grey; the mask carries the butterfly: opaque
// veins, borders and body, translucent wing cells, see-through spots in the
// borders (a monarch-like pattern, read as alpha).
void drawButterfly(Sink& out) {
  const int n = 256;
  Picture blank(n, n);
  shade(blank, [&](float x, float y, Rgb) {
    float v = 0.84f - 0.08f * (y / n) - 0.04f * std::hypot(x - 128, y - 128) / 181;
    return Rgb{v, v * 0.985f, v * 0.98f};
  });
  out.colour("blank.jpg", blank, Chroma::k420);

  auto outline = [](Polygon& p, const float (*seg)[8], int count) {
    for (int s = 0; s < count; ++s)
      for (int i = 0; i < 16; ++i) {
        float t = i / 16.f, u = 1 - t;
        const float* q = seg[s];
        p.add(u * u * u * q[0] + 3 * u * u * t * q[2] + 3 * u * t * t * q[4] + t * t * t * q[6],
              u * u * u * q[1] + 3 * u * u * t * q[3] + 3 * u * t * t * q[5] + t * t * t * q[7]);
      }
  };
  // Right wings as chains of cubic segments (start, two controls, end).
  const float fore[][8] = {{134, 112, 160, 70, 205, 38, 238, 50},
                           {238, 50, 250, 80, 242, 116, 224, 130},
                           {224, 130, 190, 142, 152, 136, 134, 126}};
  const float hind[][8] = {{134, 128, 180, 122, 228, 132, 222, 172},
                           {222, 172, 218, 205, 200, 226, 176, 224},
                           {176, 224, 150, 212, 140, 168, 134, 138}};
  Polygon wings[4];
  outline(wings[0], fore, 3);
  outline(wings[1], hind, 3);
  for (int w = 0; w < 2; ++w)
    for (size_t i = 0; i < wings[w].x.size(); ++i) wings[w + 2].add(256 - wings[w].x[i], wings[w].y[i]);
  Plane mask(n, n);
  Rng rng(1601);
  for (int w = 0; w < 4; ++w) {
    const Polygon& wing = wings[w];
    bool right = w < 2;
    float rootX = right ? 134 : 122, rootY = w % 2 == 0 ? 118 : 132;
    // Vein targets: points along the wing's outer edge.
    std::vector<std::pair<float, float>> tips;
    size_t count = wing.x.size();
    for (size_t i = count / 8; i < count * 7 / 8; i += count / 7) tips.push_back({wing.x[i], wing.y[i]});
    paint(mask, 1, [&](float x, float y) {
      float d = wing.distance(x, y);
      float inside = cover(d);
      if (inside <= 0) return 0.f;
      float a = 0.62f;                                     // translucent cells
      float border = cover(-d - 13);                       // 0 in the border band
      a = lerp(1.f, a, border);
      for (auto& t : tips) a = std::max(a, cover(sdf::segment(x, y, rootX, rootY, t.first, t.second) - 1.3f));
      return a * inside;
    }, 1, wing.bounds());
    // White spots along the border band.
    for (size_t i = 0; i < count; i += 5) {
      float sx = wing.x[i], sy = wing.y[i];
      float cx = sx + (rootX - sx) * 0.075f, cy = sy + (rootY - sy) * 0.075f;
      float r = rng.range(1.6f, 3.f);
      paint(mask, 0.25f, [&](float x, float y) { return cover(sdf::circle(x, y, cx, cy, r)) * cover(wing.distance(x, y) + 2); }, 1,
            around(cx, cy, r));
    }
  }
  // Body, head, antennae.
  paint(mask, 1, [&](float x, float y) { return cover(sdf::ellipse(x, y, 128, 140, 6, 46)); });
  paint(mask, 1, [&](float x, float y) { return cover(sdf::circle(x, y, 128, 92, 8)); });
  for (float s : {-1.f, 1.f}) {
    Stroke a;
    bezierStroke(a, 128 + s * 3, 86, 128 + s * 8, 60, 128 + s * 20, 44, 128 + s * 34, 34, 1.4f, 1.f, 24);
    fill(mask, a);
    paint(mask, 1, [&](float x, float y) { return cover(sdf::circle(x, y, 128 + s * 34, 34, 3.2f)); });
  }
  out.grey("butterfly.jpg", mask);
}

// ---- ink grunge for the upper-left corner --------------------------------------------------------
// Drawn as it appears on screen, then stored upside down: the scenes show
// this file with its first row at the bottom. A big ink blot with droplets
// and streaks, drips running down from the top edge, grainy grunge and
// scratches, all fading out before the right and bottom edges.
void drawTrash(Sink& out) {
  const int n = 512;
  Picture p(n, n, pal::black);
  Rng rng(2401);
  auto blot = [&](float cx, float cy, float R, uint32_t seed, Rgb colour) {
    auto rho = [&](float th) {
      float a = th / (2 * kPi) + 0.5f;
      return R * (0.85f + 0.45f * (valueNoise(a * 9, 0, 9, seed) - 0.5f) + 0.2f * (valueNoise(a * 23, 3, 23, seed + 1) - 0.5f));
    };
    paint(p, colour, [&](float x, float y) { return cover(sdf::polar(x, y, cx, cy, rho)); }, 1, around(cx, cy, R * 1.4f));
    // Droplets thrown outwards, smaller further out; some drawn out into
    // teardrops whose tails point back at the blot.
    for (int i = 0; i < 30; ++i) {
      float a = rng.range(0, 2 * kPi), far = rng.range(1.15f, 2.6f);
      float r = R * 0.12f * (2.8f - far) * rng.range(0.35f, 1.f);
      float dx = cx + std::cos(a) * R * far, dy = cy + std::sin(a) * R * far;
      if (rng.unit() < 0.35f) {
        Stroke s;
        float tail = r * rng.range(2.5f, 5.f);
        s.add(dx - std::cos(a) * tail, dy - std::sin(a) * tail, 0.4f);
        s.add(dx, dy, r);
        fill(p, s, colour);
      } else {
        paint(p, colour, [&](float x, float y) { return cover(sdf::circle(x, y, dx, dy, r)); }, 1, around(dx, dy, r));
      }
    }
  };
  blot(96, 86, 62, 2402, grey(0.96f));
  blot(300, 36, 30, 2403, pal::rose);
  blot(34, 300, 22, 2404, grey(0.9f));
  // Drips running down from the blots, wavering, each ending in a drop.
  const float drips[][4] = {{70, 130, 150, 4.5f}, {112, 134, 95, 3.5f}, {300, 58, 70, 3}, {42, 312, 60, 2.5f}};
  for (auto& d : drips) {
    Stroke s;
    const int steps = 12;
    for (int i = 0; i <= steps; ++i) {
      float t = float(i) / steps;
      float x = d[0] + 2.5f * std::sin(t * 5 + d[0]);
      s.add(x, d[1] + d[2] * t, d[3] * (0.9f - 0.4f * t + 0.15f * std::sin(t * 9 + d[1])));
    }
    Rgb c = d[0] == 300 ? pal::rose : grey(0.93f);
    fill(p, s, c);
    float ex = s.x.back(), ey = s.y.back() + d[3];
    paint(p, c, [&](float x, float y) { return cover(sdf::ellipse(x, y, ex, ey, d[3] * 1.2f, d[3] * 1.6f)); },
          1, around(ex, ey, d[3] * 2));
  }
  // Grunge: mottled patches of fine grain, densest in the corner.
  shade(p, [&](float x, float y, Rgb old) {
    float u = x / n, v = y / n;
    float g = fbm(u, v, 6, 6, 2405);
    float fine = fbm(u, v, 64, 2, 2407);
    float fall = 1 - smoothstep(90, 430, std::hypot(x, y));
    float grain = smoothstep(0.54f, 0.6f, g) * smoothstep(0.42f, 0.58f, fine) * fall * 0.85f;
    float speck = hashUnit(uint32_t(x), uint32_t(y), 2406) > 0.994f ? fall : 0.f;
    Rgb c = old;
    c = mix(c, grey(0.82f), grain);
    return mix(c, pal::white, speck);
  });
  // Scratches.
  for (int i = 0; i < 4; ++i) {
    float x0 = rng.range(0, 200), y0 = rng.range(0, 200), len = rng.range(120, 260), a = rng.range(0.2f, 1.3f);
    Stroke s;
    s.add(x0, y0, 0.9f);
    s.add(x0 + std::cos(a) * len * 0.5f + rng.range(-8, 8), y0 + std::sin(a) * len * 0.5f, 0.7f);
    s.add(x0 + std::cos(a) * len, y0 + std::sin(a) * len, 0.3f);
    fill(p, s, grey(0.75f));
  }
  shade(p, [&](float x, float y, Rgb old) {
    return old * ((1 - smoothstep(380, 500, std::max(x, y))) * (1 - smoothstep(330, 470, std::hypot(x, y) * 0.8f)));
  });
  flipVertical(p);
  out.colour("trash.jpg", p, Chroma::k444);
}

// ---- dust ---------------------------------------------------------------------------------------------
// Specks, soft motes and curled fibres, thickest in the upper-left corner.
void drawDust(Sink& out) {
  const int n = 256;
  Plane m(n, n);
  Rng rng(2601);
  for (int i = 0; i < 170; ++i) {
    float x = n * std::pow(rng.unit(), 1.7f), y = n * std::pow(rng.unit(), 1.7f);
    float r = rng.range(0.45f, 2.2f), b = rng.range(0.45f, 1.f);
    bool soft = rng.unit() < 0.25f;
    paint(m, b, [&](float px, float py) {
      float d = sdf::circle(px, py, x, y, r);
      return soft ? clamp01(std::exp(-(d + r) * (d + r) / (r * r * 2))) : cover(d);
    }, 1, around(x, y, r * 3));
  }
  for (int i = 0; i < 14; ++i) {
    float x0 = n * std::pow(rng.unit(), 1.5f), y0 = n * std::pow(rng.unit(), 1.5f);
    Stroke s;
    float l = rng.range(10, 40);
    bezierStroke(s, x0, y0, x0 + rng.range(-l, l), y0 + rng.range(-l, l), x0 + rng.range(-l, l), y0 + rng.range(-l, l),
                 x0 + rng.range(-l, l), y0 + rng.range(-l, l), rng.range(0.35f, 0.7f), 0.25f, 30);
    fill(m, s, rng.range(0.6f, 0.95f));
  }
  shade(m, [&](float x, float y, float v) { return v * (1 - smoothstep(200, 252, std::max(x, y))); });
  out.grey("dust.jpg", m);
}

}  // namespace gen
