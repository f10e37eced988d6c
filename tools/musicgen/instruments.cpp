// Synthesis of every instrument of the soundtrack (see instruments.h).
// Relies on dsp.h for oscillators, filters and the seeded noise source.
// Levels are set so one hit or note peaks near 1.0; the song code scales them.
#include "instruments.h"

#include <algorithm>
#include <cmath>

namespace musicgen {
namespace {

size_t samplesOf(float seconds) { return static_cast<size_t>(std::fmax(seconds, 0.0f) * kRate); }

// Short linear fade at the end of a buffer so no voice stops with a click.
void fadeTail(Voice& v, float seconds = 0.005f) {
  size_t n = std::min(v.size(), samplesOf(seconds));
  for (size_t i = 0; i < n; ++i) v[v.size() - 1 - i] *= static_cast<float>(i) / n;
}

// The six square-wave partials of a classic analogue cymbal, in Hz.
constexpr float kMetal[6] = {205.3f, 304.4f, 369.6f, 522.7f, 540.0f, 800.0f};

float metallic(Osc* o) {
  float m = 0;
  for (int i = 0; i < 6; ++i) m += o[i].square();
  return m * (1.0f / 6.0f);
}

}  // namespace

Voice kick(float punch, float decaySec, uint32_t seed) {
  Voice v(samplesOf(decaySec * 4.5f + 0.03f));
  const SineTable& sine = SineTable::get();
  Rng rng(seed);
  OnePole clickLp;
  clickLp.set(5000.0f);
  double phase = 0.25;  // start at the crest: a firm first half-cycle
  const float drive = 2.0f, norm = 1.0f / std::tanh(drive);
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    float hz = 47.0f + 150.0f * punch * std::exp(-t / 0.03f) + 220.0f * punch * std::exp(-t / 0.004f);
    phase += hz / kRate;
    // 0.3 ms fade-in keeps the crest start crisp without a full-scale step.
    float amp = std::fmin(t / 0.0003f, 1.0f) * (t < 0.025f ? 1.0f : std::exp(-(t - 0.025f) / decaySec));
    float body = std::tanh(drive * sine(phase)) * norm * amp;
    float click = clickLp.lp(rng.bi()) * std::exp(-t / 0.0025f) * 0.5f;
    v[i] = body * 0.92f + click;
  }
  fadeTail(v, 0.02f);
  return v;
}

Voice softKick() {
  Voice v(samplesOf(0.5f));
  const SineTable& sine = SineTable::get();
  double phase = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    phase += (44.0f + 40.0f * std::exp(-t / 0.05f)) / kRate;
    float amp = std::fmin(t / 0.004f, 1.0f) * std::exp(-t / 0.2f);
    v[i] = sine(phase) * amp;
  }
  fadeTail(v, 0.03f);
  return v;
}

Voice snare(uint32_t seed) {
  Voice v(samplesOf(0.45f));
  const SineTable& sine = SineTable::get();
  Rng rng(seed);
  Svf hp;
  hp.set(1400.0f, 0.7f);
  Svf body;
  body.set(3500.0f, 0.6f);
  double p1 = 0, p2 = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    p1 += 190.0f * (1.0f + 0.4f * std::exp(-t / 0.01f)) / kRate;
    p2 += 335.0f / kRate;
    float tone = sine(p1) * std::exp(-t / 0.055f) * 0.7f + sine(p2) * std::exp(-t / 0.035f) * 0.35f;
    float n = rng.bi();
    hp.tick(n);
    body.tick(hp.hp);
    float noise = body.lp * std::exp(-t / 0.13f) * 1.1f;
    v[i] = std::tanh(1.4f * (tone + noise));
  }
  fadeTail(v, 0.02f);
  return v;
}

Voice clap(uint32_t seed) {
  Voice v(samplesOf(0.5f));
  Rng rng(seed);
  Svf bp;
  bp.set(1250.0f, 1.3f);
  Svf hp;
  hp.set(600.0f, 0.7f);
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    // Three quick hands, then the room: the flutter that makes a clap.
    float env = 0;
    const float starts[3] = {0.0f, 0.011f, 0.022f};
    for (float s : starts)
      if (t >= s) env = std::fmax(env, std::exp(-(t - s) / 0.0035f));
    if (t >= 0.031f) env = std::fmax(env, std::exp(-(t - 0.031f) / 0.1f) * 0.9f);
    bp.tick(rng.bi());
    hp.tick(bp.bp);
    v[i] = hp.hp * env * 3.2f;
  }
  fadeTail(v, 0.02f);
  return v;
}

