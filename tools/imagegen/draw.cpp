// Drawing toolkit of the image generator: shapes, noise and filters.
#include "draw.h"

#include <limits>

namespace gen {

float Plane::sample(float x, float y, bool wrap) const {
  x -= 0.5f;
  y -= 0.5f;
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  float fx = x - x0, fy = y - y0;
  auto get = [&](int ix, int iy) {
    if (wrap) {
      ix = ((ix % w) + w) % w;
      iy = ((iy % h) + h) % h;
    } else {
      ix = std::clamp(ix, 0, w - 1);
      iy = std::clamp(iy, 0, h - 1);
    }
    return at(ix, iy);
  };
  return lerp(lerp(get(x0, y0), get(x0 + 1, y0), fx), lerp(get(x0, y0 + 1), get(x0 + 1, y0 + 1), fx), fy);
}

void paintPlane(Picture& p, Rgb c, const Plane& cov, float opacity) {
  for (size_t i = 0; i < p.px.size(); ++i) {
    float a = std::min(cov.v[i] * opacity, 1.f);
    if (a > 0) p.px[i] = mix(p.px[i], c, a);
  }
}

void unite(Plane& mask, const Plane& cov, float opacity) {
  for (size_t i = 0; i < mask.v.size(); ++i) mask.v[i] = std::max(mask.v[i], cov.v[i] * opacity);
}

float Polygon::distance(float px, float py) const {
  size_t n = x.size();
  float d = std::numeric_limits<float>::max();
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    d = std::min(d, sdf::segment(px, py, x[j], y[j], x[i], y[i]));
    if ((y[i] > py) != (y[j] > py) && px < (x[j] - x[i]) * (py - y[i]) / (y[j] - y[i]) + x[i]) inside = !inside;
  }
  return inside ? -d : d;
}

Box Polygon::bounds() const {
  float x0 = *std::min_element(x.begin(), x.end()), x1 = *std::max_element(x.begin(), x.end());
  float y0 = *std::min_element(y.begin(), y.end()), y1 = *std::max_element(y.begin(), y.end());
  return {int(x0) - 2, int(y0) - 2, int(x1) + 3, int(y1) + 3};
}

float Stroke::distance(float px, float py) const {
  float d = std::numeric_limits<float>::max();
  if (x.size() == 1) return sdf::circle(px, py, x[0], y[0], r[0]);
  for (size_t i = 1; i < x.size(); ++i) {
    float t;
    float s = sdf::segment(px, py, x[i - 1], y[i - 1], x[i], y[i], &t);
    d = std::min(d, s - lerp(r[i - 1], r[i], t));
  }
  return d;
}

Box Stroke::bounds() const {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (size_t i = 0; i < x.size(); ++i) {
    x0 = std::min(x0, x[i] - r[i]);
    x1 = std::max(x1, x[i] + r[i]);
    y0 = std::min(y0, y[i] - r[i]);
    y1 = std::max(y1, y[i] + r[i]);
  }
  return {int(std::floor(x0)) - 2, int(std::floor(y0)) - 2, int(std::ceil(x1)) + 2, int(std::ceil(y1)) + 2};
}

void bezierStroke(Stroke& s, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3, float r0,
                  float r1, int steps) {
  for (int i = 0; i <= steps; ++i) {
    float t = float(i) / steps, u = 1 - t;
    float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    s.add(a * x0 + b * x1 + c * x2 + d * x3, a * y0 + b * y1 + c * y2 + d * y3, lerp(r0, r1, t));
  }
}

void fill(Plane& m, const Polygon& poly, float v, float opacity) {
  paint(m, v, [&](float x, float y) { return cover(poly.distance(x, y)); }, opacity, poly.bounds());
}
void fill(Picture& p, const Polygon& poly, Rgb c, float opacity) {
  paint(p, c, [&](float x, float y) { return cover(poly.distance(x, y)); }, opacity, poly.bounds());
}
void fill(Plane& m, const Stroke& s, float v, float opacity) {
  paint(m, v, [&](float x, float y) { return cover(s.distance(x, y)); }, opacity, s.bounds());
}
void fill(Picture& p, const Stroke& s, Rgb c, float opacity) {
  paint(p, c, [&](float x, float y) { return cover(s.distance(x, y)); }, opacity, s.bounds());
}

