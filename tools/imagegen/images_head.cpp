// The talking head: one stylised face drawn on a 256 x 512 canvas and cut in
// two at the mouth. man1 holds the crown down to the upper lip, man2 the
// lower lip, chin, neck and collar. The demo stacks the two quads with the
// upper one on top and lifts or tilts it with the music, so the cut runs
// exactly between the lips: closed, the halves meet as one face; lifted,
// the mouth opens.
#include "images.h"

namespace gen {

namespace {

const float kX = 128;      // face centre line
const float kSeam = 256;   // the cut, between the lips
const float kCrown = 20, kWidest = 176, kChin = 350, kHalfWidth = 88;

// Half width of the face at row y (0 outside the face).
float faceHalfWidth(float y) {
  if (y <= kCrown || y >= kChin) return 0;
  if (y < kWidest) {
    float t = (kWidest - y) / (kWidest - kCrown);
    return kHalfWidth * std::sqrt(std::max(0.f, 1 - t * t));
  }
  // A softer power below the cheekbones gives a rounded jaw and chin.
  float t = (y - kWidest) / (kChin - kWidest);
  return kHalfWidth * std::pow(std::max(0.f, 1 - std::pow(t, 2.3f)), 1 / 2.3f);
}

Polygon facePolygon() {
  Polygon p;
  const int steps = 90;
  for (int i = 0; i <= steps; ++i) {
    float y = lerp(kCrown, kChin, float(i) / steps);
    p.add(kX + faceHalfWidth(y), y);
  }
  for (int i = steps; i >= 0; --i) {
    float y = lerp(kCrown, kChin, float(i) / steps);
    p.add(kX - faceHalfWidth(y), y);
  }
  return p;
}

Plane coverage(int w, int h, const Polygon& poly) {
  Plane m(w, h);
  fill(m, poly);
  return m;
}

}  // namespace

void drawHead(Sink& out) {
  const int w = 256, h = 512;
  Picture p(w, h, pal::black);
  Plane mask(w, h);
  const Rgb skin{0.88f, 0.86f, 0.85f};

  // ---- silhouette parts ----
  Plane face = coverage(w, h, facePolygon());
  Plane ears(w, h);
  for (float s : {-1.f, 1.f})
    paint(ears, 1, [&](float x, float y) { return cover(sdf::ellipse(x, y, kX + s * 86, 196, 13, 28)); });
  Polygon neckPoly;
  neckPoly.add(kX - 40, 290);
  neckPoly.add(kX + 40, 290);
  neckPoly.add(kX + 44, 400);
  neckPoly.add(kX - 44, 400);
  Plane neck = coverage(w, h, neckPoly);
  // Collar and shoulders: a turtleneck widening into shoulders at the bottom.
  Polygon body;
  body.add(kX - 50, 372);
  body.add(kX + 50, 372);
  body.add(kX + 56, 430);
  for (int i = 0; i <= 16; ++i) {
    float t = i / 16.f;
    body.add(kX + 56 + 72 * std::sin(t * kPi / 2), 430 + 40 * (1 - std::cos(t * kPi / 2)) + 50 * t);
  }
  body.add(kX + 128, 520);
  body.add(kX - 128, 520);
  for (int i = 16; i >= 0; --i) {
    float t = i / 16.f;
    body.add(kX - 56 - 72 * std::sin(t * kPi / 2), 430 + 40 * (1 - std::cos(t * kPi / 2)) + 50 * t);
  }
  body.add(kX - 56, 430);
  Plane bodyCov = coverage(w, h, body);
  // Hair: the cranium above a swept fringe, falling to the ears at the sides.
  Plane hair(w, h);
  paint(hair, 1, [&](float x, float y) {
    float skull = sdf::ellipse(x, y, kX, 150, 100, 136);
    float ax = std::fabs(x - kX);
    float fringe = 92 + 0.0032f * (x - kX) * (x - kX) + 34 * smoothstep(176, 64, x) + 84 * smoothstep(72, 94, ax);
    return cover(skull) * cover(y - fringe);
  });

  Plane all(w, h);
  for (const Plane* m : {&face, &ears, &neck, &bodyCov, &hair}) unite(all, *m);
  Plane outline = grow(all, 2.5f);
  mask = outline;
  // Soft end of the bust at the bottom.
  shade(mask, [&](float, float y, float v) { return v * smoothstep(510, 462, y); });

  // ---- painting, back to front ----
  paintPlane(p, pal::black, outline);
  // Ears and neck: the skin a shade darker than the face.
  shade(p, [&](float x, float y, Rgb old) {
    float e = ears.at(int(x), int(y));
    return mix(old, skin * 0.78f, e);
  });
  for (float s : {-1.f, 1.f})
    paint(p, Rgb{0.45f, 0.4f, 0.4f}, [&](float x, float y) { return cover(std::fabs(sdf::ellipse(x, y, kX + s * 88, 198, 6, 16)) - 1.2f); });
  shade(p, [&](float x, float y, Rgb old) {
    float nv = neck.at(int(x), int(y));
    float under = smoothstep(360, 300, y) * 0.35f;  // shadow under the jaw
    float side = 0.12f * (x - kX) / 44;
    return mix(old, skin * (0.76f - under - side), nv);
  });
  // Face: lit from the upper left, darker towards its outline.
  Plane edgeDist = distanceTo(Plane([&] {
    Plane inv(w, h);
    for (size_t i = 0; i < inv.v.size(); ++i) inv.v[i] = 1 - face.v[i];
    return inv;
  }()));
  shade(p, [&](float x, float y, Rgb old) {
    float f = face.at(int(x), int(y));
    if (f <= 0) return old;
    float hw = std::max(faceHalfWidth(y), 1.f);
    float across = (x - kX) / hw;
    float light = 1 - 0.2f * smoothstep(-0.3f, 1.f, across) - 0.1f * smoothstep(200, 340, y);
    float rim = 1 - 0.14f * smoothstep(12, 0, edgeDist.at(int(x), int(y)));
    return mix(old, skin * (light * rim), f);
  });
  // Blush on the cheeks.
  for (float s : {-1.f, 1.f})
    shade(p, [&](float x, float y, Rgb old) {
      float d = std::hypot((x - (kX + s * 50)) / 20, (y - 222) / 13);
      return mix(old, Rgb{0.55f, 0.08f, 0.08f}, 0.16f * std::exp(-d * d) * face.at(int(x), int(y)));
    });
  // Shadow under the chin on the neck is done; now the jaw line shading.
  shade(p, [&](float x, float y, Rgb old) {
    float d = std::hypot((x - kX) / 18, (y - 318) / 10);
    return mix(old, old * 0.85f, std::exp(-d * d) * face.at(int(x), int(y)));
  });

  // Eyes: almond whites, dark red irises, black upper lids with a flick.
  for (float s : {-1.f, 1.f}) {
    float ex = kX + s * 37, ey = 170;
    const float R = 29.3f;
    auto almond = [&](float x, float y) {
      return std::max(sdf::circle(x, y, ex, ey - 7 + R, R), sdf::circle(x, y, ex, ey + 7 - R, R));
    };
    // Eye socket shadow.
    shade(p, [&](float x, float y, Rgb old) {
      float d = std::hypot((x - ex) / 24, (y - ey + 4) / 14);
      return mix(old, old * 0.78f, std::exp(-d * d));
    });
    paint(p, Rgb{0.96f, 0.95f, 0.94f}, [&](float x, float y) { return cover(almond(x, y)); });
    shade(p, [&](float x, float y, Rgb old) {
      float r = std::hypot(x - ex - s * 1.5f, y - ey) / 8;
      Rgb iris = mix(Rgb{0.5f, 0.05f, 0.04f}, Rgb{0.16f, 0.0f, 0.0f}, clamp01(r));
      return mix(old, iris, cover((r - 1) * 8) * cover(almond(x, y)));
    });
    paint(p, pal::black, [&](float x, float y) { return cover(sdf::circle(x, y, ex + s * 1.5f, ey, 3.6f)) * cover(almond(x, y)); });
    paint(p, pal::white, [&](float x, float y) { return cover(sdf::circle(x, y, ex - 1 + s * 1.5f, ey - 3, 1.7f)); });
    // Upper lid: a thick line along the top arc, extending into a flick.
    paint(p, pal::black, [&](float x, float y) {
      float top = std::fabs(sdf::circle(x, y, ex, ey - 7 + R, R)) - 1.6f;
      float along = cover(std::fabs(x - ex) - 20);
      return cover(top) * along * (y < ey + 1 ? 1.f : 0.f);
    });
    Stroke flick;
    flick.add(ex + s * 17, ey - 1, 1.6f);
    flick.add(ex + s * 26, ey - 6, 0.5f);
    fill(p, flick, pal::black);
    // Lower lid: a fine grey line.
    paint(p, Rgb{0.4f, 0.36f, 0.36f}, [&](float x, float y) {
      float low = std::fabs(sdf::circle(x, y, ex, ey + 7 - R, R)) - 0.6f;
      return cover(low) * cover(std::fabs(x - ex) - 15) * (y > ey ? 1.f : 0.f);
    });
    // Brow.
    Stroke brow;
    bezierStroke(brow, ex - s * 20, 150, ex - s * 8, 138, ex + s * 10, 136, ex + s * 24, 146, 2.4f, 1.2f, 20);
    fill(p, brow, Rgb{0.06f, 0.05f, 0.05f});
  }

  // Nose: a shadow down its right side, a rounded tip and nostrils.
  Stroke ridge;
  bezierStroke(ridge, kX + 6, 176, kX + 9, 196, kX + 12, 212, kX + 11, 224, 2.5f, 4.f, 20);
  Plane ridgeCov(w, h);
  fill(ridgeCov, ridge);
  blur(ridgeCov, 3);
  shade(p, [&](float x, float y, Rgb old) { return mix(old, old * 0.8f, ridgeCov.at(int(x), int(y))); });
  shade(p, [&](float x, float y, Rgb old) {
    float d = std::hypot((x - kX - 2) / 12, (y - 226) / 7);
    return mix(old, old * 0.8f, 0.6f * std::exp(-d * d * 1.5f));
  });
  for (float s : {-1.f, 1.f})
    paint(p, Rgb{0.2f, 0.14f, 0.14f}, [&](float x, float y) { return cover(sdf::ellipse(x, y, kX + s * 8, 232, 4.2f, 2.3f)); });
  Stroke wing;
  bezierStroke(wing, kX - 15, 224, kX - 17, 230, kX - 13, 235, kX - 8, 235, 0.9f, 0.6f, 12);
  fill(p, wing, Rgb{0.35f, 0.3f, 0.3f});

  // Lips meet exactly on the seam. Upper lip: a cupid's bow down to the seam.
  Polygon upper;
  upper.add(kX - 27, kSeam);
  upper.add(kX - 16, 245);
  upper.add(kX - 6, 242);
  upper.add(kX, 245);
  upper.add(kX + 6, 242);
  upper.add(kX + 16, 245);
  upper.add(kX + 27, kSeam);
  upper.add(kX + 27, kSeam + 0.01f);
  upper.add(kX - 27, kSeam + 0.01f);
  Polygon lower;
  for (int i = 0; i <= 24; ++i) {
    float t = float(i) / 24, a = kPi * t;
    lower.add(kX - 25 * std::cos(a), kSeam + 17 * std::pow(std::max(0.f, std::sin(a)), 0.8f));
  }
  shade(p, [&](float x, float y, Rgb old) {
    float u = cover(upper.distance(x, y)) * (y < kSeam ? 1.f : 0.f);
    float l = cover(lower.distance(x, y)) * (y >= kSeam ? 1.f : 0.f);
    if (u + l <= 0) return old;
    // Each lip darkens towards the mouth line; the lower lip has a sheen.
    Rgb lip = y < kSeam ? mix(Rgb{0.5f, 0.02f, 0.03f}, Rgb{0.22f, 0.0f, 0.0f}, smoothstep(248, 256, y))
                        : mix(Rgb{0.22f, 0.0f, 0.0f}, Rgb{0.58f, 0.05f, 0.05f}, smoothstep(256, 262, y));
    float sheen = std::exp(-std::pow(std::hypot((x - kX + 6) / 9, (y - 265) / 3), 2.f));
    lip = mix(lip, Rgb{0.9f, 0.6f, 0.58f}, sheen * 0.6f);
    return mix(old, lip, std::max(u, l));
  });
  // Mouth corners, drawn across the seam so both halves carry them.
  for (float s : {-1.f, 1.f}) {
    Stroke corner;
    corner.add(kX + s * 26, kSeam - 3, 0.9f);
    corner.add(kX + s * 30, kSeam + 2, 0.6f);
    fill(p, corner, Rgb{0.3f, 0.15f, 0.15f});
  }
  // Chin: a soft hollow under the lower lip and a highlight below it.
  shade(p, [&](float x, float y, Rgb old) {
    float hollow = std::exp(-std::pow(std::hypot((x - kX) / 16, (y - 284) / 5), 2.f));
    float glow = std::exp(-std::pow(std::hypot((x - kX + 4) / 14, (y - 318) / 9), 2.f));
    Rgb c = mix(old, old * 0.82f, hollow * 0.8f);
    return mix(c, old * 1.08f, glow * 0.5f);
  });

  // Hair: black with grey strands fanning from a parting at the crown and
  // one dark red lock sweeping along the fringe.
  const float partX = kX + 34, partY = 34;
  shade(p, [&](float x, float y, Rgb old) {
    float hv = hair.at(int(x), int(y));
    if (hv <= 0) return old;
    float a = std::atan2(y - partY, x - partX), r = std::hypot(x - partX, y - partY);
    // Streaks: noise stretched along the radius from the parting.
    float strand = valueNoise(a * 30, r * 0.04f, 1 << 16, 2901) * 0.6f + valueNoise(a * 75, r * 0.08f, 1 << 16, 2902) * 0.4f;
    float sheen = std::exp(-std::pow((r - 62) / 22, 2.f));
    Rgb c = grey(0.04f + 0.05f * strand + 0.22f * sheen * strand * strand);
    // The lock: a band at a fixed distance from the parting on its left side.
    float lock = std::exp(-std::pow((r - 92) / 8, 2.f)) * smoothstep(1.2f, 2.2f, a) * smoothstep(3.1f, 2.7f, a);
    c = mix(c, mix(Rgb{0.5f, 0.0f, 0.0f}, Rgb{0.7f, 0.08f, 0.06f}, sheen * strand), lock * 0.9f);
    return mix(old, c, hv);
  });

  // Turtleneck and shoulders: black with grey ribs and a small red pin.
  shade(p, [&](float x, float y, Rgb old) {
    float b = bodyCov.at(int(x), int(y));
    if (b <= 0) return old;
    bool collar = std::fabs(x - kX) < 50 && y < 432;
    float rib = collar ? 0.5f + 0.5f * std::cos((x - kX) * 0.9f) : 0.f;
    float fold = std::exp(-std::pow((std::fabs(x - kX) - 70) / 10, 2.f)) * smoothstep(440, 480, y);
    return mix(old, grey(0.05f + 0.07f * rib + 0.08f * fold), b);
  });
  paint(p, pal::black, [&](float x, float y) { return cover(std::fabs(y - 432) - 1.5f) * cover(std::fabs(x - kX) - 52); });
  Polygon pin;
  pin.add(kX + 58, 462);
  pin.add(kX + 68, 444);
  pin.add(kX + 78, 462);
  fill(p, pin, pal::red);

  // ---- cut at the lips ----
  for (int half = 0; half < 2; ++half) {
    Picture part(w, 256);
    Plane partMask(w, 256);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < w; ++x) {
        part.at(x, y) = p.at(x, y + half * 256);
        partMask.at(x, y) = mask.at(x, y + half * 256);
      }
    out.colour(half == 0 ? "man1.jpg" : "man2.jpg", part, Chroma::k444);
    out.grey(half == 0 ? "man1mask.jpg" : "man2mask.jpg", partMask);
  }
}

}  // namespace gen
