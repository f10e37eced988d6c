// Tests of the generated soundtrack, run on the real demosong.mp3 decoded with
// libmpg123: its length, headroom, a clear onset on every flash of the
// opening scenes (the program's own sync points), a low band that pulses with the beat at 129 BPM,
// moving mid bands, a change of section at every scene cut, the resolution
// at the end, and byte-identical output from two runs of the generator.
// Relies on DEMO_DATA_DIR (the folder with demosong.mp3), DEMO_TEST_TMP
// (scratch) and the musicgen path compiled in as MUSICGEN_PATH.
#include "app/Timeline.h"
#include "scenes/SceneTable.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

std::string envOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

struct Pcm {
  std::vector<float> l, r, mono;
  bool ok = false;
  std::string error;
};

Pcm decode(const std::string& path) {
  Pcm pcm;
  int err = MPG123_OK;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  if (!mh) {
    pcm.error = "mpg123_new failed";
    return pcm;
  }
  mpg123_format_none(mh);
  mpg123_format(mh, kRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
  if (mpg123_open(mh, path.c_str()) != MPG123_OK) {
    pcm.error = "cannot open " + path;
    mpg123_delete(mh);
    return pcm;
  }
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate != kRate || channels != 2 ||
      encoding != MPG123_ENC_FLOAT_32) {
    pcm.error = "unexpected stream format";
  } else {
    std::vector<float> buf(1152 * 2 * 16);
    for (;;) {
      size_t got = 0;
      int rc = mpg123_read(mh, reinterpret_cast<unsigned char*>(buf.data()), buf.size() * sizeof(float), &got);
      for (size_t i = 0; i + 1 < got / sizeof(float); i += 2) {
        pcm.l.push_back(buf[i]);
        pcm.r.push_back(buf[i + 1]);
        pcm.mono.push_back(0.5f * (buf[i] + buf[i + 1]));
      }
      if (rc == MPG123_DONE) break;
      if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) {
        pcm.error = mpg123_strerror(mh);
        break;
      }
    }
    pcm.ok = pcm.error.empty();
  }
  mpg123_close(mh);
  mpg123_delete(mh);
  return pcm;
}

// Energy-flux onset detector, evaluated every millisecond on the mono mix.
// The flux is the jump in dB from the mean power of the preceding 20 ms to
// that of the next 5 ms; an onset is a local maximum of it (within 10 ms) of
// at least 3 dB where the sound is louder than -45 dBFS. Its size is the
// power it gains over the following 15 ms, to rank loud hits above soft ticks.
struct Onset {
  double ms;
  double jumpDb;
  double rise;  // power increase, full scale = 1
};

std::vector<Onset> detectOnsets(const std::vector<float>& x) {
  std::vector<double> cum(x.size() + 1, 0.0);
  for (size_t i = 0; i < x.size(); ++i) cum[i + 1] = cum[i] + static_cast<double>(x[i]) * x[i];
  const size_t hop = kRate / 1000, ahead = 5 * hop, behind = 20 * hop;
  const double floorPower = std::pow(10.0, -45.0 / 10.0);
  std::vector<double> next, prev, jump;
  for (size_t t = behind; t + ahead < x.size(); t += hop) {
    next.push_back((cum[t + ahead] - cum[t]) / ahead);
    prev.push_back((cum[t] - cum[t - behind]) / behind);
    jump.push_back(next.back() > floorPower ? 10 * std::log10(next.back() / (prev.back() + 1e-12)) : 0.0);
  }
  std::vector<Onset> onsets;
  for (size_t i = 0; i < jump.size(); ++i) {
    if (jump[i] < 3.0) continue;
    bool peak = true;
    for (size_t j = (i > 10 ? i - 10 : 0); j <= std::min(jump.size() - 1, i + 10) && peak; ++j)
      peak = jump[j] < jump[i] || (jump[j] == jump[i] && j >= i);
    if (!peak) continue;
    double loudest = 0;
    for (size_t j = i; j <= std::min(next.size() - 1, i + 15); ++j) loudest = std::max(loudest, next[j]);
    onsets.push_back({(behind + i * hop) * 1000.0 / kRate, jump[i], loudest - prev[i]});
  }
  return onsets;
}