// ---- noise ---------------------------------------------------------------------
static float lattice(int x, int y, int period, uint32_t seed) {
  x = ((x % period) + period) % period;
  y = ((y % period) + period) % period;
  return hashUnit(uint32_t(x), uint32_t(y), seed);
}

float valueNoise(float x, float y, int period, uint32_t seed) {
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  float fx = x - x0, fy = y - y0;
  // Quintic fade: continuous second derivative, so shading from the noise's
  // slope shows no lattice creases.
  float sx = fx * fx * fx * (fx * (fx * 6 - 15) + 10), sy = fy * fy * fy * (fy * (fy * 6 - 15) + 10);
  float a = lattice(x0, y0, period, seed), b = lattice(x0 + 1, y0, period, seed);
  float c = lattice(x0, y0 + 1, period, seed), d = lattice(x0 + 1, y0 + 1, period, seed);
  return lerp(lerp(a, b, sx), lerp(c, d, sx), sy);
}

float fbm(float u, float v, int basePeriod, int octaves, uint32_t seed, float gain) {
  float sum = 0, amp = 1, norm = 0;
  int period = basePeriod;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * valueNoise(u * period, v * period, period, seed + 7919u * o);
    norm += amp;
    amp *= gain;
    period *= 2;
  }
  return sum / norm;
}

void cellNoise(float x, float y, int period, uint32_t seed, float& f1, float& f2) {
  int cx = int(std::floor(x)), cy = int(std::floor(y));
  f1 = f2 = 1e9f;
  for (int j = -1; j <= 1; ++j)
    for (int i = -1; i <= 1; ++i) {
      int gx = cx + i, gy = cy + j;
      int wx = ((gx % period) + period) % period, wy = ((gy % period) + period) % period;
      float fx = gx + hashUnit(uint32_t(wx), uint32_t(wy), seed);
      float fy = gy + hashUnit(uint32_t(wx), uint32_t(wy), seed + 1);
      float d = std::hypot(x - fx, y - fy);
      if (d < f1) {
        f2 = f1;
        f1 = d;
      } else if (d < f2) {
        f2 = d;
      }
    }
}

// ---- filters ---------------------------------------------------------------------
static void boxPass(std::vector<float>& data, int n, int stride, int count, int lineStride, int r, bool wrap) {
  std::vector<float> line(static_cast<size_t>(n));
  for (int l = 0; l < count; ++l) {
    float* base = data.data() + size_t(l) * lineStride;
    for (int i = 0; i < n; ++i) line[size_t(i)] = base[size_t(i) * stride];
    auto get = [&](int i) {
      if (wrap) return line[size_t(((i % n) + n) % n)];
      return line[size_t(std::clamp(i, 0, n - 1))];
    };
    float sum = 0;
    for (int i = -r; i <= r; ++i) sum += get(i);
    float inv = 1.f / float(2 * r + 1);
    for (int i = 0; i < n; ++i) {
      base[size_t(i) * stride] = sum * inv;
      sum += get(i + r + 1) - get(i - r);
    }
  }
}

void blur(Plane& m, int radius, bool wrap) {
  if (radius <= 0) return;
  for (int pass = 0; pass < 3; ++pass) {
    boxPass(m.v, m.w, 1, m.h, m.w, radius, wrap);
    boxPass(m.v, m.h, m.w, m.w, 1, radius, wrap);
  }
}

void blur(Picture& p, int radius, bool wrap) {
  Plane r(p.w, p.h), g(p.w, p.h), b(p.w, p.h);
  for (size_t i = 0; i < p.px.size(); ++i) {
    r.v[i] = p.px[i].r;
    g.v[i] = p.px[i].g;
    b.v[i] = p.px[i].b;
  }
  blur(r, radius, wrap);
  blur(g, radius, wrap);
  blur(b, radius, wrap);
  for (size_t i = 0; i < p.px.size(); ++i) p.px[i] = {r.v[i], g.v[i], b.v[i]};
}

