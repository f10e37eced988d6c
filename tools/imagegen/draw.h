// Drawing toolkit of the image generator: float colour and grey planes,
// anti-aliased shapes from signed distances, gradients, periodic value and
// cell noise, blurs and a distance transform. Everything is deterministic:
// no clock, no global random state, fixed seeds passed in by the caller.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gen {

constexpr float kPi = 3.14159265358979f;

struct Rgb {
  float r = 0, g = 0, b = 0;
};
inline Rgb operator*(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
inline Rgb grey(float v) { return {v, v, v}; }

inline float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float e0, float e1, float x) {
  float t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}
// Coverage of a pixel whose centre lies d pixels outside a shape's edge
// (negative inside): a one-pixel linear ramp, the usual box-filter estimate.
inline float cover(float d) { return clamp01(0.5f - d); }

// One channel, row-major, first row at the top.
struct Plane {
  int w = 0, h = 0;
  std::vector<float> v;
  Plane() = default;
  Plane(int width, int height, float fill = 0) : w(width), h(height), v(size_t(width) * height, fill) {}
  float& at(int x, int y) { return v[size_t(y) * w + x]; }
  float at(int x, int y) const { return v[size_t(y) * w + x]; }
  // Bilinear sample at pixel coordinates (centres at +0.5), clamped or wrapped.
  float sample(float x, float y, bool wrap = false) const;
};

// RGB picture, row-major, first row at the top.
struct Picture {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  Picture() = default;
  Picture(int width, int height, Rgb fill = {}) : w(width), h(height), px(size_t(width) * height, fill) {}
  Rgb& at(int x, int y) { return px[size_t(y) * w + x]; }
  const Rgb& at(int x, int y) const { return px[size_t(y) * w + x]; }
};

// Pixel rectangle [x0, x1) x [y0, y1) that limits the work of a paint call.
struct Box {
  int x0, y0, x1, y1;
};
inline Box around(float cx, float cy, float r) {
  return {int(std::floor(cx - r - 2)), int(std::floor(cy - r - 2)), int(std::ceil(cx + r + 2)),
          int(std::ceil(cy + r + 2))};
}
inline Box clip(Box b, int w, int h) {
  return {std::max(b.x0, 0), std::max(b.y0, 0), std::min(b.x1, w), std::min(b.y1, h)};
}

// Lays colour c over the picture where cov(x, y) (pixel-centre coordinates)
// says the shape covers the pixel, scaled by opacity.
template <class F>
void paint(Picture& p, Rgb c, F&& cov, float opacity = 1, Box box = {0, 0, 1 << 20, 1 << 20}) {
  box = clip(box, p.w, p.h);
  for (int y = box.y0; y < box.y1; ++y)
    for (int x = box.x0; x < box.x1; ++x) {
      float a = cov(x + 0.5f, y + 0.5f) * opacity;
      if (a > 0) p.at(x, y) = mix(p.at(x, y), c, std::min(a, 1.f));
    }
}
// The same for a grey plane: moves the value towards v by the coverage.
template <class F>
void paint(Plane& m, float v, F&& cov, float opacity = 1, Box box = {0, 0, 1 << 20, 1 << 20}) {
  box = clip(box, m.w, m.h);
  for (int y = box.y0; y < box.y1; ++y)
    for (int x = box.x0; x < box.x1; ++x) {
      float a = cov(x + 0.5f, y + 0.5f) * opacity;
      if (a > 0) m.at(x, y) = lerp(m.at(x, y), v, std::min(a, 1.f));
    }
}
// Per-pixel shader: fn(x, y, old) returns the new colour.
template <class F>
void shade(Picture& p, F&& fn) {
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) p.at(x, y) = fn(x + 0.5f, y + 0.5f, p.at(x, y));
}
template <class F>
void shade(Plane& m, F&& fn) {
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) m.at(x, y) = fn(x + 0.5f, y + 0.5f, m.at(x, y));
}
// Lays colour c over the picture through a coverage plane of the same size.
void paintPlane(Picture& p, Rgb c, const Plane& cov, float opacity = 1);
// Raises the mask to at least the coverage (union of shapes).
void unite(Plane& mask, const Plane& cov, float opacity = 1);

