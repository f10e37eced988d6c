// Composition and arrangement of the soundtrack (see song.h).
//
// Time is written in beats and turned into samples by a tempo map. The map is
// 129 BPM (465 ms a beat, 1860 ms a bar) bent by at most a few percent so that
// the sync points the opening scenes flash on fall exactly on beats or
// off-beats, and so that every scene cut lands on a bar line. Key: A minor,
// lifted to B minor for the last chorus and resolved to B major at the end.
//
// Sections (global beats, and where they start in ms):
//   0-32    (50)      intro: pairs of chord hits, pad and arpeggio opening up
//   32-64   (14800)   first groove: four-on-the-floor, off-beat bass, pushed hits
//   64-97   (29600)   tunnel: the main theme on the lead, rolling bass, 5-beat break
//   97-129  (44768)   off-beat chord stabs on every flash, new harmony
//   129-193 (59627)   talking verse: vowel-filtered voice, then new chords and bells
//   193-225 (89280)   acid: resonant bass line boiling up
//   225-257 (104000)  drive: second theme, fast arpeggio
//   257-321 (119040)  breakdown: pads and bells, heartbeat kick, long build
//   321-353 (148800)  drop: main theme with everything
//   353-385 (163680)  second theme chorus: gated pad, open hats, ride and toms
//   385-417 (178560)  final chorus a tone higher, harmonised, slowing into the end
//   417-    (193700)  coda: B major, fading out by 204.5 s
#include "song.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "instruments.h"
#include "mixer.h"

namespace musicgen {

const double kSyncMs[kSyncPointCount] = {DEMO_SYNC_POINTS_MS};

namespace {

size_t sampleOfMs(double ms) { return static_cast<size_t>(std::llround(std::max(ms, 0.0) * kRate / 1000.0)); }

// Map from beats to milliseconds through fixed anchors. Between anchors it is
// a cubic Hermite curve, so where neighbouring spans differ by a few percent
// the tempo glides instead of jumping; where they differ more (a break that
// is shorter or longer than its beats) the corner is kept, as in a linear map.
class TempoMap {
 public:
  void anchor(double beat, double ms) { a_.push_back({beat, ms, 0.0, 0.0}); }
  // Call once after the last anchor.
  void finish() {
    const size_t n = a_.size();
    std::vector<double> secant(n - 1);
    for (size_t i = 0; i + 1 < n; ++i) secant[i] = (a_[i + 1].ms - a_[i].ms) / (a_[i + 1].beat - a_[i].beat);
    for (size_t i = 0; i < n; ++i) {
      double left = i > 0 ? secant[i - 1] : secant[0];
      double right = i + 1 < n ? secant[i] : secant[n - 2];
      bool glide = std::fabs(left - right) < 0.08 * right;
      a_[i].slopeIn = glide ? 0.5 * (left + right) : left;
      a_[i].slopeOut = glide ? 0.5 * (left + right) : right;
    }
  }
  double ms(double beat) const {
    if (beat <= a_.front().beat) return a_.front().ms + (beat - a_.front().beat) * a_.front().slopeOut;
    if (beat >= a_.back().beat) return a_.back().ms + (beat - a_.back().beat) * a_.back().slopeIn;
    size_t i = 1;
    while (a_[i].beat < beat) ++i;
    const Anchor& p = a_[i - 1];
    const Anchor& q = a_[i];
    double len = q.beat - p.beat, t = (beat - p.beat) / len, t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * p.ms + (t3 - 2 * t2 + t) * len * p.slopeOut + (-2 * t3 + 3 * t2) * q.ms +
           (t3 - t2) * len * q.slopeIn;
  }

