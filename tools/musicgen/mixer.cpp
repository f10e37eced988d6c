// Mixing, effects and mastering for the soundtrack (see mixer.h): a
// Schroeder-Moorer style reverb of parallel damped combs and series
// all-passes, a ping-pong echo, the sidechain duck and a look-ahead limiter.
// Relies on dsp.h only.
#include "mixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace musicgen {
namespace {

struct Comb {
  std::vector<float> buf;
  size_t i = 0;
  float store = 0, feedback, damp;
  Comb(size_t len, float fb, float d) : buf(len, 0.0f), feedback(fb), damp(d) {}
  float tick(float x) {
    float y = buf[i];
    store = y * (1.0f - damp) + store * damp;
    buf[i] = x + store * feedback;
    if (++i == buf.size()) i = 0;
    return y;
  }
};

struct Allpass {
  std::vector<float> buf;
  size_t i = 0;
  explicit Allpass(size_t len) : buf(len, 0.0f) {}
  float tick(float x) {
    float b = buf[i];
    buf[i] = x + b * 0.5f;
    if (++i == buf.size()) i = 0;
    return b - x;
  }
};

// Comb and all-pass lengths in samples at 44.1 kHz: mutually prime-ish so
// the echoes never line up into a pitch. The right channel is 23 samples longer.
constexpr size_t kCombLen[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr size_t kApLen[4] = {556, 441, 341, 225};

// Reverb of the (mono) send bus, added into out in stereo (wet only).
void reverb(const std::vector<float>& send, Stereo& out, const std::function<void(float)>& progress) {
  std::vector<Comb> combs[2];
  std::vector<Allpass> aps[2];
  for (int ch = 0; ch < 2; ++ch) {
    for (size_t len : kCombLen) combs[ch].emplace_back(len + 23 * ch, 0.86f, 0.3f);
    for (size_t len : kApLen) aps[ch].emplace_back(len + 23 * ch);
  }
  // Keep bass out of the tail, and take some fizz off the top.
  Svf hp, lp;
  hp.set(220.0f, 0.7f);
  lp.set(7000.0f, 0.7f);
  const size_t preDelay = kRate / 50;  // 20 ms
  const size_t n = send.size();
  for (size_t i = 0; i < n; ++i) {
    float x = i >= preDelay ? send[i - preDelay] : 0.0f;
    hp.tick(x);
    lp.tick(hp.hp);
    float in = lp.lp * 0.1f;  // wet level about -12 dB under a voice sent at 0.3
    for (int ch = 0; ch < 2; ++ch) {
      float acc = 0;
      for (Comb& c : combs[ch]) acc += c.tick(in);
      for (Allpass& a : aps[ch]) acc = a.tick(acc);
      (ch ? out.r : out.l)[i] += acc;
    }
    if ((i & 0xffff) == 0) progress(static_cast<float>(i) / n);
  }
}

// Ping-pong echo at a dotted eighth (0.75 beat at 129 BPM), darker each repeat.
void echo(const std::vector<float>& send, Stereo& out) {
  const size_t d = static_cast<size_t>(0.75 * 60.0 / 129.0 * kRate);
  std::vector<float> bl(d, 0.0f), br(d, 0.0f);
  OnePole lpl, lpr;
  lpl.set(3500.0f);
  lpr.set(3500.0f);
  size_t k = 0;
  for (size_t i = 0; i < send.size(); ++i) {
    float yl = bl[k], yr = br[k];
    // Input enters on the left; each repeat crosses to the other side.
    bl[k] = lpl.lp(send[i] + yr * 0.42f);
    br[k] = lpr.lp(yl * 0.42f);
    out.l[i] += yl;
    out.r[i] += yr;
    if (++k == d) k = 0;
  }
}

// Bus trims: the tonal voices render near unity, drums hit harder; these
// bring the buses to a balanced mix before any per-voice gain.
float busTrim(Bus bus) { return bus == Bus::Drums ? 1.0f : bus == Bus::Music ? 2.2f : 2.5f; }

}  // namespace

Mixer::Mixer(size_t samples)
    : drums_(samples), music_(samples), lead_(samples), reverbSend_(samples, 0.0f), delaySend_(samples, 0.0f),
      duck_(samples, 1.0f) {}

void Mixer::add(Bus bus, size_t at, const Voice& v, float gain, float pan, Send send) {
  Stereo& dst = bus == Bus::Drums ? drums_ : bus == Bus::Music ? music_ : lead_;
  gain *= busTrim(bus);
  if (at >= size()) return;
  size_t n = std::min(v.size(), size() - at);
  float gl, gr;
  panGains(pan, gl, gr);
  gl *= gain;
  gr *= gain;
  for (size_t i = 0; i < n; ++i) {
    dst.l[at + i] += v[i] * gl;
    dst.r[at + i] += v[i] * gr;
  }
  const float mono = 0.5f * (gl + gr);
  if (send.reverb > 0)
    for (size_t i = 0; i < n; ++i) reverbSend_[at + i] += v[i] * mono * send.reverb;
  if (send.delay > 0)
    for (size_t i = 0; i < n; ++i) delaySend_[at + i] += v[i] * mono * send.delay;
}

void Mixer::add(Bus bus, size_t at, const VoiceSt& v, float gain, Send send) {
  Stereo& dst = bus == Bus::Drums ? drums_ : bus == Bus::Music ? music_ : lead_;
  gain *= busTrim(bus);
  if (at >= size()) return;
  size_t n = std::min(v.l.size(), size() - at);
  for (size_t i = 0; i < n; ++i) {
    float l = v.l[i] * gain, r = v.r[i] * gain;
    dst.l[at + i] += l;
    dst.r[at + i] += r;
    reverbSend_[at + i] += 0.5f * (l + r) * send.reverb;
    delaySend_[at + i] += 0.5f * (l + r) * send.delay;
  }
}

void Mixer::duck(size_t at, float depth, float aheadSec) {
  const size_t ahead = static_cast<size_t>(aheadSec * kRate);
  for (size_t i = std::min(ahead, at); i > 0; --i) {
    if (at - i >= size()) continue;  // past the end of a shortened render
    // Smooth ramp down over the first two thirds, then held until the hit.
    float x = std::fmin(static_cast<float>(ahead - i) / (ahead * 2 / 3 + 1), 1.0f);
    float shape = x * x * (3.0f - 2.0f * x);
    duck_[at - i] = std::min(duck_[at - i], 1.0f - depth * shape);
  }
  const size_t attack = kRate / 250;       // 4 ms
  const size_t release = kRate * 2 / 5;    // 400 ms, a little under one beat
  for (size_t i = 0; i < attack + release && at + i < size(); ++i) {
    float shape;
    if (i < attack) {
      shape = static_cast<float>(i) / attack;
    } else {
      float x = static_cast<float>(i - attack) / release;
      shape = (1.0f - x) * (1.0f - x);
    }
    duck_[at + i] = std::min(duck_[at + i], 1.0f - depth * shape);
  }
}

Stereo Mixer::master(float gainDb, const std::function<void(float)>& progress) {
  const size_t n = size();
  // The mix is built in the drum bus's memory; each bus is released once
  // summed (the whole track in float takes some 70 MB per stereo buffer).
  Stereo out = std::move(drums_);
  for (size_t i = 0; i < n; ++i) {
    out.l[i] += music_.l[i] * duck_[i] + lead_.l[i];
    out.r[i] += music_.r[i] * duck_[i] + lead_.r[i];
  }
  music_ = Stereo();
  lead_ = Stereo();
  reverb(reverbSend_, out, [&](float f) { progress(0.8f * f); });
  echo(delaySend_, out);
  reverbSend_ = std::vector<float>();
  delaySend_ = std::vector<float>();
  progress(0.85f);

  // Remove sub-sonic drift, then the master gain.
  const float g = dbGain(gainDb);
  Svf hl, hr;
  hl.set(22.0f, 0.7f);
  hr.set(22.0f, 0.7f);
  for (size_t i = 0; i < n; ++i) {
    hl.tick(out.l[i]);
    hr.tick(out.r[i]);
    out.l[i] = hl.hp * g;
    out.r[i] = hr.hp * g;
  }

  // Look-ahead limiter: the gain never exceeds what each sample allows, ramps
  // down over 3 ms before a peak and recovers over ~150 ms after it.
  const float ceiling = dbGain(-2.0f);
  std::vector<float>& gain = duck_;  // no longer needed as a duck
  for (size_t i = 0; i < n; ++i) {
    float peak = std::max(std::fabs(out.l[i]), std::fabs(out.r[i]));
    gain[i] = peak > ceiling ? ceiling / peak : 1.0f;
  }
  const float attackStep = 1.0f / (0.003f * kRate);
  const float releaseStep = 1.0f / (0.15f * kRate);
  for (size_t i = n; i-- > 1;) gain[i - 1] = std::min(gain[i - 1], gain[i] + attackStep);
  for (size_t i = 1; i < n; ++i) gain[i] = std::min(gain[i], gain[i - 1] + releaseStep);
  for (size_t i = 0; i < n; ++i) {
    out.l[i] *= gain[i];
    out.r[i] *= gain[i];
  }
  progress(1.0f);
  return out;
}

}  // namespace musicgen