Voice hat(float decaySec, uint32_t seed) {
  Voice v(samplesOf(decaySec * 5.0f + 0.01f));
  Rng rng(seed);
  Osc o[6];
  for (int i = 0; i < 6; ++i) {
    o[i].setHz(kMetal[i] * 4.1f);
    o[i].phase = rng.uni();
  }
  Svf hp1, hp2;
  hp1.set(7500.0f, 0.9f);
  hp2.set(6000.0f, 0.7f);
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    float src = metallic(o) * 0.6f + rng.bi() * 0.7f;
    hp1.tick(src);
    hp2.tick(hp1.hp);
    float env = std::fmin(t / 0.0008f, 1.0f) * std::exp(-t / decaySec);
    v[i] = hp2.hp * env * 1.6f;
  }
  fadeTail(v);
  return v;
}

VoiceSt crash(float decaySec, uint32_t seed) {
  VoiceSt out;
  for (int ch = 0; ch < 2; ++ch) {
    Voice& v = ch ? out.r : out.l;
    v.resize(samplesOf(decaySec * 5.0f));
    Rng rng(seed * 2 + ch + 1);
    Osc o[6];
    for (int i = 0; i < 6; ++i) {
      o[i].setHz(kMetal[i] * (2.3f + 0.07f * ch));
      o[i].phase = rng.uni();
    }
    Svf hp, lp;
    hp.set(4200.0f, 0.8f);
    lp.set(14000.0f, 0.7f);
    for (size_t i = 0; i < v.size(); ++i) {
      float t = static_cast<float>(i) / kRate;
      float src = metallic(o) * 0.5f + rng.bi();
      hp.tick(src);
      lp.tick(hp.hp);
      // A bright splash on the strike, then the long wash.
      float env = std::fmin(t / 0.001f, 1.0f) * (0.55f * std::exp(-t / 0.06f) + 0.45f * std::exp(-t / decaySec));
      v[i] = lp.lp * env * 1.5f;
    }
    fadeTail(v, 0.05f);
  }
  return out;
}

Voice tom(float hz) {
  Voice v(samplesOf(0.6f));
  const SineTable& sine = SineTable::get();
  double phase = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    phase += hz * (1.0f + 0.6f * std::exp(-t / 0.04f)) / kRate;
    v[i] = std::tanh(1.5f * sine(phase)) * std::exp(-t / 0.16f);
  }
  fadeTail(v, 0.02f);
  return v;
}

Voice impact(uint32_t seed) {
  Voice v(samplesOf(2.2f));
  const SineTable& sine = SineTable::get();
  Rng rng(seed);
  Svf lp;
  lp.set(900.0f, 0.7f);
  double phase = 0.25;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    phase += (30.0f + 70.0f * std::exp(-t / 0.08f)) / kRate;
    lp.tick(rng.bi());
    float boom = sine(phase) * std::exp(-t / 0.45f) * std::fmin(t / 0.001f, 1.0f);
    float grit = lp.lp * std::exp(-t / 0.12f) * 0.8f;
    v[i] = std::tanh(1.3f * (boom + grit));
  }
  fadeTail(v, 0.1f);
  return v;
}

VoiceSt riser(float seconds, uint32_t seed) {
  VoiceSt out;
  size_t n = samplesOf(seconds);
  for (int ch = 0; ch < 2; ++ch) {
    Voice& v = ch ? out.r : out.l;
    v.resize(n);
    Rng rng(seed * 2 + ch + 7);
    Svf bp;
    for (size_t i = 0; i < n; ++i) {
      float x = static_cast<float>(i) / n;
      if ((i & 15) == 0) bp.set(250.0f * std::pow(40.0f, x), 2.5f);
      bp.tick(rng.bi());
      v[i] = bp.bp * x * x * 1.4f;
    }
  }
  return out;
}

VoiceSt reverseCrash(float seconds, uint32_t seed) {
  VoiceSt c = crash(seconds * 0.35f, seed);
  size_t n = std::min(c.l.size(), samplesOf(seconds));
  VoiceSt out;
  out.l.assign(c.l.rbegin() + (c.l.size() - n), c.l.rend());
  out.r.assign(c.r.rbegin() + (c.r.size() - n), c.r.rend());
  // Start from silence rather than mid-tail.
  for (size_t i = 0; i < n; ++i) {
    float f = std::fmin(static_cast<float>(i) / (0.3f * n), 1.0f);
    out.l[i] *= f;
    out.r[i] *= f;
  }
  return out;
}