 private:
  struct Anchor {
    double beat, ms, slopeIn, slopeOut;  // slopes in ms per beat
  };
  std::vector<Anchor> a_;
};

TempoMap buildTempoMap() {
  TempoMap m;
  // Intro: each bar opens with a hit and answers it on the "and" of beat two.
  for (int k = 0; k < 8; ++k) {
    m.anchor(4.0 * k, kSyncMs[2 * k]);
    m.anchor(4.0 * k + 1.5, kSyncMs[2 * k + 1]);
  }
  // The intro's last bar is a break (no pulse), so it may be short.
  m.anchor(32, kSyncMs[16]);
  // First groove: hits pushed onto the "and" of beat one in bars 3, 5 and 7.
  m.anchor(40.5, kSyncMs[17]);
  m.anchor(48.5, kSyncMs[18]);
  m.anchor(56.5, kSyncMs[19]);
  // Tunnel: a hit on the bar line every two bars.
  m.anchor(64, kSyncMs[20]);
  m.anchor(72, kSyncMs[21]);
  m.anchor(80, kSyncMs[22]);
  m.anchor(88, kSyncMs[23]);
  // Stab section: flashes on the off-beats after beats one and three.
  const double beat = (kSyncMs[39] - kSyncMs[24]) / 30.0;
  m.anchor(97, kSyncMs[24] - 0.5 * beat);
  for (int k = 0; k < 16; ++k) m.anchor(97.5 + 2.0 * k, kSyncMs[24 + k]);
  m.anchor(129, kSyncMs[39] + 1.5 * beat);
  // From here on the scene cuts sit on the 1860 ms bar grid (bar 48 = 89280 ms
  // ... bar 80 = 148800 ms) except 104000 ms, pulled 160 ms early.
  m.anchor(193, 89280);
  m.anchor(225, 104000);
  m.anchor(257, 119040);
  m.anchor(321, 148800);
  m.anchor(353, 163680);
  m.anchor(385, 178560);
  // Ritardando over the final chorus's last bar into the ending at 193700 ms.
  m.anchor(413, 178560 + 28 * 465.0);
  m.anchor(414, 192060);
  m.anchor(415, 192560);
  m.anchor(416, 193090);
  m.anchor(417, 193700);
  m.anchor(429, 193700 + 12 * 620.0);  // the coda at a slower, settling pace
  m.finish();
  return m;
}

// ---- harmony ------------------------------------------------------------------

struct Chord {
  int bass;                 // MIDI root for the bass (G1..F2)
  std::array<int, 4> pad;   // close voicing around middle C
};

Chord chord(const char* name) {
  static const struct {
    const char* name;
    Chord c;
  } kChords[] = {
      {"Am", {33, {57, 60, 64, 69}}},    {"F", {41, {57, 60, 65, 69}}},    {"C", {36, {55, 60, 64, 67}}},
      {"G", {31, {55, 59, 62, 67}}},     {"Dm", {38, {57, 62, 65, 69}}},   {"E", {40, {56, 59, 64, 68}}},
      {"Em", {40, {55, 59, 64, 67}}},    {"Fmaj7", {41, {53, 57, 60, 64}}}, {"Am7", {33, {55, 60, 64, 69}}},
      {"A", {33, {57, 61, 64, 69}}},     {"Gsus", {31, {55, 60, 62, 67}}},
  };
  for (const auto& k : kChords)
    if (std::strcmp(k.name, name) == 0) return k.c;
  return kChords[0].c;
}

struct Note {
  double beat, len;  // beats from the phrase start
  int note;          // MIDI
};

// Main theme, eight bars over Am F C G Am F C G.
const std::vector<Note> kThemeA = {
    {0, 1.5, 76},  {1.5, .5, 74},  {2, 1, 72},    {3, .5, 74},   {3.5, .5, 76},   // Am
    {4, 1.5, 77},  {5.5, .5, 76},  {6, 1.5, 72},  {7.5, .5, 69},                  // F
    {8, 1.5, 79},  {9.5, .5, 76},  {10, 1, 72},   {11, .5, 74},  {11.5, .5, 76},  // C
    {12, 1.5, 74}, {13.5, .5, 71}, {14, 2, 67},                                   // G
    {16, 1.5, 76}, {17.5, .5, 74}, {18, 1, 72},   {19, .5, 74},  {19.5, .5, 76},  // Am
    {20, 1.5, 81}, {21.5, .5, 79}, {22, 1, 77},   {23, .5, 76},  {23.5, .5, 77},  // F
    {24, 1, 79},   {25, 1, 76},    {26, 1, 72},   {27, 1, 76},                    // C
    {28, 1.5, 74}, {29.5, .5, 72}, {30, 2, 71},                                   // G
};

// Second theme, eight bars over F G Am Am F G C E.
const std::vector<Note> kThemeB = {
    {0, .5, 72},   {.5, .5, 77},   {1, 1, 81},    {2, .5, 79},    {2.5, .5, 77},  {3, 1, 76},  // F
    {4, .5, 71},   {4.5, .5, 74},  {5, 1, 79},    {6, .5, 77},    {6.5, .5, 76},  {7, 1, 74},  // G
    {8, 1, 76},    {9, 1, 72},     {10, 2, 69},                                                // Am
    {12, .75, 81}, {12.75, .75, 79}, {13.5, .5, 76}, {14, 1.5, 76}, {15.5, .5, 74},            // Am
    {16, .5, 72},  {16.5, .5, 77}, {17, 1, 81},   {18, .5, 79},   {18.5, .5, 77}, {19, 1, 76}, // F
    {20, .5, 71},  {20.5, .5, 74}, {21, 1, 79},   {22, .5, 77},   {22.5, .5, 76}, {23, 1, 74}, // G
    {24, 1, 76},   {25, 1, 79},    {26, 2, 72},                                                // C
    {28, 1, 71},   {29, 1, 68},    {30, 2, 71},                                                // E
};

// The talking voice: call-and-answer phrases an octave below the themes.
const std::vector<Note> kTalkA = {
    {.5, .5, 57}, {1, .5, 60}, {1.5, 1.25, 64}, {3, .75, 62},     // Am
    {4.5, .5, 55}, {5, .5, 59}, {5.5, 1.25, 62}, {7, .75, 59},    // G
    {8.5, .5, 57}, {9, .5, 60}, {9.5, 1.25, 65}, {11, .75, 64},   // F
    {12.5, .5, 56}, {13, .5, 59}, {13.5, 1.5, 64}, {15, .5, 62},  // E
};
const std::vector<Note> kTalkB = {
    {.5, .5, 57}, {1, .5, 60}, {1.5, 1.25, 65}, {3, .75, 64},     // F
    {4.5, .5, 55}, {5, .5, 59}, {5.5, 1.25, 62}, {7, .75, 67},    // G
    {8.5, .5, 59}, {9, .5, 62}, {9.5, 1.25, 64}, {11, .75, 67},   // Em
    {12.5, .5, 64}, {13, .5, 62}, {13.5, 2, 60},                  // Am
};

// A-minor scale step: the note `steps` scale degrees away (for harmony lines).
int scaleStep(int note, int steps) {
  static const int kScale[7] = {0, 2, 3, 5, 7, 8, 10};  // A B C D E F G
  int rel = note - 57;
  int oct = (rel >= 0 ? rel : rel - 11) / 12;
  int pc = rel - oct * 12;
  int deg = 0;
  while (deg < 6 && kScale[deg + 1] <= pc) ++deg;
  int d = deg + steps;
  int o = oct + (d >= 0 ? d / 7 : (d - 6) / 7);
  d -= (o - oct) * 7;
  return 57 + o * 12 + kScale[d];
}

enum class Lead { Saw, Bell, Talk, Pluck };
enum class BassStyle { Offbeat, Rolling, Octave, Held };

class Song {
 public:
  Song(Mixer& mix, const std::function<void(float)>& progress)
      : mix_(mix), map_(buildTempoMap()), progress_(progress) {
    kick_ = kick(0.8f, 0.13f, 11);
    kickHard_ = kick(1.0f, 0.22f, 12);
    soft_ = softKick();
    for (uint32_t i = 0; i < 3; ++i) {
      clap_[i] = clap(21 + i);
      snare_[i] = snare(31 + i);
    }
    for (uint32_t i = 0; i < 4; ++i) hatC_[i] = hat(0.035f, 41 + i);
    for (uint32_t i = 0; i < 2; ++i) hatO_[i] = hat(0.22f, 51 + i);
    crash_ = crash(0.9f, 61);
    crashShort_ = crash(0.35f, 62);
    ride_ = hat(0.5f, 71);
    impact_ = impact(81);
    for (int i = 0; i < 3; ++i) tom_[i] = tom(150.0f - 35.0f * i);
  }

