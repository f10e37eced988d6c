// The soundtrack's instruments: every drum, bass, pad, lead and effect sound
// is synthesized here from oscillators, noise, envelopes and filters (dsp.h).
// Each function renders one note or hit into a fresh buffer that the song
// code places on the timeline; nothing is sampled from outside.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp.h"

namespace musicgen {

using Voice = std::vector<float>;
struct VoiceSt {
  Voice l, r;
};

// ---- drums and effects -------------------------------------------------------
Voice kick(float punch, float decaySec, uint32_t seed);  // punch: pitch-drop depth 0..1
Voice softKick();                                        // round heartbeat thump for breakdowns
Voice snare(uint32_t seed);
Voice clap(uint32_t seed);
Voice hat(float decaySec, uint32_t seed);  // ~0.04 s closed, ~0.3 s open
VoiceSt crash(float decaySec, uint32_t seed);
Voice tom(float hz);
Voice impact(uint32_t seed);                     // low boom with a noisy edge
VoiceSt riser(float seconds, uint32_t seed);     // noise sweeping up, swelling
VoiceSt reverseCrash(float seconds, uint32_t seed);  // cymbal swelling into a downbeat

// ---- tonal voices ----------------------------------------------------------------
struct BassTone {
  float cutoff = 300.0f;  // Hz
  float envAmount = 4.0f;  // cutoff multiplier at the attack
  float envDecay = 0.08f;  // seconds
  float q = 1.0f;
  float sub = 0.45f;  // sine at the fundamental
  float drive = 1.5f;
};
Voice bass(float note, float seconds, const BassTone& tone);

// One 16th step of an acid line. The line is one continuous voice so slides
// glide between notes without retriggering.
struct AcidStep {
  size_t at;        // sample where the step starts
  size_t len;       // samples until the next step
  float note;       // MIDI; < 0 means rest
  bool accent;
  bool slide;       // glide into the next step instead of closing the gate
  float cutoff;     // base cutoff in Hz for this step (the section's sweep)
};
// Renders steps into a buffer that starts at steps.front().at.
Voice acid(const std::vector<AcidStep>& steps, float q);

struct SawTone {
  int voices = 5;         // detuned saws per note
  float detune = 0.15f;   // semitones between outermost voices / 2
  float attack = 0.01f;   // seconds
  float decay = 0.3f;     // seconds to settle at the sustain level
  float sustain = 1.0f;
  float release = 0.3f;
  float cutoffFrom = 3000.0f;  // Hz at the start, moving exponentially to cutoffTo
  float cutoffTo = 3000.0f;
  float cutoffTime = 1.0f;     // seconds for that move
  float q = 0.8f;
  float spread = 0.8f;  // stereo width 0..1
};
VoiceSt supersaw(const std::vector<float>& notes, float seconds, const SawTone& tone, uint32_t seed);

Voice pluck(float note, float seconds, float brightness, float decaySec);
struct LeadTone {
  float cutoff = 2600.0f;
  float envCutoff = 3000.0f;
  float vibrato = 0.12f;  // semitones
  float attack = 0.008f;
  float release = 0.18f;
  float square = 0.3f;  // square one octave down, for body
};
Voice lead(float note, float seconds, const LeadTone& tone);
// Vowel-filtered saw that "talks": vowel index 0..4 = a, e, i, o, u.
Voice talk(float note, float seconds, int vowelFrom, int vowelTo);
Voice bell(float note, float seconds);  // two-operator FM electric piano / bell
Voice sub(float note, float seconds, float attack);

}  // namespace musicgen