// ---- signed distances, in pixels, negative inside --------------------------
namespace sdf {
inline float circle(float px, float py, float cx, float cy, float r) { return std::hypot(px - cx, py - cy) - r; }
inline float ring(float px, float py, float cx, float cy, float r, float halfWidth) {
  return std::fabs(std::hypot(px - cx, py - cy) - r) - halfWidth;
}
// Axis-aligned box with rounded corners; hw, hh are half sizes.
inline float box(float px, float py, float cx, float cy, float hw, float hh, float radius = 0) {
  float qx = std::fabs(px - cx) - hw + radius, qy = std::fabs(py - cy) - hh + radius;
  float ox = std::max(qx, 0.f), oy = std::max(qy, 0.f);
  return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.f) - radius;
}
// Distance to the segment a-b; t receives the position along it (0..1).
inline float segment(float px, float py, float ax, float ay, float bx, float by, float* t = nullptr) {
  float dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
  float u = l2 > 0 ? clamp01(((px - ax) * dx + (py - ay) * dy) / l2) : 0;
  if (t) *t = u;
  return std::hypot(px - ax - u * dx, py - ay - u * dy);
}
// Ellipse, approximate (exact on the axes), good for anti-aliasing.
inline float ellipse(float px, float py, float cx, float cy, float rx, float ry) {
  float nx = (px - cx) / rx, ny = (py - cy) / ry;
  float k = std::hypot(nx, ny);
  float gx = nx / rx, gy = ny / ry;  // gradient of k, for a first-order distance
  float g = std::hypot(gx, gy);
  return g > 1e-6f ? (k - 1) * k / g : -std::min(rx, ry);
}
// Star-like or petal-like shape given by its radius rho(angle) around a
// centre: radial distance corrected by the outline's slope, so the
// anti-aliased edge stays one pixel wide on steep flanks.
template <class R>
float polar(float px, float py, float cx, float cy, R&& rho) {
  float dx = px - cx, dy = py - cy, d = std::hypot(dx, dy), th = std::atan2(dy, dx);
  const float e = 1e-3f;
  float r = rho(th), dr = (rho(th + e) - rho(th - e)) / (2 * e);
  float k = d > 1e-3f ? dr / d : 0;
  return (d - r) / std::sqrt(1 + k * k);
}
}  // namespace sdf

// Closed polygon with signed distance (negative inside, even-odd rule).
struct Polygon {
  std::vector<float> x, y;
  void add(float px, float py) { x.push_back(px); y.push_back(py); }
  float distance(float px, float py) const;
  Box bounds() const;
};

// A stroked path: points with a half width each; distance is to the swept capsules.
struct Stroke {
  std::vector<float> x, y, r;
  void add(float px, float py, float radius) { x.push_back(px); y.push_back(py); r.push_back(radius); }
  float distance(float px, float py) const;
  Box bounds() const;
};
// Cubic Bezier from p0 to p3 sampled into a stroke, half width from r0 to r1.
void bezierStroke(Stroke& s, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3, float r0,
                  float r1, int steps = 32);

// Paint helpers on shapes: fill a polygon or stroke into a mask or picture.
void fill(Plane& m, const Polygon& poly, float v = 1, float opacity = 1);
void fill(Picture& p, const Polygon& poly, Rgb c, float opacity = 1);
void fill(Plane& m, const Stroke& s, float v = 1, float opacity = 1);
void fill(Picture& p, const Stroke& s, Rgb c, float opacity = 1);

// ---- randomness and noise ----------------------------------------------------
inline uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return h;
}
inline float hashUnit(uint32_t x, uint32_t y, uint32_t seed) { return (hash3(x, y, seed) >> 8) * (1.f / 16777216.f); }

// Small fixed-seed generator (xorshift*), one per image so images do not
// depend on each other's drawing order.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9e3779b97f4a7c15ull + 0x632be59bd9b4e019ull) {}
  uint32_t next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return uint32_t((s * 0x2545f4914f6cdd1dull) >> 32);
  }
  float unit() { return (next() >> 8) * (1.f / 16777216.f); }
  float range(float a, float b) { return a + (b - a) * unit(); }
  int below(int n) { return int(next() % uint32_t(n)); }
};

// Value noise on a lattice that repeats every `period` cells; x, y in cells.
float valueNoise(float x, float y, int period, uint32_t seed);
// Fractal sum over `octaves`; u, v in [0, 1) tile the unit square when the
// base period is a whole number of cells. Result roughly in [0, 1].
float fbm(float u, float v, int basePeriod, int octaves, uint32_t seed, float gain = 0.5f);
// Cell (Worley) noise repeating every `period` cells; x, y in cells.
// f1 and f2: distances to the nearest and second nearest feature points.
void cellNoise(float x, float y, int period, uint32_t seed, float& f1, float& f2);

// ---- filters -------------------------------------------------------------------
// Three box passes (close to a Gaussian with sigma about radius / 1.2).
void blur(Plane& m, int radius, bool wrap = false);
void blur(Picture& p, int radius, bool wrap = false);
// Distance (pixels) from every pixel to the nearest pixel with coverage >= 0.5.
Plane distanceTo(const Plane& cov);
// Coverage of the shape grown by `radius` pixels (an outline when merged).
Plane grow(const Plane& cov, float radius);
// Copies shifted by (dx, dy) whole pixels; outside reads as zero.
Plane shifted(const Plane& m, int dx, int dy);
void flipVertical(Picture& p);
void flipVertical(Plane& m);
// Luminance-free helpers for masks built from pictures.
Plane brightness(const Picture& p);

}  // namespace gen