  void render() {
    // Sections in timeline order, reporting progress after each.
    const float count = 12.0f;
    int done = 0;
    auto next = [&]() { progress_(static_cast<float>(++done) / count); };
    intro(), next();
    firstGroove(), next();
    tunnel(), next();
    stabs(), next();
    talkingVerse(), next();
    acidSection(), next();
    drive(), next();
    breakdown(), next();
    drop(), next();
    chorusB(), next();
    finale(), next();
    coda(), next();
  }

 private:
  // ---- time ------------------------------------------------------------------------
  size_t at(double beat) const { return sampleOfMs(map_.ms(beat)); }
  float secs(double beat, double len) const { return static_cast<float>((map_.ms(beat + len) - map_.ms(beat)) / 1000.0); }
  bool live(double beat) const { return at(beat) < mix_.size(); }
  // Light shuffle: the second and fourth sixteenth of each beat come late by
  // swing_ beats (about 16 ms), for hats, bass and arpeggios.
  double swung(double beat) const {
    double f = beat - std::floor(beat + 1e-9);
    return std::fabs(f - 0.25) < 1e-6 || std::fabs(f - 0.75) < 1e-6 ? beat + swing_ : beat;
  }
  // Every random choice is seeded by what and when the event is, so a note
  // sounds the same whether or not anything else is rendered (an excerpt is
  // the start of the full track).
  static uint32_t seedAt(double beat, uint32_t salt) {
    uint32_t h = static_cast<uint32_t>(std::llround(beat * 960.0)) * 0x9e3779b1u ^ salt * 0x85ebca6bu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return h ? h : 1u;
  }
  // Velocity humanisation: a gain factor within +-amount.
  static float vary(float amount, double beat, uint32_t salt) { return 1.0f + amount * Rng(seedAt(beat, salt)).bi(); }

  // ---- drums -------------------------------------------------------------------------
  void drum(const Voice& v, double beat, float gain, float pan = 0.0f, Send s = {}) {
    if (live(beat)) mix_.add(Bus::Drums, at(beat), v, gain, pan, s);
  }
  void kickAt(double beat, float gain, float duckDepth = 0.75f) {
    if (!live(beat)) return;
    drum(kick_, beat, gain);
    mix_.duck(at(beat), duckDepth);
  }
  void fourOnFloor(double from, double to, float gain, float duckDepth = 0.75f) {
    for (double b = from; b < to - 1e-9; b += 1.0) kickAt(b, gain * vary(0.03f, b, 1), duckDepth);
  }
  // Clap (and/or snare) on beats two and four of each bar from `from`.
  void backbeat(double from, double to, float clapGain, float snareGain) {
    int i = 0;
    for (double b = from + 1.0; b < to - 1e-9; b += 2.0, ++i) {
      if (clapGain > 0) drum(clap_[i % 3], b, clapGain * vary(0.05f, b, 2), 0.0f, {0.25f, 0.0f});
      if (snareGain > 0) drum(snare_[i % 3], b, snareGain * vary(0.05f, b, 3), 0.0f, {0.2f, 0.0f});
    }
  }
  // Closed hats on the off-beat eighths, quieter sixteenths in between,
  // open hats on the off-beats when `open`.
  void hats(double from, double to, float gain, bool sixteenths, bool open) {
    int i = 0;
    for (double b = from; b < to - 1e-9; b += 0.25, ++i) {
      double f = b - std::floor(b + 1e-9);
      bool off = std::fabs(f - 0.5) < 1e-6;
      if (off && open) {
        drum(hatO_[i % 2], b, gain * 0.9f * vary(0.08f, b, 4), 0.3f, {0.05f, 0.0f});
      } else if (off) {
        drum(hatC_[i % 4], b, gain * vary(0.08f, b, 5), 0.3f);
      } else if (sixteenths) {
        drum(hatC_[i % 4], swung(b), gain * (f < 1e-6 ? 0.45f : 0.6f) * vary(0.15f, b, 6), 0.2f);
      }
    }
  }
  void rides(double from, double to, float gain) {
    for (double b = from; b < to - 1e-9; b += 1.0) drum(ride_, b + 0.5, gain * vary(0.06f, b, 7), -0.35f, {0.1f, 0.0f});
  }
  void crashAt(double beat, float gain, bool longOne = true) {
    if (live(beat)) mix_.add(Bus::Drums, at(beat), longOne ? crash_ : crashShort_, gain, {0.2f, 0.0f});
  }
  void impactAt(size_t sample, float gain) { mix_.add(Bus::Drums, sample, impact_, gain, 0.0f, {0.3f, 0.0f}); }
  // Snare roll from `from` to `to` beats: eighths, then sixteenths, then 32nds
  // for the last quarter, swelling from gainFrom to gainTo.
  void snareRoll(double from, double to, float gainFrom, float gainTo) {
    double len = to - from;
    int i = 0;
    for (double b = from; b < to - 1e-9; ++i) {
      double x = (b - from) / len;
      drum(snare_[i % 3], b, gainFrom + (gainTo - gainFrom) * static_cast<float>(x), 0.0f, {0.2f, 0.0f});
      b += x < 0.5 ? 0.5 : x < 0.75 ? 0.25 : 0.125;
    }
  }
  // Sixteenth tom run down over the `beats` beats before `to`.
  void tomFill(double to, float gain, int beats = 2) {
    for (int i = 8 - 4 * beats; i < 8; ++i) {
      double b = to - 2.0 + 0.25 * i;
      if (i % 4 == 3) {
        drum(snare_[i % 3], b, gain * 0.8f, 0.0f, {0.2f, 0.0f});
      } else {
        drum(tom_[std::min(i / 3, 2)], b, gain, -0.4f + 0.4f * (i / 3), {0.15f, 0.0f});
      }
    }
  }
  void riserTo(double from, double to, float gain) {
    if (live(from)) mix_.add(Bus::Drums, at(from), riser(secs(from, to - from), seedAt(from, 8)), gain, {0.3f, 0.1f});
  }
  void reverseCrashInto(double to, double beats, float gain) {
    double from = to - beats;
    if (live(from)) mix_.add(Bus::Drums, at(from), reverseCrash(secs(from, beats), seedAt(from, 9)), gain, {0.2f, 0.0f});
  }

