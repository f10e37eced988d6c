// The 64-band magnitude spectrum of the music: the one computation behind the
// live sound layer (Sound.cpp) and the device-free TrackReader, so that a
// spectrum read offline at a track position equals the one heard live there.
//
// Glossary: a sample is one value of one channel; a frame is one sample of
// every channel at one instant. The window is the mono mix (mean of the
// channels) of kSpectrumWindow consecutive frames, oldest first.
//
// Bands: band k is centred on k * rate / 128 Hz and is rate / 128 Hz wide,
// lowest band first; band 0 holds the DC offset, the Nyquist bin is dropped.
// Window: rectangular (no taper). Normalisation: a full-scale sine centred in
// band k (k >= 1) reads 1.0 in band k, a full-scale DC offset reads 1.0 in
// band 0. The FFT is kissfft's real transform.
//
// Threads: any thread may call these; each thread keeps its own FFT plan.
// Deliberately not done: tapering, averaging over time, decibels.
#pragma once

namespace platform {

constexpr int kSpectrumBands = 64;
constexpr int kSpectrumWindow = 2 * kSpectrumBands; // frames per spectrum

// Writes kSpectrumBands magnitudes of the window `mono` (kSpectrumWindow
// values) into `out`.
void computeSpectrum(const float* mono, float* out);

// Centre frequency in Hz of band `band` for a track at `rate` frames per second.
double spectrumBandHz(int band, int rate);

// Mixes `frames` interleaved frames of `channels` channels into `frames`
// mono values (the mean of the channels).
void mixToMono(const float* interleaved, int frames, int channels, float* mono);

} // namespace platform
