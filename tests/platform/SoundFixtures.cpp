// The sound tests' MP3 files; see SoundFixtures.h.
#include "platform/SoundFixtures.h"

#include "platform/Mp3Writer.h"
#include "platform/Spectrum.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fixtures {
namespace {

std::string encode(const std::string& name, const std::vector<float>& pcm, int rate, int channels, int kbps) {
    const std::string path = mp3test::scratchPath(name);
    if (!mp3test::writeMp3(path, pcm, rate, channels, kbps)) std::abort(); // no fixture, no test
    return path;
}

} // namespace

const std::vector<float>& onsetPcm() {
    static const std::vector<float> pcm = mp3test::concat(
        mp3test::silence(1.0, kRate, 2), mp3test::sine(platform::spectrumBandHz(kToneBand, kRate), 1.0, 1.0, kRate, 2));
    return pcm;
}

const std::string& onsetTrack() {
    static const std::string path = encode("sound_onset.mp3", onsetPcm(), kRate, 2, 320);
    return path;
}

const std::string& monoTrack() {
    static const std::string path =
        encode("sound_mono32k.mp3", mp3test::sine(platform::spectrumBandHz(20, 32000), 1.0, 1.0, 32000, 1), 32000, 1,
               320);
    return path;
}

const std::string& silentTrack() {
    static const std::string path = encode("sound_silence.mp3", mp3test::silence(1.0, kRate, 2), kRate, 2, 128);
    return path;
}

std::string writeFile(const std::string& name, const std::string& bytes) {
    const std::string path = mp3test::scratchPath(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string truncatedCopy(const std::string& source, const std::string& name, double fraction) {
    const std::string bytes = readFile(source);
    return writeFile(name, bytes.substr(0, static_cast<size_t>(bytes.size() * fraction)));
}

std::string damagedCopy(const std::string& source, const std::string& name) {
    std::string bytes = readFile(source);
    const size_t third = bytes.size() / 3;
    for (size_t i = 0; i < 2000; ++i) bytes[third + i] = 0;
    unsigned state = 12345u;
    for (size_t i = 0; i < 2000; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[2 * third + i] = static_cast<char>(state >> 24);
    }
    return writeFile(name, bytes);
}

} // namespace fixtures