  // ---- tonal parts -----------------------------------------------------------------
  std::vector<float> padNotes(const Chord& c) const {
    std::vector<float> n;
    for (int p : c.pad) n.push_back(static_cast<float>(p + transpose_));
    return n;
  }
  static SawTone padTone(float cutoff, float attack) {
    SawTone t;
    t.voices = 5;
    t.detune = 0.14f;
    t.attack = attack;
    t.decay = 1.0f;
    t.sustain = 0.9f;
    t.release = 0.6f;
    t.cutoffFrom = t.cutoffTo = cutoff;
    t.q = 0.9f;
    t.spread = 0.9f;
    return t;
  }
  void pad(double from, double beats, const Chord& c, const SawTone& tone, float gain) {
    if (!live(from)) return;
    mix_.add(Bus::Music, at(from), supersaw(padNotes(c), secs(from, beats), tone, seedAt(from, 10 + c.bass)), gain,
             {0.35f, 0.0f});
  }
  // A progression, one chord every `perChord` beats, with a cutoff moving
  // from cutFrom to cutTo over the whole run.
  void padRun(double from, const std::vector<const char*>& prog, double perChord, float gain, float cutFrom,
              float cutTo, float attack = 0.25f) {
    for (size_t i = 0; i < prog.size(); ++i) {
      double b = from + perChord * i;
      float x0 = static_cast<float>(i) / prog.size(), x1 = static_cast<float>(i + 1) / prog.size();
      SawTone t = padTone(cutFrom * std::pow(cutTo / cutFrom, x0), attack);
      t.cutoffTo = cutFrom * std::pow(cutTo / cutFrom, x1);
      t.cutoffTime = secs(b, perChord);
      pad(b, perChord, chord(prog[i]), t, gain);
    }
  }
  // The accent stab: a bright detuned chord that snaps shut.
  void stab(size_t sample, const Chord& c, float gain, float octave = 0.0f) {
    SawTone t;
    t.voices = 5;
    t.detune = 0.18f;
    t.attack = 0.001f;
    t.decay = 0.35f;
    t.sustain = 0.0f;
    t.release = 0.08f;
    t.cutoffFrom = 7000.0f;
    t.cutoffTo = 700.0f;
    t.cutoffTime = 0.3f;
    t.q = 1.2f;
    std::vector<float> notes = padNotes(c);
    for (float& n : notes) n += octave;
    mix_.add(Bus::Lead, sample, supersaw(notes, 0.3f, t, seedAt(sample / 44.1, 11 + static_cast<uint32_t>(octave))), gain, {0.35f, 0.15f});
  }
  // Trance gate: the pad chopped into sixteenths by a 16-step on/off pattern
  // (bit 15 = first step), one chord per bar.
  void gatedPad(double from, const std::vector<const char*>& prog, uint16_t pattern, float gain, float cutoff) {
    for (size_t c = 0; c < prog.size(); ++c) {
      double b = from + 4.0 * c;
      if (!live(b)) continue;
      SawTone t = padTone(cutoff, 0.002f);
      t.release = 0.05f;
      VoiceSt v = supersaw(padNotes(chord(prog[c])), secs(b, 4), t, seedAt(b, 12));
      const size_t origin = at(b), ramp = kRate / 400;  // 2.5 ms edges
      std::vector<float> gate(v.l.size(), 0.0f);
      for (int k = 0; k < 16; ++k) {
        if (!(pattern & (0x8000u >> k))) continue;
        size_t s0 = at(b + 0.25 * k) - origin, s1 = at(b + 0.25 * k + 0.17) - origin;
        for (size_t i = s0; i < s1 && i < gate.size(); ++i)
          gate[i] = std::fmin(1.0f, std::fmin(static_cast<float>(i - s0) / ramp, static_cast<float>(s1 - i) / ramp));
      }
      for (size_t i = 0; i < gate.size(); ++i) {
        v.l[i] *= gate[i];
        v.r[i] *= gate[i];
      }
      mix_.add(Bus::Music, origin, v, gain, {0.3f, 0.2f});
    }
  }
  void bassBar(double bar, const Chord& c, BassStyle style, float gain, const BassTone& tone) {
    float root = static_cast<float>(c.bass + transpose_);
    auto note = [&](double b, double len, float n, float g) {
      if (live(b)) mix_.add(Bus::Music, at(swung(b)), bass(n, secs(b, len), tone), g * vary(0.04f, b, 13), 0.0f);
    };
    for (int beat = 0; beat < 4; ++beat) {
      double b = bar + beat;
      switch (style) {
        case BassStyle::Offbeat:
          note(b + 0.5, 0.38, root, gain);
          break;
        case BassStyle::Rolling:
          note(b + 0.25, 0.2, root, gain * 0.8f);
          note(b + 0.5, 0.2, root, gain);
          note(b + 0.75, 0.2, beat == 3 ? root + 12 : root, gain * 0.85f);
          break;
        case BassStyle::Octave:
          note(b, 0.4, root, gain);
          note(b + 0.5, 0.3, root + 12, gain * 0.75f);
          break;
        case BassStyle::Held:
          if (beat == 0) note(b, 3.8, root, gain);
          break;
      }
    }
  }
  void bassRun(double from, const std::vector<const char*>& prog, BassStyle style, float gain,
               const BassTone& tone = BassTone()) {
    for (size_t i = 0; i < prog.size(); ++i) bassBar(from + 4.0 * i, chord(prog[i]), style, gain, tone);
  }
  void subNote(double from, double beats, int midi, float gain, float attack = 0.05f) {
    if (live(from))
      mix_.add(Bus::Music, at(from), sub(static_cast<float>(midi + transpose_), secs(from, beats), attack), gain, 0.0f);
  }
  // Sixteenth (or eighth) arpeggio up and down through the chord an octave up.
  void arpRun(double from, const std::vector<const char*>& prog, double step, float gain, float bright,
              float octave = 12.0f) {
    int i = 0;
    for (size_t c = 0; c < prog.size(); ++c) {
      std::vector<float> tones = padNotes(chord(prog[c]));
      static const int kOrder[8] = {0, 1, 2, 3, 2, 3, 1, 2};
      for (double b = from + 4.0 * c; b < from + 4.0 * (c + 1) - 1e-9; b += step, ++i) {
        if (!live(b)) continue;
        float n = tones[kOrder[i % 8]] + octave;
        float pan = (i % 2 ? 0.45f : -0.45f);
        float accent = (i % 4 == 0) ? 1.0f : 0.75f;
        mix_.add(Bus::Music, at(swung(b)), pluck(n, secs(b, step * 0.8), bright, 0.25f), gain * accent * vary(0.05f, b, 14), pan,
                 {0.2f, 0.35f});
      }
    }
  }
  void melody(double from, const std::vector<Note>& notes, Lead kind, float gain, int shift = 0,
              float pan = 0.0f, double stretch = 1.0) {
    LeadTone tone;
    for (size_t i = 0; i < notes.size(); ++i) {
      const Note& n = notes[i];
      double b = from + n.beat * stretch;
      if (!live(b)) continue;
      float midi = static_cast<float>(n.note + shift + transpose_);
      float s = secs(b, n.len * stretch);
      Voice v;
      Send send{0.3f, 0.25f};
      switch (kind) {
        case Lead::Saw:
          v = lead(midi, s * 0.92f, tone);
          break;
        case Lead::Bell:
          v = bell(midi, s);
          send = {0.45f, 0.3f};
          break;
        case Lead::Talk:
          v = talk(midi, s * 0.9f, static_cast<int>(i * 2 % 5), static_cast<int>((i * 3 + 3) % 5));
          send = {0.25f, 0.15f};
          break;
        case Lead::Pluck:
          v = pluck(midi, s, 0.7f, 0.5f);
          send = {0.3f, 0.35f};
          break;
      }
      mix_.add(Bus::Lead, at(b), v, gain * vary(0.04f, b, 15 + static_cast<uint32_t>(n.note)), pan, send);
    }
  }
  // The same melody a diatonic third below, for a harmonised final chorus.
  static std::vector<Note> thirdBelow(const std::vector<Note>& notes) {
    std::vector<Note> out = notes;
    for (Note& n : out) n.note = scaleStep(n.note, -2);
    return out;
  }

