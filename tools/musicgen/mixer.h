// The mixing desk of the soundtrack generator: three stereo buses (drums,
// ducked music, lead), reverb and delay sends, a kick-driven sidechain duck
// and the master limiter that keeps peaks below -1 dBFS.
// Relies on dsp.h; single-threaded and deterministic.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "dsp.h"
#include "instruments.h"

namespace musicgen {

enum class Bus { Drums, Music, Lead };

struct Send {
  float reverb = 0.0f;  // linear send level
  float delay = 0.0f;
};

class Mixer {
 public:
  explicit Mixer(size_t samples);
  size_t size() const { return duck_.size(); }

  // Adds a mono voice starting at sample `at` (voices running past the end are cut).
  void add(Bus bus, size_t at, const Voice& v, float gain, float pan, Send send = {});
  void add(Bus bus, size_t at, const VoiceSt& v, float gain, Send send = {});
  // The music bus dips by `depth` (0..1) after `at` and recovers over ~one beat:
  // the pumping that makes kick and bass breathe together. With aheadSec > 0
  // it already dips that long before `at`, clearing room for an accent.
  void duck(size_t at, float depth, float aheadSec = 0.0f);

  // Sums buses and effects, applies the master gain and limiter. Consumes the
  // mixer: call once, last. progress(fraction) is called as the work advances.
  Stereo master(float gainDb, const std::function<void(float)>& progress);

 private:
  Stereo drums_, music_, lead_;
  // The reverb and the echo take a mono input, so their sends are mono.
  std::vector<float> reverbSend_, delaySend_;
  std::vector<float> duck_;  // gain multiplier for the music bus, per sample
};

}  // namespace musicgen