// Power of spectrum bands 0..6 (bin k of a 128-sample DFT, 344.5 Hz apart)
// of the mono mix, per non-overlapping 128-sample frame.
std::vector<std::vector<double>> bandPower(const std::vector<float>& x) {
  const int n = 128, bands = 7;
  std::vector<double> c(n * bands), s(n * bands);
  for (int k = 0; k < bands; ++k)
    for (int i = 0; i < n; ++i) {
      c[k * n + i] = std::cos(2 * kPi * k * i / n);
      s[k * n + i] = std::sin(2 * kPi * k * i / n);
    }
  std::vector<std::vector<double>> out(bands);
  for (size_t f = 0; f + n <= x.size(); f += n) {
    for (int k = 0; k < bands; ++k) {
      double re = 0, im = 0;
      for (int i = 0; i < n; ++i) {
        re += x[f + i] * c[k * n + i];
        im += x[f + i] * s[k * n + i];
      }
      out[k].push_back((re * re + im * im) / (n * n));
    }
  }
  return out;
}

// Mean power spectrum (bins 0 to n/2) of Hann-windowed n-sample frames of a
// stretch of the signal; n a power of two.
std::vector<double> meanSpectrum(const std::vector<float>& x, double fromMs, double toMs, size_t n) {
  std::vector<double> power(n / 2 + 1, 0.0);
  size_t a = static_cast<size_t>(fromMs * kRate / 1000), b = static_cast<size_t>(toMs * kRate / 1000);
  int frames = 0;
  for (size_t f = a; f + n <= b && f + n <= x.size(); f += n, ++frames) {
    // Iterative radix-2 FFT.
    std::vector<double> re(n), im(n, 0.0);
    for (size_t i = 0; i < n; ++i) re[i] = x[f + i] * (0.5 - 0.5 * std::cos(2 * kPi * i / n));
    for (size_t i = 1, j = 0; i < n; ++i) {
      size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(re[i], re[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
      double ang = -2 * kPi / len;
      for (size_t i = 0; i < n; i += len)
        for (size_t k = 0; k < len / 2; ++k) {
          double wr = std::cos(ang * k), wi = std::sin(ang * k);
          double ur = re[i + k], ui = im[i + k];
          double vr = re[i + k + len / 2] * wr - im[i + k + len / 2] * wi;
          double vi = re[i + k + len / 2] * wi + im[i + k + len / 2] * wr;
          re[i + k] = ur + vr;
          im[i + k] = ui + vi;
          re[i + k + len / 2] = ur - vr;
          im[i + k + len / 2] = ui - vi;
        }
    }
    for (size_t k = 0; k <= n / 2; ++k) power[k] += re[k] * re[k] + im[k] * im[k];
  }
  for (double& p : power) p /= std::max(frames, 1);
  return power;
}

// Spectral fingerprint of a stretch of the mono mix: the mean level in dB of
// 52 bands a sixth of an octave wide (two semitones, so chord changes show)
// from 40 Hz to 16 kHz.
std::vector<double> fingerprint(const std::vector<float>& x, double fromMs, double toMs) {
  const size_t n = 2048;
  const int bands = 52;
  std::vector<double> spectrum = meanSpectrum(x, fromMs, toMs, n), power(bands, 0.0);
  for (size_t k = 1; k < n / 2; ++k) {
    double hz = static_cast<double>(k) * kRate / n;
    int band = static_cast<int>(std::floor(std::log(hz / 40.0) / std::log(400.0) * bands));
    if (band >= 0 && band < bands) power[band] += spectrum[k];
  }
  for (double& p : power) p = 10 * std::log10(p + 1e-12);
  return power;
}

// Root-mean-square difference of two fingerprints, in dB.
double distanceDb(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(s / a.size());
}

class MusicTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    song_ = new Pcm(decode(envOr("DEMO_DATA_DIR", ".") + "/demosong.mp3"));
  }
  static void TearDownTestSuite() {
    delete song_;
    song_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(song_->ok) << song_->error; }
  static Pcm* song_;
};
Pcm* MusicTest::song_ = nullptr;