  // ---- accents on the sync points -------------------------------------------------
  // Big hit: kick, crash, low boom and a stab chord, all on the same sample.
  void bigHit(double ms, const Chord& c, float gain = 1.0f) {
    size_t s = sampleOfMs(ms);
    mix_.add(Bus::Drums, s, kickHard_, 1.0f * gain, 0.0f);
    mix_.duck(s, 0.8f, 0.04f);
    mix_.add(Bus::Drums, s, crash_, 0.32f * gain, {0.25f, 0.0f});
    impactAt(s, 0.45f * gain);
    stab(s, c, 0.42f * gain);
  }
  // Lighter hit: kick, short crash and stab.
  void pushHit(double ms, const Chord& c, float gain = 1.0f) {
    size_t s = sampleOfMs(ms);
    mix_.add(Bus::Drums, s, kickHard_, 0.9f * gain, 0.0f);
    mix_.duck(s, 0.75f, 0.04f);
    mix_.add(Bus::Drums, s, crashShort_, 0.3f * gain, {0.2f, 0.0f});
    stab(s, c, 0.4f * gain);
  }
  // The answer to a hit: kick, low tom and the stab, no cymbal.
  void answerHit(double ms, const Chord& c, float gain = 1.0f) {
    size_t s = sampleOfMs(ms);
    mix_.add(Bus::Drums, s, kickHard_, 0.85f * gain, 0.0f);
    mix_.add(Bus::Drums, s, tom_[2], 0.35f * gain, -0.2f, {0.2f, 0.0f});
    mix_.duck(s, 0.75f, 0.04f);
    stab(s, c, 0.42f * gain);
  }
  // Off-beat stab: chord an octave up, clap and open hat.
  void offbeatHit(double ms, const Chord& c, int i) {
    size_t s = sampleOfMs(ms);
    stab(s, c, 0.45f, 12.0f);
    stab(s, c, 0.32f);
    mix_.add(Bus::Drums, s, clap_[i % 3], 0.36f, 0.0f, {0.3f, 0.0f});
    mix_.add(Bus::Drums, s, hatO_[i % 2], 0.16f, 0.3f);
    mix_.duck(s, 0.7f, 0.04f);
  }

  // ---- sections ----------------------------------------------------------------------
  void intro() {
    const std::vector<const char*> prog = {"Am", "F", "C", "G", "Am", "F", "C", "G"};
    for (int bar = 0; bar < 8; ++bar) {
      double b = 4.0 * bar;
      Chord c = chord(prog[bar]);
      // The pad opens up over the intro: 450 Hz to 3 kHz.
      SawTone t = padTone(450.0f * std::pow(6.5f, bar / 8.0f), bar == 0 ? 0.02f : 0.3f);
      t.cutoffTo = 450.0f * std::pow(6.5f, (bar + 1) / 8.0f);
      t.cutoffTime = secs(b, 4);
      pad(b, bar < 7 ? 4.0 : 2.0, c, t, 0.09f + 0.008f * bar);
      float g = 0.75f + 0.035f * bar;
      if (bar == 0) {
        bigHit(kSyncMs[0], c, g);
      } else {
        pushHit(kSyncMs[2 * bar], c, g);
      }
      answerHit(kSyncMs[2 * bar + 1], c, g * 0.9f);
      if (bar >= 2 && bar < 7) arpRun(b, {prog[bar]}, 0.25, 0.05f + 0.012f * bar, 0.3f + 0.08f * bar);
      if (bar >= 4 && bar < 7) hats(b, b + 4, 0.1f, bar >= 5, false);
      if (bar == 6) {
        // A heartbeat bar before the break; the full kick waits for the groove.
        subNote(b, 4, c.bass, 0.14f, 0.3f);
        for (int k = 0; k < 4; ++k) {
          drum(soft_, b + k, 0.6f);
          mix_.duck(at(b + k), 0.5f);
        }
      }
    }
    // Break after the last pair of hits: sweep, roll and a reversed cymbal.
    riserTo(29.5, 32, 0.22f);
    snareRoll(30, 32, 0.08f, 0.4f);
    reverseCrashInto(32, 2.5, 0.35f);
  }

