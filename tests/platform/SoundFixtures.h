// The sound tests' MP3 files, encoded on first use into the scratch folder
// (DEMO_TEST_TMP) by libmp3lame, and damaged copies of them.
//
// Glossary: a sample is one value of one channel; a frame is one sample of
// every channel at one instant.
// Deliberately not done: keeping any of these files in git.
#pragma once

#include <string>
#include <vector>

namespace fixtures {

constexpr int kRate = 44100;
constexpr int kToneBand = 10; // band centred on 3445.3 Hz at 44.1 kHz
constexpr int kOnsetFrames = 2 * kRate;

// 1 s of silence, then 1 s of a full-scale sine centred in band kToneBand:
// stereo, 44.1 kHz, 320 kbps (at lower rates LAME's quantiser takes a few
// per cent off a pure tone's level).
const std::string& onsetTrack();
// The PCM that went into onsetTrack (interleaved stereo).
const std::vector<float>& onsetPcm();
// 1 s of a full-scale sine centred in band 20 of a mono 32 kHz track.
const std::string& monoTrack();
// 1 s of silence, stereo, 44.1 kHz.
const std::string& silentTrack();

// Writes `bytes` to the scratch file `name`; returns its path.
std::string writeFile(const std::string& name, const std::string& bytes);
// The first `fraction` of `source`'s bytes (cut inside a frame) as `name`.
std::string truncatedCopy(const std::string& source, const std::string& name, double fraction);
// `source` with two stretches in the middle overwritten, one with zeros, one
// with pseudo-random bytes, as `name`.
std::string damagedCopy(const std::string& source, const std::string& name);
// Bytes of a file ("" if unreadable).
std::string readFile(const std::string& path);

} // namespace fixtures
