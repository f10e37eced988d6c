// TrackReader on real MP3 files encoded by the tests: exact length and
// content through chunked reads, sample-exact seeking, the spectrum at a
// track position (the offline path the capture tools rely on), and files
// that are missing, foreign, truncated or damaged.
#include "platform/SoundFixtures.h"
#include "platform/TrackReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace platform;

namespace {

// The whole track through reads of an awkward chunk size.
std::vector<float> decodeAll(TrackReader& reader, int chunk = 1000) {
    std::vector<float> pcm, buffer(static_cast<size_t>(chunk) * reader.channels());
    int got;
    while ((got = reader.read(buffer.data(), chunk)) > 0)
        pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + static_cast<long>(got) * reader.channels());
    return pcm;
}

float maxOtherThan(const float* bands, int skip) {
    float m = 0.0f;
    for (int k = 0; k < kSpectrumBands; ++k)
        if (k != skip) m = std::max(m, bands[k]);
    return m;
}

} // namespace

TEST(TrackReader, DecodesTheWholeTrackInChunksExactlyAsEncoded) {
    TrackReader reader;
    ASSERT_TRUE(reader.open(fixtures::onsetTrack().c_str()));
    EXPECT_EQ(reader.rate(), fixtures::kRate);
    EXPECT_EQ(reader.channels(), 2);
    EXPECT_EQ(reader.lengthFrames(), fixtures::kOnsetFrames); // the scan leaves the read position alone
    EXPECT_EQ(reader.tell(), 0);

    const std::vector<float> pcm = decodeAll(reader);
    const std::vector<float>& source = fixtures::onsetPcm();
    ASSERT_EQ(pcm.size(), source.size()); // gapless: no encoder delay, no padding
    EXPECT_TRUE(reader.ended());
    EXPECT_EQ(reader.tell(), fixtures::kOnsetFrames);
    float buffer[64];
    EXPECT_EQ(reader.read(buffer, 32), 0);
    double error = 0.0;
    for (size_t i = 0; i < pcm.size(); ++i) error += (pcm[i] - source[i]) * (pcm[i] - source[i]);
    EXPECT_LT(std::sqrt(error / pcm.size()), 0.02) << "decoded PCM differs from what was encoded";
}

TEST(TrackReader, SeeksToTheExactFrame) {
    TrackReader sequential, seeking;
    ASSERT_TRUE(sequential.open(fixtures::onsetTrack().c_str()));
    ASSERT_TRUE(seeking.open(fixtures::onsetTrack().c_str()));
    const std::vector<float> all = decodeAll(sequential);
    // Forwards, backwards, across the onset, near the end.
    for (int64_t frame : {50000, 1234, 44100 - 7, 0, 88000}) {
        ASSERT_TRUE(seeking.seek(frame)) << frame;
        EXPECT_EQ(seeking.tell(), frame);
        std::vector<float> got(400);
        const int n = seeking.read(got.data(), 200);
        ASSERT_EQ(n, 200) << frame;
        for (int i = 0; i < 400; ++i) ASSERT_NEAR(got[i], all[frame * 2 + i], 1e-4f) << "frame " << frame;
    }
    EXPECT_FALSE(seeking.seek(-5));
}

TEST(TrackReader, SpectrumAtAPositionIsTheWindowJustBeforeIt) {
    TrackReader reader;
    ASSERT_TRUE(reader.open(fixtures::onsetTrack().c_str()));
    const int tone = fixtures::kToneBand;
    float bands[kSpectrumBands];

    reader.spectrumAt(reader.frameAtMs(500), bands);
    EXPECT_LT(*std::max_element(bands, bands + kSpectrumBands), 0.01f) << "silence";
    reader.spectrumAt(reader.frameAtMs(1500), bands);
    EXPECT_NEAR(bands[tone], 1.0f, 0.03f) << "full-scale sine centred in the band";
    EXPECT_LT(maxOtherThan(bands, tone), 0.03f);
    // The tone starts at frame 44100: the window ending there is silent, the
    // one ending half a window later is half tone.
    reader.spectrumAt(44100, bands);
    EXPECT_LT(bands[tone], 0.02f);
    reader.spectrumAt(44100 + kSpectrumWindow / 2, bands);
    EXPECT_NEAR(bands[tone], 0.5f, 0.05f);
    // Past the end and before the start: silence, no error.
    reader.spectrumAt(fixtures::kOnsetFrames + 1000, bands);
    EXPECT_EQ(*std::max_element(bands, bands + kSpectrumBands), 0.0f);
    reader.spectrumAt(0, bands);
    EXPECT_EQ(*std::max_element(bands, bands + kSpectrumBands), 0.0f);

    // A capture tool's walk (60 frames a second, then a jump back) sees the
    // same windows as the sequentially decoded PCM.
    TrackReader sequential;
    ASSERT_TRUE(sequential.open(fixtures::onsetTrack().c_str()));
    const std::vector<float> all = decodeAll(sequential);
    for (int64_t frame : {43000, 43735, 44470, 45205, 60000, 60735, 20000, 88200}) {
        float mono[kSpectrumWindow], expected[kSpectrumWindow];
        reader.monoWindowBefore(frame, mono);
        mixToMono(all.data() + (frame - kSpectrumWindow) * 2, kSpectrumWindow, 2, expected);
        for (int i = 0; i < kSpectrumWindow; ++i) ASSERT_NEAR(mono[i], expected[i], 1e-4f) << "frame " << frame;
    }
}

TEST(TrackReader, RefusesMissingAndForeignFilesNamingThem) {
    const std::string missing = fixtures::writeFile("reader_gone.mp3", "") + ".not-there";
    const std::string text = fixtures::writeFile(
        "reader_text.mp3", std::string(20000, 'x') + "this is a text file, not an MP3 stream\n");
    const std::string empty = fixtures::writeFile("reader_empty.mp3", "");
    for (const std::string& path : {missing, text, empty}) {
        TrackReader reader;
        std::string error;
        EXPECT_FALSE(reader.open(path.c_str(), &error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
        float buffer[64], bands[kSpectrumBands];
        EXPECT_EQ(reader.read(buffer, 32), 0); // a closed reader is a harmless no-op
        reader.spectrumAt(1000, bands);
        EXPECT_EQ(bands[0], 0.0f);
    }
    TrackReader reader;
    EXPECT_FALSE(reader.open(nullptr));
}

TEST(TrackReader, TruncatedAndDamagedFilesDecodeWhatTheyHold) {
    const std::string truncated = fixtures::truncatedCopy(fixtures::onsetTrack(), "reader_truncated.mp3", 0.6);
    TrackReader reader;
    ASSERT_TRUE(reader.open(truncated.c_str()));
    const size_t frames = decodeAll(reader).size() / 2;
    EXPECT_TRUE(reader.ended());
    EXPECT_GT(frames, 0.5 * fixtures::kOnsetFrames);
    EXPECT_LT(frames, 0.7 * fixtures::kOnsetFrames);

    const std::string damaged = fixtures::damagedCopy(fixtures::onsetTrack(), "reader_damaged.mp3");
    ASSERT_TRUE(reader.open(damaged.c_str()));
    const std::vector<float> pcm = decodeAll(reader);
    EXPECT_TRUE(reader.ended());
    // Two stretches of ~2 kB (about 0.1 s at 320 kbps) are lost at most.
    EXPECT_GT(pcm.size() / 2, 0.8 * fixtures::kOnsetFrames);
    EXPECT_LE(pcm.size() / 2, static_cast<size_t>(fixtures::kOnsetFrames));
    for (float v : pcm) ASSERT_TRUE(std::isfinite(v));
}