TEST_F(MusicTest, LastsAboutTwoHundredAndFiveSeconds) {
  double seconds = static_cast<double>(song_->l.size()) / kRate;
  EXPECT_GE(seconds, 201.0);
  EXPECT_LE(seconds, 210.0);
}

TEST_F(MusicTest, PeaksStayBelowMinusOneDecibel) {
  float peak = 0;
  for (size_t i = 0; i < song_->l.size(); ++i) peak = std::max({peak, std::fabs(song_->l[i]), std::fabs(song_->r[i])});
  EXPECT_LT(peak, std::pow(10.0f, -1.0f / 20.0f)) << "peak " << 20 * std::log10(peak) << " dBFS";
  EXPECT_GT(peak, std::pow(10.0f, -6.0f / 20.0f)) << "the track is needlessly quiet";
}

TEST_F(MusicTest, SoundsUntilTheDemoEndsThenFades) {
  auto rmsDb = [&](double fromS, double toS) {
    size_t a = static_cast<size_t>(fromS * kRate), b = std::min(song_->mono.size(), static_cast<size_t>(toS * kRate));
    double e = 0;
    for (size_t i = a; i < b; ++i) e += static_cast<double>(song_->mono[i]) * song_->mono[i];
    return 10 * std::log10(e / std::max<size_t>(b - a, 1) + 1e-20);
  };
  EXPECT_GT(rmsDb(200.5, 201.0), -45.0);
  EXPECT_LT(rmsDb(204.6, 205.0), -70.0);
}

// The picture flashes where the program's getSyncFloat() jumps up (a sync
// point just passed): found by running its music clock through the opening
// minute in 1 ms steps, each flash must land on a clear accent of the track.
TEST_F(MusicTest, EveryFlashOfThePictureLandsOnAnAccent) {
  syncCount = countSyncs();
  std::vector<double> flashes;
  float before = 0;
  for (int ms = 0; ms < sceneEndMs(6); ++ms) {
    demoMS = static_cast<float>(ms);
    const float now = getSyncFloat();
    if (now > before + 0.5f) flashes.push_back(ms);
    before = now;
  }
  ASSERT_EQ(flashes.size(), static_cast<size_t>(kSyncPointCount));
  std::vector<Onset> onsets = detectOnsets(song_->mono);
  for (double sync : flashes) {
    const Onset* hit = nullptr;
    for (const Onset& o : onsets)
      if (std::fabs(o.ms - sync) <= 15.0 && (!hit || o.rise > hit->rise)) hit = &o;
    ASSERT_NE(hit, nullptr) << "no onset within 15 ms of " << sync << " ms";
    // A clear accent: the power jumps by 6 dB or more, and it is among the
    // biggest third of the onsets in the second around it.
    std::vector<double> around;
    for (const Onset& o : onsets)
      if (std::fabs(o.ms - sync) < 1000.0) around.push_back(o.rise);
    std::sort(around.begin(), around.end());
    double upperThird = around[around.size() * 2 / 3];
    EXPECT_GE(hit->jumpDb, 6.0) << "weak accent at " << sync << " ms";
    EXPECT_GE(hit->rise, upperThird) << "accent at " << sync << " ms drowns among its neighbours";
  }
}

