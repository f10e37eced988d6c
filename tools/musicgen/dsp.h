// Small signal-processing building blocks for the soundtrack generator:
// a seeded noise source, band-limited oscillators, envelopes, filters and
// stereo buffers. Header-only so the per-sample loops inline into the
// instruments. Relies on the C++ standard library only; all state is explicit
// so a render depends on nothing but its inputs (same bytes on every run).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace musicgen {

constexpr int kRate = 44100;  // samples per second
constexpr double kPi = 3.14159265358979323846;

inline float midiHz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }
inline float dbGain(float db) { return std::pow(10.0f, db / 20.0f); }

// xorshift32: tiny, fast and fully reproducible from its seed.
struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed ? seed : 0x9e3779b9u) {}
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  float uni() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }  // [0, 1)
  float bi() { return uni() * 2.0f - 1.0f; }                                        // [-1, 1)
};

// Sine from a 4096-entry table with linear interpolation; phase in cycles.
// Much cheaper than std::sin per sample and accurate to about -90 dB.
class SineTable {
 public:
  static const SineTable& get() {
    static const SineTable t;
    return t;
  }
  float operator()(double phase) const {
    double p = (phase - std::floor(phase)) * kSize;
    int i = static_cast<int>(p);
    float f = static_cast<float>(p - i);
    return tab_[i] + (tab_[i + 1] - tab_[i]) * f;
  }

 private:
  static constexpr int kSize = 4096;
  SineTable() : tab_(kSize + 1) {
    for (int i = 0; i <= kSize; ++i) tab_[i] = static_cast<float>(std::sin(2.0 * kPi * i / kSize));
  }
  std::vector<float> tab_;
};

// PolyBLEP correction for a unit step at phase 0 (t: phase in [0,1), dt: increment).
inline float polyBlep(float t, float dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0f;
  }
  if (t > 1.0f - dt) {
    t = (t - 1.0f) / dt;
    return t * t + t + t + 1.0f;
  }
  return 0.0f;
}

// Band-limited sawtooth (and pulse) oscillator; frequency in Hz.
struct Osc {
  float phase = 0.0f;
  float inc = 0.0f;
  void setHz(float hz) { inc = hz / kRate; }
  float saw() {
    float v = 2.0f * phase - 1.0f - polyBlep(phase, inc);
    advance();
    return v;
  }
  float square() {
    float v = (phase < 0.5f ? 1.0f : -1.0f) + polyBlep(phase, inc);
    float t2 = phase + 0.5f;
    if (t2 >= 1.0f) t2 -= 1.0f;
    v -= polyBlep(t2, inc);
    advance();
    return v;
  }
  void advance() {
    phase += inc;
    if (phase >= 1.0f) phase -= 1.0f;
  }
};

// Topology-preserving state-variable filter (trapezoidal integration): stable
// under fast cutoff modulation. Cutoff in Hz, resonance as Q.
struct Svf {
  float ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0, k = 1;
  float lp = 0, bp = 0, hp = 0;
  void set(float hz, float q) {
    hz = std::fmin(std::fmax(hz, 20.0f), 0.45f * kRate);
    float g = static_cast<float>(std::tan(kPi * hz / kRate));
    k = 1.0f / q;
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  void tick(float x) {
    float v3 = x - ic2;
    float v1 = a1 * ic1 + a2 * v3;
    float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    lp = v2;
    bp = v1;
    hp = x - k * v1 - v2;
  }
};

// One-pole smoother / low-pass; coefficient from a cutoff in Hz.
struct OnePole {
  float y = 0, a = 0;
  void set(float hz) { a = 1.0f - static_cast<float>(std::exp(-2.0 * kPi * hz / kRate)); }
  float lp(float x) { return y += a * (x - y); }
  float hp(float x) { return x - lp(x); }
};

// Exponential decay multiplier per sample for a time constant in seconds.
inline float decayCoef(float seconds) { return static_cast<float>(std::exp(-1.0 / (seconds * kRate))); }

// Attack / decay / sustain / release envelope evaluated sample by sample.
// Times in seconds; the release starts at gateSamples.
// Decay and release are exponential and about 98 % complete after their time;
// the release is bent so it lands exactly on zero at the end of the voice.
struct Adsr {
  float a, d, s, r;
  size_t gate;
  size_t n = 0;
  float v = 0, dk = 0, rk = 0, relLevel = 0, relCurve = 1;
  static constexpr float kRelEnd = 0.0183156f;  // e^-4, the curve's value at the end
  Adsr(float att, float dec, float sus, float rel, size_t gateSamples)
      : a(std::fmax(att, 1e-4f) * kRate), d(dec), s(sus), r(rel), gate(gateSamples) {
    dk = decayCoef(std::fmax(dec, 1e-4f) / 4.0f);
    rk = decayCoef(std::fmax(rel, 1e-4f) / 4.0f);
  }
  // Total length including the release tail, in samples.
  size_t length() const { return gate + static_cast<size_t>(r * kRate); }
  float next() {
    if (n < gate) {
      if (n < a) {
        v = n / a;
      } else {
        v = s + (v - s) * dk;
      }
      relLevel = v;
    } else {
      relCurve *= rk;
      v = relLevel * std::fmax(relCurve - kRelEnd, 0.0f) / (1.0f - kRelEnd);
    }
    ++n;
    return v;
  }
};

// Stereo sample buffer covering the whole track.
struct Stereo {
  std::vector<float> l, r;
  explicit Stereo(size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
  size_t size() const { return l.size(); }
};

// Equal-power pan gains for pan in [-1 (left), 1 (right)].
inline void panGains(float pan, float& gl, float& gr) {
  float a = static_cast<float>((pan + 1.0f) * 0.25f * kPi);
  gl = std::cos(a) * 1.41421356f;
  gr = std::sin(a) * 1.41421356f;
}

}  // namespace musicgen