Voice bass(float note, float seconds, const BassTone& tone) {
  Adsr env(0.003f, 0.2f, 0.85f, 0.03f, samplesOf(seconds));
  Voice v(env.length());
  const SineTable& sine = SineTable::get();
  float hz = midiHz(note);
  Osc saw;
  saw.setHz(hz);
  double sp = 0;
  Svf f;
  const float norm = 1.0f / std::tanh(tone.drive);
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    if ((i & 15) == 0) f.set(tone.cutoff * (1.0f + tone.envAmount * std::exp(-t / tone.envDecay)), tone.q);
    f.tick(saw.saw());
    sp += hz / kRate;
    float x = f.lp * 0.8f + sine(sp) * tone.sub;
    v[i] = std::tanh(tone.drive * x) * norm * env.next();
  }
  return v;
}

Voice acid(const std::vector<AcidStep>& steps, float q) {
  if (steps.empty()) return {};
  size_t begin = steps.front().at;
  size_t end = steps.back().at + steps.back().len + samplesOf(0.05f);
  Voice v(end - begin);
  Osc saw;
  Svf f, lowCut;
  lowCut.set(150.0f, 0.7f);  // the sub and the kick own the lowest octave
  float hz = 0, gain = 0;
  for (size_t s = 0; s < steps.size(); ++s) {
    const AcidStep& st = steps[s];
    bool slidIn = s > 0 && steps[s - 1].slide && steps[s - 1].note >= 0;
    float target = st.note >= 0 ? midiHz(st.note) : hz;
    if (!slidIn && st.note >= 0) hz = target;
    size_t stop = s + 1 < steps.size() ? steps[s + 1].at : st.at + st.len;
    size_t gateLen = st.slide ? stop - st.at : st.len * 11 / 20;
    float envAmt = st.accent ? 7.0f : 3.5f;
    float level = st.accent ? 1.0f : 0.72f;
    for (size_t i = st.at; i < stop; ++i) {
      size_t k = i - st.at;
      float t = static_cast<float>(k) / kRate;
      hz += (target - hz) * 0.0025f;  // glide of about 10 ms
      saw.setHz(hz);
      if ((k & 7) == 0) {
        float env = slidIn ? 0.3f : std::exp(-t / (st.accent ? 0.12f : 0.09f));
        f.set(st.cutoff * (1.0f + envAmt * env), q);
      }
      float want = st.note >= 0 && k < gateLen ? level : 0.0f;
      gain += (want - gain) * 0.01f;  // ~2 ms declick
      f.tick(saw.saw());
      lowCut.tick(std::tanh(1.8f * f.lp));
      v[i - begin] = lowCut.hp * gain;
    }
  }
  fadeTail(v, 0.02f);
  return v;
}

VoiceSt supersaw(const std::vector<float>& notes, float seconds, const SawTone& tone, uint32_t seed) {
  Adsr envL(tone.attack, tone.decay, tone.sustain, tone.release, samplesOf(seconds));
  size_t n = envL.length();
  VoiceSt out{Voice(n, 0.0f), Voice(n, 0.0f)};
  Rng rng(seed);
  std::vector<Osc> osc;
  std::vector<float> gl, gr;
  for (float note : notes) {
    for (int k = 0; k < tone.voices; ++k) {
      float spreadPos = tone.voices > 1 ? 2.0f * k / (tone.voices - 1) - 1.0f : 0.0f;
      Osc o;
      o.setHz(midiHz(note + tone.detune * spreadPos));
      o.phase = rng.uni();
      osc.push_back(o);
      float l, r;
      panGains(spreadPos * tone.spread, l, r);
      gl.push_back(l);
      gr.push_back(r);
    }
  }
  const float norm = 1.0f / std::sqrt(static_cast<float>(osc.size()));
  Svf fl, fr;
  const float ratio = tone.cutoffTo / tone.cutoffFrom;
  for (size_t i = 0; i < n; ++i) {
    if ((i & 15) == 0) {
      float x = std::fmin(static_cast<float>(i) / (tone.cutoffTime * kRate), 1.0f);
      float hz = tone.cutoffFrom * std::pow(ratio, x);
      fl.set(hz, tone.q);
      fr.set(hz, tone.q);
    }
    float l = 0, r = 0;
    for (size_t k = 0; k < osc.size(); ++k) {
      float s = osc[k].saw();
      l += s * gl[k];
      r += s * gr[k];
    }
    float e = envL.next() * norm;
    fl.tick(l);
    fr.tick(r);
    out.l[i] = fl.lp * e;
    out.r[i] = fr.lp * e;
  }
  return out;
}

