// The spectrum's contract on exact signals (no MP3 in between): band k is
// centred on k * rate / 128 Hz, a full-scale sine there reads 1.0 and leaks
// nowhere (rectangular window, whole periods), a DC offset lands in band 0.
#include "platform/Spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace platform;

namespace {

std::vector<float> window(double cyclesPerWindow, double phase, double amplitude) {
    std::vector<float> w(kSpectrumWindow);
    for (int i = 0; i < kSpectrumWindow; ++i)
        w[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * cyclesPerWindow * i / kSpectrumWindow + phase));
    return w;
}

} // namespace

TEST(Spectrum, FullScaleSineCentredInABandReadsOneThereAndNothingElsewhere) {
    for (int band : {1, 2, 10, 31, 63}) {
        for (double phase : {0.0, 0.7, M_PI / 2}) {
            const std::vector<float> w = window(band, phase, 1.0);
            float out[kSpectrumBands];
            computeSpectrum(w.data(), out);
            for (int k = 0; k < kSpectrumBands; ++k) {
                if (k == band)
                    EXPECT_NEAR(out[k], 1.0f, 1e-4f) << "band " << band << " phase " << phase;
                else
                    EXPECT_LT(out[k], 1e-4f) << "band " << k << " for a sine in band " << band;
            }
        }
    }
    // Half a band off centre, the rectangular window splits the sine between
    // the two neighbouring bands (2/pi each): the band layout, not a fluke.
    const std::vector<float> between = window(10.5, 0.0, 1.0);
    float out[kSpectrumBands];
    computeSpectrum(between.data(), out);
    EXPECT_NEAR(out[10], 2.0 / M_PI, 0.02);
    EXPECT_NEAR(out[11], 2.0 / M_PI, 0.02);
    EXPECT_NEAR(spectrumBandHz(10, 44100), 3445.3125, 1e-9);
}

TEST(Spectrum, SilenceAndDcOffset) {
    std::vector<float> w(kSpectrumWindow, 0.0f);
    float out[kSpectrumBands];
    computeSpectrum(w.data(), out);
    for (float v : out) EXPECT_EQ(v, 0.0f);

    std::fill(w.begin(), w.end(), 1.0f);
    computeSpectrum(w.data(), out);
    EXPECT_NEAR(out[0], 1.0f, 1e-5f);
    for (int k = 1; k < kSpectrumBands; ++k) EXPECT_LT(out[k], 1e-5f);
}