// Two-bar windows: the band-0 power, smoothed over 20 ms, should swing from
// trough to crest within each beat and crest at the same point of every beat.
TEST_F(MusicTest, LowBandPulsesWithTheBeat) {
  std::vector<std::vector<double>> bands = bandPower(song_->mono);
  const double frameMs = 128.0 * 1000.0 / kRate;
  const int smooth = 7;  // frames, ~20 ms
  std::vector<double> low(bands[0].size(), 0.0);
  for (size_t i = smooth; i < low.size(); ++i) {
    double e = 0;
    for (int j = 0; j < smooth; ++j) e += bands[0][i - j];
    low[i] = e / smooth;
  }
  const int beatFrames = static_cast<int>(465.0 / frameMs + 0.5);
  int windows = 0, pulsing = 0;
  std::string weak;
  // Two-bar windows from the first groove to the coda.
  for (double startMs = 14800; startMs + 3720 <= 193700; startMs += 3720) {
    size_t a = static_cast<size_t>(startMs / frameMs), b = static_cast<size_t>((startMs + 3720) / frameMs);
    // Fold the level in dB at periods within 6 % of the beat: if it rises on
    // the beats, the folded profile has a crest well above its median.
    std::vector<double> db(low.begin() + a, low.begin() + b);
    for (double& d : db) d = 10 * std::log10(d + 1e-12);
    double bestFold = 0;
    for (int period = beatFrames * 94 / 100; period <= beatFrames * 106 / 100; ++period) {
      std::vector<double> sum(period, 0.0), count(period, 0.0);
      for (size_t i = 0; i < db.size(); ++i) {
        sum[i % period] += db[i];
        count[i % period] += 1;
      }
      std::vector<double> profile(period);
      for (int k = 0; k < period; ++k) profile[k] = sum[k] / count[k];
      double crest = *std::max_element(profile.begin(), profile.end());
      std::nth_element(profile.begin(), profile.begin() + period / 2, profile.end());
      bestFold = std::max(bestFold, crest - profile[period / 2]);
    }
    // Crest-to-trough ratio inside each beat of the window, then the median.
    std::vector<double> swings;
    for (size_t i = a; i + beatFrames <= b; i += beatFrames) {
      auto [lo, hi] = std::minmax_element(low.begin() + i, low.begin() + i + beatFrames);
      swings.push_back(*hi / (*lo + 1e-12));
    }
    std::sort(swings.begin(), swings.end());
    double swingDb = 10 * std::log10(swings[swings.size() / 2]);
    ++windows;
    if (bestFold > 6.0 && swingDb > 8.0) {
      ++pulsing;
    } else {
      weak += " " + std::to_string(static_cast<int>(startMs / 1000)) + "s(" + std::to_string(static_cast<int>(bestFold)) +
              "," + std::to_string(static_cast<int>(swingDb)) + "dB)";
    }
  }
  EXPECT_GE(pulsing, windows * 9 / 10) << pulsing << " of " << windows << " two-bar windows pulse; weak:" << weak;
}

// Bands 1-6 carry the snare body, chords and lead: each should be clearly
// present and keep moving (its level changing by several dB within a window).
TEST_F(MusicTest, MidBandsMoveWithTheMusic) {
  std::vector<std::vector<double>> bands = bandPower(song_->mono);
  const double frameMs = 128.0 * 1000.0 / kRate;
  for (int k = 1; k <= 6; ++k) {
    int windows = 0, moving = 0;
    for (double startMs = 14800; startMs + 3720 <= 193700; startMs += 3720) {
      size_t a = static_cast<size_t>(startMs / frameMs), b = static_cast<size_t>((startMs + 3720) / frameMs);
      std::vector<double> db;
      for (size_t i = a; i + 7 <= b; i += 7) {
        double e = 0;
        for (size_t j = i; j < i + 7; ++j) e += bands[k][j];
        db.push_back(10 * std::log10(e / 7 + 1e-20));
      }
      double mean = 0, var = 0;
      for (double d : db) mean += d;
      mean /= db.size();
      for (double d : db) var += (d - mean) * (d - mean);
      ++windows;
      if (mean > -70.0 && std::sqrt(var / db.size()) > 2.0) ++moving;
    }
    EXPECT_GE(moving, windows * 9 / 10) << "band " << k << ": " << moving << " of " << windows;
  }
}

