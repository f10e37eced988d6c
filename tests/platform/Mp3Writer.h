// Test and benchmark support: real MP3 files made on the spot with libmp3lame
// (so no fixture lives in git), and the signals that go into them.
//
// Glossary: a sample is one value of one channel; a frame is one sample of
// every channel at one instant. PCM is float, interleaved, within [-1, 1].
// The files carry LAME's length tag, so a gapless decoder gives back exactly
// the frames that went in.
// Deliberately not done: variable bit rate, ID3 tags.
#pragma once

#include <string>
#include <vector>

namespace mp3test {

// Encodes `pcm` (interleaved, `channels` per frame) at `rate` into `path`
// (constant `kbps`). False, with the reason on stderr, on failure.
bool writeMp3(const std::string& path, const std::vector<float>& pcm, int rate, int channels, int kbps = 128);

// `seconds` of a sine of `hz` at `amplitude`, the same in every channel.
std::vector<float> sine(double hz, double amplitude, double seconds, int rate, int channels);
// `seconds` of silence.
std::vector<float> silence(double seconds, int rate, int channels);
// `a` followed by `b`.
std::vector<float> concat(std::vector<float> a, const std::vector<float>& b);

// Path of `name` in the tests' scratch folder (DEMO_TEST_TMP, else /tmp).
std::string scratchPath(const std::string& name);

} // namespace mp3test