  void firstGroove() {
    const double s = 32;
    const std::vector<const char*> prog = {"Am", "F", "C", "G", "Am", "F", "C", "G"};
    bigHit(kSyncMs[16], chord("Am"));
    fourOnFloor(s + 1, s + 32, 0.85f);
    backbeat(s, s + 32, 0.42f, 0.0f);
    hats(s, s + 32, 0.16f, true, false);
    bassRun(s, prog, BassStyle::Offbeat, 0.27f);
    padRun(s, prog, 4, 0.12f, 1200.0f, 2200.0f);
    arpRun(s + 16, {"Am", "F", "C"}, 0.25, 0.08f, 0.5f);
    // Hits pushed onto the "and" of beat one.
    pushHit(kSyncMs[17], chord("C"));
    pushHit(kSyncMs[18], chord("Am"));
    pushHit(kSyncMs[19], chord("C"));
    tomFill(s + 32, 0.45f);
  }

  void tunnel() {
    const double s = 64;
    const std::vector<const char*> prog = {"Am", "F", "C", "G", "Am", "F", "C"};
    bigHit(kSyncMs[20], chord("Am"));
    // A crash every two bars drives the tunnel on.
    bigHit(kSyncMs[21], chord("C"), 0.85f);  // bar 3 is C
    bigHit(kSyncMs[22], chord("Am"), 0.85f);
    bigHit(kSyncMs[23], chord("C"), 0.85f);
    fourOnFloor(s + 1, s + 28, 0.85f);
    backbeat(s, s + 28, 0.4f, 0.2f);
    hats(s, s + 28, 0.15f, true, true);
    bassRun(s, prog, BassStyle::Rolling, 0.25f);
    padRun(s, prog, 4, 0.11f, 1800.0f, 2600.0f);
    melody(s, kThemeA, Lead::Saw, 0.2f);
    // Break (5 beats): the G chord hangs, the roll and the sweep build.
    SawTone t = padTone(1500.0f, 0.2f);
    t.cutoffTo = 5000.0f;
    t.cutoffTime = secs(s + 28, 5);
    pad(s + 28, 5, chord("G"), t, 0.08f);
    subNote(s + 28, 5, 31, 0.18f, 0.1f);
    snareRoll(s + 29, s + 33, 0.1f, 0.42f);
    riserTo(s + 28, s + 33, 0.26f);
    reverseCrashInto(s + 33, 3, 0.35f);
  }

  void stabs() {
    const double s = 97;
    const std::vector<const char*> prog = {"Dm", "Am", "F", "G", "Dm", "Am", "F", "E"};
    // The break's sweep ends on a bare kick; the cymbal and the boom wait for
    // the first flash on the off-beat.
    fourOnFloor(s, s + 32, 0.88f);
    crashAt(s + 0.5, 0.32f);
    impactAt(sampleOfMs(kSyncMs[24]), 0.45f);
    backbeat(s, s + 32, 0.36f, 0.0f);
    hats(s + 1, s + 32, 0.15f, true, false);
    bassRun(s, prog, BassStyle::Rolling, 0.25f);
    padRun(s, prog, 4, 0.08f, 2000.0f, 3000.0f);
    arpRun(s, prog, 0.25, 0.06f, 0.8f, 24.0f);
    for (int k = 0; k < 16; ++k) offbeatHit(kSyncMs[24 + k], chord(prog[k / 2]), k);
    tomFill(s + 32, 0.3f, 1);  // after the last flash
  }

  void talkingVerse() {
    const double s = 129;
    const std::vector<const char*> progA = {"Am", "G", "F", "E", "Am", "G", "F", "E"};
    const std::vector<const char*> progB = {"F", "G", "Em", "Am", "F", "G", "Em", "Am"};
    crashAt(s, 0.28f);
    impactAt(at(s), 0.35f);
    // First half: lean drums, bouncing bass, the voice talking.
    fourOnFloor(s, s + 32, 0.75f, 0.45f);
    backbeat(s, s + 32, 0.0f, 0.42f);
    hats(s, s + 32, 0.1f, true, false);
    bassRun(s, progA, BassStyle::Octave, 0.24f);
    padRun(s + 16, {"Am", "G", "F", "E"}, 4, 0.09f, 700.0f, 1400.0f, 0.6f);
    melody(s, kTalkA, Lead::Talk, 0.22f);
    // The answer climbs in its second half instead of falling back.
    std::vector<Note> answer(kTalkA.begin(), kTalkA.begin() + 8);
    const std::vector<Note> climb = {{8.5, .5, 60},  {9, .5, 65},  {9.5, 1.25, 69},  {11, .75, 67},
                                     {12.5, .5, 59}, {13, .5, 64}, {13.5, 1.5, 68}, {15, .5, 71}};
    answer.insert(answer.end(), climb.begin(), climb.end());
    melody(s + 16, answer, Lead::Talk, 0.22f);
    // Second half: new chords, claps and open hats, arpeggio and a bell answer.
    crashAt(s + 32, 0.26f);
    fourOnFloor(s + 32, s + 64, 0.85f);
    backbeat(s + 32, s + 60, 0.36f, 0.3f);
    hats(s + 32, s + 64, 0.14f, true, true);
    bassRun(s + 32, progB, BassStyle::Offbeat, 0.26f);
    padRun(s + 32, progB, 4, 0.1f, 1400.0f, 2600.0f);
    arpRun(s + 40, {"F", "G", "Em", "Am", "F", "G"}, 0.25, 0.06f, 0.6f);
    melody(s + 32, kTalkB, Lead::Talk, 0.2f);
    melody(s + 48, kTalkB, Lead::Talk, 0.18f, 12);
    melody(s + 48, {{0, 2, 81}, {2, 2, 77}, {4, 2, 79}, {6, 2, 74}, {8, 2, 76}, {10, 2, 71}, {12, 4, 72}}, Lead::Bell,
           0.12f, 0, 0.3f);
    snareRoll(s + 60, s + 64, 0.1f, 0.35f);
    riserTo(s + 58, s + 64, 0.2f);
  }