// The music changes character where the picture cuts: the three seconds
// after each scene boundary differ clearly from the three before it, and the
// typical change at a cut is well above the typical change between two
// neighbouring stretches in the middle of a scene.
TEST_F(MusicTest, EachSceneCutStartsANewSection) {
  std::vector<double> cuts;
  for (int i = 0; i < kSceneCount; ++i) cuts.push_back(stretchStartMs(i));
  cuts.push_back(kDemoEndMs);
  auto change = [&](double at) {
    return distanceDb(fingerprint(song_->mono, at - 3200, at - 200), fingerprint(song_->mono, at + 200, at + 3200));
  };
  std::vector<double> atCuts, inside;
  for (size_t i = 1; i + 1 < cuts.size(); ++i) {
    double c = change(cuts[i]);
    EXPECT_GT(c, 2.0) << "little changes at the cut at " << cuts[i] << " ms";
    atCuts.push_back(c);
  }
  for (size_t i = 0; i + 1 < cuts.size(); ++i) inside.push_back(change(0.5 * (cuts[i] + cuts[i + 1])));
  std::sort(atCuts.begin(), atCuts.end());
  std::sort(inside.begin(), inside.end());
  double cutMedian = atCuts[atCuts.size() / 2], insideMedian = inside[inside.size() / 2];
  EXPECT_GT(cutMedian, 1.5 * insideMedian) << cutMedian << " dB at cuts, " << insideMedian << " dB inside scenes";
}

// The two long scenes develop: their last quarter sounds different from
// their first, so half a minute is not one loop.
TEST_F(MusicTest, LongScenesDevelop) {
  const double scenes[][2] = {{59600, 89300}, {119000, 148800}};
  for (const auto& s : scenes) {
    double quarter = (s[1] - s[0]) / 4;
    double d = distanceDb(fingerprint(song_->mono, s[0], s[0] + quarter), fingerprint(song_->mono, s[1] - quarter, s[1]));
    EXPECT_GT(d, 2.5) << "scene from " << s[0] << " ms ends as it began (" << d << " dB)";
  }
}

// The groove runs at 129 BPM: the rises of the low band (the kick) come a
// beat (465 ms) apart.
TEST_F(MusicTest, KickKeepsTheTempo) {
  std::vector<std::vector<double>> bands = bandPower(song_->mono);
  const double frameMs = 128.0 * 1000.0 / kRate;
  std::vector<double> db(bands[0].size(), -120.0);
  for (size_t i = 7; i < db.size(); ++i) {
    double e = 0;
    for (size_t j = i - 7; j < i; ++j) e += bands[0][j];
    db[i] = 10 * std::log10(e / 7 + 1e-12);
  }
  // A rise: 8 dB above the lowest level of the previous 30 ms, the largest
  // within 50 ms either side.
  std::vector<double> rise(db.size(), 0.0), onsetsMs;
  for (size_t i = 10; i < db.size(); ++i) rise[i] = db[i] - *std::min_element(db.begin() + i - 10, db.begin() + i);
  const size_t from = static_cast<size_t>(14800 / frameMs), to = static_cast<size_t>(193700 / frameMs), w = 17;
  for (size_t i = from; i < to; ++i) {
    if (rise[i] < 8.0) continue;
    if (*std::max_element(rise.begin() + i - w, rise.begin() + i + w + 1) == rise[i]) onsetsMs.push_back(i * frameMs);
  }
  ASSERT_GT(onsetsMs.size(), 200u);
  // Share of rises followed by another one `period` ms later (within 25 ms).
  auto followed = [&](double period) {
    size_t hits = 0;
    for (double t : onsetsMs)
      hits += std::any_of(onsetsMs.begin(), onsetsMs.end(), [&](double u) { return std::fabs(u - t - period) < 25.0; });
    return static_cast<double>(hits) / onsetsMs.size();
  };
  double beat = followed(465.0);
  EXPECT_GT(beat, 0.7);
  // ... and not at a neighbouring tempo (139 or 120 BPM).
  EXPECT_GT(beat, 5 * followed(430.0));
  EXPECT_GT(beat, 5 * followed(500.0));
}

// A stereo mix that still holds together in mono: the channels are alike
// but not identical, and balanced.
TEST_F(MusicTest, StereoIsWideButBalanced) {
  double ll = 0, rr = 0, lr = 0;
  for (size_t i = 0; i < song_->l.size(); ++i) {
    ll += static_cast<double>(song_->l[i]) * song_->l[i];
    rr += static_cast<double>(song_->r[i]) * song_->r[i];
    lr += static_cast<double>(song_->l[i]) * song_->r[i];
  }
  double correlation = lr / std::sqrt(ll * rr);
  EXPECT_GT(correlation, 0.5);
  EXPECT_LT(correlation, 0.98);
  EXPECT_LT(std::fabs(10 * std::log10(ll / rr)), 1.5);
}