Voice pluck(float note, float seconds, float brightness, float decaySec) {
  Adsr env(0.002f, decaySec, 0.0f, 0.05f, samplesOf(seconds));
  Voice v(env.length());
  float hz = midiHz(note);
  Osc a, b;
  a.setHz(hz);
  b.setHz(hz * 1.004f);
  Svf f;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    if ((i & 15) == 0) f.set(hz * (1.5f + brightness * 12.0f * std::exp(-t / (decaySec * 0.6f))), 0.9f);
    f.tick(a.saw() * 0.6f + b.square() * 0.4f);
    v[i] = f.lp * env.next();
  }
  return v;
}

Voice lead(float note, float seconds, const LeadTone& tone) {
  Adsr env(tone.attack, 0.25f, 0.75f, tone.release, samplesOf(seconds));
  Voice v(env.length());
  const SineTable& sine = SineTable::get();
  float hz = midiHz(note);
  Osc a, b, c;
  Svf f;
  double lfo = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    lfo += 5.5 / kRate;
    // Vibrato fades in after the attack, like a player leaning on a note.
    float vib = tone.vibrato * std::fmin(std::fmax((t - 0.18f) / 0.3f, 0.0f), 1.0f) * sine(lfo);
    float f0 = hz * std::pow(2.0f, vib / 12.0f);
    a.setHz(f0 * 1.0035f);
    b.setHz(f0 * 0.9965f);
    c.setHz(f0 * 0.5f);
    if ((i & 15) == 0) f.set(tone.cutoff + tone.envCutoff * std::exp(-t / 0.2f), 1.1f);
    f.tick(0.5f * (a.saw() + b.saw()) + tone.square * c.square());
    v[i] = f.lp * env.next();
  }
  return v;
}

Voice talk(float note, float seconds, int vowelFrom, int vowelTo) {
  // Formant centres (Hz) of a, e, i, o, u.
  static const float kF1[5] = {730, 530, 300, 570, 320};
  static const float kF2[5] = {1090, 1840, 2250, 840, 900};
  static const float kF3[5] = {2440, 2480, 2900, 2410, 2300};
  Adsr env(0.015f, 0.2f, 0.85f, 0.12f, samplesOf(seconds));
  Voice v(env.length());
  const SineTable& sine = SineTable::get();
  float hz = midiHz(note);
  Osc o;
  Svf f1, f2, f3;
  double lfo = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    lfo += 5.0 / kRate;
    o.setHz(hz * (1.0f + 0.004f * sine(lfo)));
    if ((i & 15) == 0) {
      float x = std::fmin(t / std::fmax(seconds, 0.05f), 1.0f);
      x = x * x * (3.0f - 2.0f * x);
      auto mixF = [&](const float* tab) { return tab[vowelFrom] + (tab[vowelTo] - tab[vowelFrom]) * x; };
      f1.set(mixF(kF1), 7.0f);
      f2.set(mixF(kF2), 9.0f);
      f3.set(mixF(kF3), 10.0f);
    }
    float s = o.saw();
    f1.tick(s);
    f2.tick(s);
    f3.tick(s);
    // Band-pass outputs scaled by 1/Q so each formant peaks at unity gain.
    v[i] = (f1.bp * f1.k + f2.bp * f2.k * 0.7f + f3.bp * f3.k * 0.35f) * env.next() * 2.2f;
  }
  return v;
}

Voice bell(float note, float seconds) {
  Adsr env(0.002f, 1.2f, 0.0f, 0.4f, samplesOf(seconds));
  Voice v(env.length());
  const SineTable& sine = SineTable::get();
  float hz = midiHz(note);
  double pc = 0, pm = 0, pm2 = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    float t = static_cast<float>(i) / kRate;
    pm += hz / kRate;
    pm2 += hz * 3.5 / kRate;
    // Index falls quickly: a struck tine, then a plain sine.
    float index = 2.2f * std::exp(-t / 0.25f);
    float mod = sine(pm) * index + sine(pm2) * 0.6f * std::exp(-t / 0.05f);
    pc += hz / kRate;
    v[i] = sine(pc + mod / (2.0 * kPi)) * env.next();
  }
  return v;
}

Voice sub(float note, float seconds, float attack) {
  Adsr env(attack, 0.5f, 1.0f, 0.2f, samplesOf(seconds));
  Voice v(env.length());
  const SineTable& sine = SineTable::get();
  double p = 0;
  float hz = midiHz(note);
  for (size_t i = 0; i < v.size(); ++i) {
    p += hz / kRate;
    v[i] = sine(p) * env.next();
  }
  return v;
}

}  // namespace musicgen