  void acidSection() {
    const double s = 193;
    swing_ = 0.0;  // the acid line runs dead straight, and so does the rest
    crashAt(s, 0.3f);
    impactAt(at(s), 0.45f);
    fourOnFloor(s, s + 32, 0.88f);
    backbeat(s, s + 32, 0.38f, 0.0f);
    hats(s, s + 32, 0.15f, true, true);
    padRun(s, {"Am", "Am", "F", "F", "Am", "Am", "G", "G"}, 4, 0.07f, 900.0f, 2000.0f, 0.8f);
    // 16-step pattern in steps of the A-minor scale above the bar's root
    // (7 = octave), kRest = rest.
    const int kRest = -99;
    static const int kNotes[16] = {0, 0, 7, 0, 2, kRest, 9, 7, 0, 4, 0, 6, 7, kRest, 2, 3};
    static const bool kAccent[16] = {1, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0};
    static const bool kSlide[16] = {0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0};
    static const int kRoot[8] = {45, 45, 41, 41, 45, 45, 43, 43};  // A2 A2 F2 F2 A2 A2 G2 G2
    std::vector<AcidStep> steps;
    for (int i = 0; i < 32 * 4; ++i) {
      double b = s + 0.25 * i;
      if (!live(b)) break;
      float x = i / 128.0f;
      // The filter "boils": rising over the section with a bubbling wobble.
      float cutoff = 180.0f * std::pow(9.0f, x) * (1.0f + 0.35f * std::sin(static_cast<float>(2 * kPi) * x * 6.0f));
      int n = kNotes[i % 16];
      AcidStep st{at(b), at(b + 0.25) - at(b), n == kRest ? -1.0f : static_cast<float>(scaleStep(kRoot[i / 16], n)),
                  kAccent[i % 16], kSlide[i % 16], cutoff};
      steps.push_back(st);
    }
    if (!steps.empty()) mix_.add(Bus::Music, steps.front().at, acid(steps, 5.5f), 0.14f, 0.0f, {0.12f, 0.2f});
    for (int bar = 0; bar < 8; ++bar) subNote(s + 4 * bar, 3.9, kRoot[bar] - 12, 0.1f, 0.01f);
    tomFill(s + 32, 0.4f);
  }

  void drive() {
    const double s = 225;
    swing_ = 0.035;
    const std::vector<const char*> prog = {"F", "G", "Am", "Am", "F", "G", "C", "E"};
    crashAt(s, 0.3f);
    impactAt(at(s), 0.4f);
    fourOnFloor(s, s + 31, 0.88f);
    backbeat(s, s + 30, 0.38f, 0.15f);
    hats(s, s + 31, 0.16f, true, false);
    rides(s, s + 30, 0.07f);
    bassRun(s, prog, BassStyle::Rolling, 0.25f);
    padRun(s, prog, 4, 0.1f, 2200.0f, 900.0f);
    arpRun(s, prog, 0.25, 0.07f, 0.9f);
    melody(s, kThemeB, Lead::Saw, 0.2f);
    // The floor drops away for the breakdown.
    reverseCrashInto(s + 32, 2, 0.3f);
  }

  void breakdown() {
    const double s = 257;
    // Bars 1-8: pads, the main theme slowed down on bells, a heartbeat.
    impactAt(at(s), 0.35f);
    crashAt(s, 0.22f);
    const std::vector<const char*> progA = {"Am7", "Am7", "Fmaj7", "Fmaj7", "C", "C", "G", "G"};
    for (int bar = 0; bar < 8; ++bar) {
      SawTone t = padTone(1500.0f, bar % 2 ? 0.05f : 1.2f);
      t.release = 1.2f;
      if (bar % 2 == 0) pad(s + 4 * bar, 8, chord(progA[bar]), t, 0.075f);
    }
    // Heartbeat: a soft kick and a throb of sub bass on every beat.
    for (double b = s; b < s + 32; b += 1.0) {
      bool strong = std::fmod(b - s, 2.0) < 1e-9;
      drum(soft_, b, strong ? 0.85f : 0.65f);
      mix_.duck(at(b), strong ? 0.7f : 0.6f);
      subNote(b, 0.55, chord(progA[static_cast<int>((b - s) / 4)]).bass, strong ? 0.16f : 0.12f, 0.01f);
    }
    std::vector<Note> half(kThemeA.begin(), kThemeA.begin() + 17);  // bars 1-4 of the theme
    melody(s, half, Lead::Bell, 0.22f, 0, -0.1f, 2.0);
    melody(s + 1.5, half, Lead::Bell, 0.05f, 12, 0.5f, 2.0);  // a faint echo an octave up
    // Bars 9-12: the second theme on bells, arpeggio, kick on every beat.
    const std::vector<const char*> progB = {"F", "G", "Am", "Am"};
    padRun(s + 32, progB, 4, 0.08f, 1500.0f, 2500.0f, 0.4f);
    bassRun(s + 32, progB, BassStyle::Held, 0.21f);
    for (double b = s + 32; b < s + 48; b += 1.0) {
      drum(soft_, b, 0.7f);
      mix_.duck(at(b), 0.65f);
    }
    hats(s + 36, s + 48, 0.08f, false, false);
    std::vector<Note> themeB(kThemeB.begin(), kThemeB.begin() + 20);
    melody(s + 32, themeB, Lead::Bell, 0.2f);
    arpRun(s + 40, {"Am", "Am"}, 0.5, 0.06f, 0.4f);
    // Bars 13-16: the build.
    const std::vector<const char*> progC = {"F", "G", "E", "E"};
    padRun(s + 48, progC, 4, 0.09f, 1200.0f, 6000.0f, 0.1f);
    bassRun(s + 48, progC, BassStyle::Offbeat, 0.23f);
    fourOnFloor(s + 48, s + 63, 0.7f, 0.5f);
    hats(s + 48, s + 63, 0.12f, true, false);
    arpRun(s + 48, progC, 0.25, 0.07f, 0.6f);
    snareRoll(s + 52, s + 63.5, 0.06f, 0.45f);
    riserTo(s + 52, s + 64, 0.28f);
    reverseCrashInto(s + 64, 4, 0.35f);
  }

  void drop() {
    const double s = 321;
    const std::vector<const char*> prog = {"Am", "F", "C", "G", "Am", "F", "C", "G"};
    bigHit(148800, chord("Am"), 1.05f);
    crashAt(s + 16, 0.28f);
    fourOnFloor(s + 1, s + 32, 0.9f);
    backbeat(s, s + 32, 0.42f, 0.18f);
    hats(s, s + 32, 0.16f, true, true);
    bassRun(s, prog, BassStyle::Rolling, 0.26f);
    padRun(s, prog, 4, 0.12f, 2500.0f, 3500.0f);
    arpRun(s, prog, 0.25, 0.06f, 0.8f);
    melody(s, kThemeA, Lead::Saw, 0.22f);
    melody(s, kThemeA, Lead::Saw, 0.08f, 12, 0.35f);
    tomFill(s + 32, 0.45f);
  }

