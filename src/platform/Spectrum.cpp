// The 64-band spectrum: kissfft's real FFT of a 128-frame mono window,
// scaled so that a full-scale sine centred in a band reads 1.0 there.
// See Spectrum.h for the band layout. Each calling thread owns one FFT plan
// (kissfft keeps scratch space inside the plan, so plans are not shared).
#include "platform/Spectrum.h"

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// One thread's FFT plan, made on first use and freed when the thread ends.
struct Plan {
    kiss_fftr_cfg cfg = kiss_fftr_alloc(kSpectrumWindow, 0, nullptr, nullptr);
    ~Plan() { kiss_fftr_free(cfg); }
};

} // namespace

void computeSpectrum(const float* mono, float* out) {
    thread_local Plan plan;
    if (!plan.cfg) { // out of memory: report silence rather than fail
        std::fill(out, out + kSpectrumBands, 0.0f);
        return;
    }
    kiss_fft_cpx bins[kSpectrumWindow / 2 + 1];
    kiss_fftr(plan.cfg, mono, bins);
    // A sine of amplitude A centred on bin k gives |X_k| = A * N / 2; a DC
    // offset A gives |X_0| = A * N.
    constexpr float kSineScale = 2.0f / kSpectrumWindow;
    constexpr float kDcScale = 1.0f / kSpectrumWindow;
    out[0] = std::hypot(bins[0].r, bins[0].i) * kDcScale;
    for (int k = 1; k < kSpectrumBands; ++k) out[k] = std::hypot(bins[k].r, bins[k].i) * kSineScale;
}

double spectrumBandHz(int band, int rate) {
    return static_cast<double>(band) * rate / kSpectrumWindow;
}

void mixToMono(const float* interleaved, int frames, int channels, float* mono) {
    if (channels == 1) {
        std::copy(interleaved, interleaved + frames, mono);
        return;
    }
    const float scale = 1.0f / static_cast<float>(channels);
    for (int f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) sum += interleaved[f * channels + c];
        mono[f] = sum * scale;
    }
}

} // namespace platform
