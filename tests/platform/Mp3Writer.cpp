// Test and benchmark support: MP3 encoding with libmp3lame; see Mp3Writer.h.
#include "platform/Mp3Writer.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mp3test {

bool writeMp3(const std::string& path, const std::vector<float>& pcm, int rate, int channels, int kbps) {
    lame_t lame = lame_init();
    if (!lame) return false;
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate); // no resampling by the encoder
    lame_set_num_channels(lame, channels);
    lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame, kbps);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1); // the LAME tag: length, encoder delay and padding
    if (lame_init_params(lame) < 0) {
        std::fprintf(stderr, "mp3 writer: LAME refuses %d Hz, %d channels, %d kbps\n", rate, channels, kbps);
        lame_close(lame);
        return false;
    }
    // LAME takes one array per channel.
    const int frames = static_cast<int>(pcm.size()) / channels;
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        left[f] = pcm[static_cast<size_t>(f) * channels];
        right[f] = pcm[static_cast<size_t>(f) * channels + channels - 1];
    }
    std::vector<unsigned char> out(static_cast<size_t>(frames) * 5 / 4 + 7200 + 65536);
    int bytes = lame_encode_buffer_ieee_float(lame, left.data(), right.data(), frames, out.data(),
                                              static_cast<int>(out.size()));
    int flushed = bytes >= 0 ? lame_encode_flush(lame, out.data() + bytes, static_cast<int>(out.size()) - bytes) : -1;
    bool ok = bytes >= 0 && flushed >= 0;
    if (ok) {
        // The tag goes over the placeholder frame that LAME wrote first.
        unsigned char tag[2880];
        const size_t tagBytes = lame_get_lametag_frame(lame, tag, sizeof tag);
        if (tagBytes > 0 && tagBytes <= static_cast<size_t>(bytes + flushed))
            std::copy(tag, tag + tagBytes, out.begin());
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ok = f && std::fwrite(out.data(), 1, static_cast<size_t>(bytes + flushed), f) ==
                      static_cast<size_t>(bytes + flushed);
        if (f && std::fclose(f) != 0) ok = false;
    }
    if (!ok) std::fprintf(stderr, "mp3 writer: cannot write %s\n", path.c_str());
    lame_close(lame);
    return ok;
}

std::vector<float> sine(double hz, double amplitude, double seconds, int rate, int channels) {
    const int frames = static_cast<int>(std::lround(seconds * rate));
    std::vector<float> pcm(static_cast<size_t>(frames) * channels);
    const double step = 2.0 * M_PI * hz / rate;
    for (int f = 0; f < frames; ++f) {
        const float v = static_cast<float>(amplitude * std::sin(step * f));
        for (int c = 0; c < channels; ++c) pcm[static_cast<size_t>(f) * channels + c] = v;
    }
    return pcm;
}

std::vector<float> silence(double seconds, int rate, int channels) {
    return std::vector<float>(static_cast<size_t>(std::lround(seconds * rate)) * channels, 0.0f);
}

std::vector<float> concat(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string scratchPath(const std::string& name) {
    const char* dir = std::getenv("DEMO_TEST_TMP");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name;
}

} // namespace mp3test