  void chorusB() {
    const double s = 353;
    const std::vector<const char*> prog = {"F", "G", "Am", "Am", "F", "G", "C", "E"};
    crashAt(s, 0.3f);
    impactAt(at(s), 0.4f);
    crashAt(s + 16, 0.26f);
    // Lighter, more open drums than the drop: snare instead of clap, open
    // hats on the off-beats and a ride, no busy sixteenths.
    fourOnFloor(s, s + 32, 0.88f);
    backbeat(s, s + 32, 0.0f, 0.45f);
    hats(s, s + 32, 0.13f, false, true);
    rides(s, s + 32, 0.1f);
    bassRun(s, prog, BassStyle::Octave, 0.25f);
    // The pad is chopped into a rhythm instead of the arpeggio.
    gatedPad(s, prog, 0xB6DA, 0.2f, 3200.0f);
    padRun(s, prog, 4, 0.05f, 1200.0f, 1600.0f);
    melody(s, kThemeB, Lead::Saw, 0.21f);
    melody(s, kThemeB, Lead::Bell, 0.1f, 12, 0.4f);
    tomFill(s + 16, 0.4f);
    tomFill(s + 32, 0.45f);
  }

  void finale() {
    const double s = 385;
    transpose_ = 2;  // B minor: the lift of the last chorus
    const std::vector<const char*> prog = {"Am", "F", "C", "G", "Am", "F", "G", "E"};
    crashAt(s, 0.34f);
    impactAt(at(s), 0.45f);
    crashAt(s + 16, 0.28f);
    fourOnFloor(s, s + 30, 0.92f);
    backbeat(s, s + 30, 0.42f, 0.2f);
    hats(s, s + 30, 0.16f, true, true);
    rides(s, s + 28, 0.06f);
    bassRun(s, prog, BassStyle::Rolling, 0.26f);
    padRun(s, prog, 4, 0.13f, 2800.0f, 4000.0f);
    arpRun(s, prog, 0.25, 0.06f, 0.85f);
    // Theme A, its last two bars rewritten for G and E, with a third below.
    std::vector<Note> theme(kThemeA.begin(), kThemeA.begin() + 27);
    const std::vector<Note> ending = {{24, 1, 79}, {25, 1, 74}, {26, 1, 71}, {27, 1, 74},
                                      {28, 1, 76}, {29, 1, 80}, {30, 2, 83}};
    theme.insert(theme.end(), ending.begin(), ending.end());
    melody(s, theme, Lead::Saw, 0.21f);
    std::vector<Note> harmony = thirdBelow(theme);
    // Over the E major bar the scale's thirds would clash with G#: chord tones.
    harmony[harmony.size() - 3].note = 71;
    harmony[harmony.size() - 2].note = 76;
    harmony.back().note = 80;
    melody(s, harmony, Lead::Saw, 0.1f, 0, 0.4f);
    snareRoll(s + 28, s + 32, 0.12f, 0.45f);
    reverseCrashInto(s + 32, 2, 0.3f);
  }

  void coda() {
    const double s = 417;
    transpose_ = 2;
    // Resolution to B major (the major third of the tonic is the surprise).
    bigHit(193700, chord("A"), 1.0f);
    SawTone t = padTone(3000.0f, 0.01f);
    t.cutoffTo = 900.0f;
    t.cutoffTime = secs(s, 4);
    pad(s, 4, chord("A"), t, 0.09f);
    pad(s + 4, 2, chord("F"), padTone(1300.0f, 0.15f), 0.08f);
    pad(s + 6, 2, chord("G"), padTone(1300.0f, 0.15f), 0.08f);
    SawTone last = padTone(1600.0f, 0.2f);
    last.cutoffTo = 500.0f;
    last.cutoffTime = 4.5f;
    last.release = 1.5f;
    pad(s + 8, 5, chord("A"), last, 0.09f);
    subNote(s, 4, 33, 0.18f, 0.01f);
    subNote(s + 4, 2, 41, 0.16f, 0.05f);
    subNote(s + 6, 2, 31, 0.16f, 0.05f);
    subNote(s + 8, 6, 33, 0.17f, 0.1f);
    for (int i = 1; i < 4; ++i) {
      drum(soft_, s + i, 0.55f - 0.12f * i);
      mix_.duck(at(s + i), 0.2f);
    }
    drum(soft_, s + 8, 0.5f);
    melody(s, {{0, 2, 73}, {2, 2, 71}, {4, 2, 72}, {6, 2, 74}, {8, 5, 73}}, Lead::Saw, 0.18f);
    // Bells spell out the last chord as it fades.
    melody(s + 8, {{0, 3, 69}, {0.5, 3, 73}, {1, 3, 76}, {1.5, 3, 81}, {3, 3, 85}}, Lead::Bell, 0.13f, 0, 0.2f);
    crashAt(s + 8, 0.15f);
  }

  Mixer& mix_;
  TempoMap map_;
  std::function<void(float)> progress_;
  int transpose_ = 0;
  double swing_ = 0.035;
  Voice kick_, kickHard_, soft_, clap_[3], snare_[3], hatC_[4], hatO_[2], ride_, impact_, tom_[3];
  VoiceSt crash_, crashShort_;
};

}  // namespace

Stereo renderSong(double seconds, const std::function<void(float)>& progress) {
  if (seconds <= 0 || seconds > kSongSeconds) seconds = kSongSeconds;
  const size_t n = static_cast<size_t>(seconds * kRate);
  Mixer mix(n);
  Song song(mix, [&](float f) { progress(0.7f * f); });
  song.render();
  Stereo out = mix.master(-8.0f, [&](float f) { progress(0.7f + 0.3f * f); });
  // Fade the coda's tail to silence before the file ends (201.5 s to 204.5 s).
  const size_t fadeFrom = static_cast<size_t>(201.5 * kRate), fadeTo = static_cast<size_t>(204.5 * kRate);
  for (size_t i = fadeFrom; i < n; ++i) {
    float g = i >= fadeTo ? 0.0f : 1.0f - static_cast<float>(i - fadeFrom) / (fadeTo - fadeFrom);
    out.l[i] *= g * g;
    out.r[i] *= g * g;
  }
  return out;
}

}  // namespace musicgen