// The ending resolves to B major: over the last chord the major third (D#)
// sounds clearly louder than the minor third (D), and the notes of the triad
// (B, D#, F#) carry most of the energy, overtones and all.
TEST_F(MusicTest, EndingResolvesToBMajor) {
  const size_t n = 8192;
  std::vector<double> spectrum = meanSpectrum(song_->mono, 199000, 201000, n), chroma(12, 0.0);
  for (size_t k = 1; k < n / 2; ++k) {
    double hz = static_cast<double>(k) * kRate / n;
    if (hz < 100 || hz > 2500) continue;
    int semis = static_cast<int>(std::lround(12 * std::log2(hz / 440.0)));
    chroma[((semis % 12) + 12) % 12] += spectrum[k];  // 0 = A
  }
  const int b = 2, d = 5, dSharp = 6, fSharp = 9;
  EXPECT_GT(chroma[dSharp], 4.0 * chroma[d]);
  double total = 0;
  for (double c : chroma) total += c;
  EXPECT_GT((chroma[b] + chroma[dSharp] + chroma[fSharp]) / total, 0.7) << "the last chord is not B major";
}

std::string readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

int runGenerator(const std::string& out, double seconds) {
  std::string cmd = std::string("\"") + MUSICGEN_PATH + "\" \"" + out + "\" --quiet";
  if (seconds > 0) cmd += " --seconds " + std::to_string(seconds);
  return std::system(cmd.c_str());
}

// Two runs of the generator over an excerpt write the same bytes, and the
// excerpt is the start of the built track (so the comparison stands for it).
TEST_F(MusicTest, TwoRunsWriteIdenticalBytes) {
  const std::string dir = envOr("DEMO_TEST_TMP", "/tmp");
  const std::string a = dir + "/music-excerpt-a.mp3", b = dir + "/music-excerpt-b.mp3";
  ASSERT_EQ(runGenerator(a, MUSICGEN_EXCERPT_SECONDS), 0);
  ASSERT_EQ(runGenerator(b, MUSICGEN_EXCERPT_SECONDS), 0);
  std::string bytesA = readAll(a), bytesB = readAll(b);
  ASSERT_GT(bytesA.size(), 1000u);
  EXPECT_TRUE(bytesA == bytesB) << "two renders of the same excerpt differ";
  Pcm excerpt = decode(a);
  ASSERT_TRUE(excerpt.ok) << excerpt.error;
  EXPECT_NEAR(static_cast<double>(excerpt.l.size()) / kRate, MUSICGEN_EXCERPT_SECONDS, 0.05);
  // The last second may differ: the encoder and limiter see a different end.
  const size_t n = static_cast<size_t>((MUSICGEN_EXCERPT_SECONDS - 1.0) * kRate);
  ASSERT_GE(excerpt.mono.size(), n);
  double signal = 0, diff = 0;
  for (size_t i = 0; i < n; ++i) {
    signal += static_cast<double>(song_->mono[i]) * song_->mono[i];
    diff += static_cast<double>(song_->mono[i] - excerpt.mono[i]) * (song_->mono[i] - excerpt.mono[i]);
  }
  EXPECT_LT(10 * std::log10(diff / signal + 1e-30), -40.0) << "the excerpt is not the start of the track";
  std::remove(a.c_str());
  std::remove(b.c_str());
}

#if MUSICGEN_FULL_CHECK
TEST_F(MusicTest, RegeneratingTheTrackReproducesTheBuiltFile) {
  const std::string out = envOr("DEMO_TEST_TMP", "/tmp") + "/music-full.mp3";
  ASSERT_EQ(runGenerator(out, 0), 0);
  std::string built = readAll(envOr("DEMO_DATA_DIR", ".") + "/demosong.mp3");
  ASSERT_FALSE(built.empty());
  EXPECT_TRUE(readAll(out) == built) << "the generator's output changed between runs";
  std::remove(out.c_str());
}
#endif

}  // namespace