// Exact squared Euclidean distance transform of one line (Felzenszwalb and
// Huttenlocher's lower envelope of parabolas).
static void edt1d(const float* f, float* d, int n, std::vector<int>& v, std::vector<float>& z) {
  int k = 0;
  v[0] = 0;
  z[0] = -1e20f;
  z[1] = 1e20f;
  for (int q = 1; q < n; ++q) {
    float s;
    while (true) {
      s = ((f[q] + float(q) * q) - (f[v[size_t(k)]] + float(v[size_t(k)]) * v[size_t(k)])) / (2.f * q - 2.f * v[size_t(k)]);
      if (s <= z[size_t(k)] && k > 0) {
        --k;
        continue;
      }
      break;
    }
    ++k;
    v[size_t(k)] = q;
    z[size_t(k)] = s;
    z[size_t(k) + 1] = 1e20f;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[size_t(k) + 1] < q) ++k;
    float dq = float(q - v[size_t(k)]);
    d[q] = dq * dq + f[v[size_t(k)]];
  }
}

Plane distanceTo(const Plane& cov) {
  const float inf = 1e10f;
  Plane d(cov.w, cov.h);
  for (size_t i = 0; i < cov.v.size(); ++i) d.v[i] = cov.v[i] >= 0.5f ? 0 : inf;
  int n = std::max(cov.w, cov.h);
  std::vector<float> f(static_cast<size_t>(n)), out(static_cast<size_t>(n));
  std::vector<int> v(static_cast<size_t>(n));
  std::vector<float> z(static_cast<size_t>(n) + 1);
  for (int x = 0; x < cov.w; ++x) {
    for (int y = 0; y < cov.h; ++y) f[size_t(y)] = d.at(x, y);
    edt1d(f.data(), out.data(), cov.h, v, z);
    for (int y = 0; y < cov.h; ++y) d.at(x, y) = out[size_t(y)];
  }
  for (int y = 0; y < cov.h; ++y) {
    for (int x = 0; x < cov.w; ++x) f[size_t(x)] = d.at(x, y);
    edt1d(f.data(), out.data(), cov.w, v, z);
    for (int x = 0; x < cov.w; ++x) d.at(x, y) = std::sqrt(out[size_t(x)]);
  }
  return d;
}

Plane grow(const Plane& cov, float radius) {
  Plane d = distanceTo(cov);
  Plane g(cov.w, cov.h);
  // The nearest inside pixel's centre lies about half a pixel inside the
  // shape's true edge, so the grown edge sits at radius + 0.5 from it.
  for (size_t i = 0; i < g.v.size(); ++i) g.v[i] = std::max(cov.v[i], cover(d.v[i] - radius - 0.5f));
  return g;
}

Plane shifted(const Plane& m, int dx, int dy) {
  Plane s(m.w, m.h);
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      int sx = x - dx, sy = y - dy;
      if (sx >= 0 && sy >= 0 && sx < m.w && sy < m.h) s.at(x, y) = m.at(sx, sy);
    }
  return s;
}

void flipVertical(Picture& p) {
  for (int y = 0; y < p.h / 2; ++y)
    for (int x = 0; x < p.w; ++x) std::swap(p.at(x, y), p.at(x, p.h - 1 - y));
}
void flipVertical(Plane& m) {
  for (int y = 0; y < m.h / 2; ++y)
    for (int x = 0; x < m.w; ++x) std::swap(m.at(x, y), m.at(x, m.h - 1 - y));
}

Plane brightness(const Picture& p) {
  Plane m(p.w, p.h);
  for (size_t i = 0; i < p.px.size(); ++i) m.v[i] = (p.px[i].r + p.px[i].g + p.px[i].b) / 3;
  return m;
}

}  // namespace gen
