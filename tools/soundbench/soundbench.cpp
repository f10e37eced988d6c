// soundbench: what the sound layer costs while the demo plays. Encodes a
// music-like track (chords with a beat, a little noise; stereo, 44.1 kHz,
// 128 kbps) with libmp3lame, plays it on SDL's dummy audio driver (in real
// time, silently) while a 60-fps loop reads the sound as the demo does, and
// prints figures, not a verdict:
//   - CPU time of the audio callback (decoding and mixing, measured on the
//     audio thread's own clock) and of the spectrum (main thread), as a share
//     of one core over the playing time (target: under 2 % together);
//   - the whole process's CPU share over the same time, for comparison;
//   - peak heap growth of the sound layer (sampled right after the start and
//     every frame) and growth of the resident set's high-water mark (target:
//     under 8 MB), beside what the decoded track would take in memory;
//   - the position's drift from the wall clock at the end.
//
// Usage: soundbench [seconds=30] [--device]   (--device: the default audio
// driver instead of the dummy one). Scratch files go to DEMO_TEST_TMP or /tmp.
// Threads: the main thread runs the loop; SDL's audio thread the callback.
// Deliberately not done: timing assertions (a benchmark reports, it does not fail).
#include "platform/Mp3Writer.h"
#include "platform/Sound.h"

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

double wallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double processCpuMs() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Bytes of heap in use (small blocks and mmapped large ones).
double heapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// A field of /proc/self/status in kB ("VmHWM", "VmRSS").
double statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, std::strlen(field), field) == 0 && line[std::strlen(field)] == ':')
            return std::atof(line.c_str() + std::strlen(field) + 1);
    return 0.0;
}

// Chords that change every two seconds over a four-to-the-floor beat.
std::vector<float> musicLike(double seconds, int rate) {
    const int frames = static_cast<int>(seconds * rate);
    std::vector<float> pcm(static_cast<size_t>(frames) * 2);
    const double chords[4][3] = {{220.0, 277.2, 329.6}, {196.0, 246.9, 293.7}, {174.6, 220.0, 261.6},
                                 {196.0, 246.9, 311.1}};
    unsigned noise = 1u;
    for (int f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        const double* chord = chords[static_cast<int>(t / 2.0) % 4];
        double v = 0.0;
        for (int i = 0; i < 3; ++i) v += 0.15 * std::sin(2.0 * M_PI * chord[i] * t);
        const double beat = std::fmod(t, 0.5);
        v += 0.4 * std::exp(-beat * 30.0) * std::sin(2.0 * M_PI * 60.0 * beat);
        noise = noise * 1664525u + 1013904223u;
        const double hiss = 0.02 * ((noise >> 8) / 8388608.0 - 1.0);
        pcm[2 * static_cast<size_t>(f)] = static_cast<float>(v + hiss);
        pcm[2 * static_cast<size_t>(f) + 1] = static_cast<float>(0.9 * v - hiss);
    }
    return pcm;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 30.0;
    bool device = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--device") == 0)
            device = true;
        else
            seconds = std::atof(argv[i]);
    }
    if (seconds <= 0.0) seconds = 30.0;
    if (!device) setenv("SDL_AUDIODRIVER", "dummy", 1);

    const int rate = 44100;
    const std::string path = mp3test::scratchPath("soundbench.mp3");
    std::printf("encoding %.0f s of music-like sound (stereo, %d Hz, 128 kbps) into %s\n", seconds, rate,
                path.c_str());
    {
        const std::vector<float> pcm = musicLike(seconds, rate);
        if (!mp3test::writeMp3(path, pcm, rate, 2, 128)) return 1;
    } // the PCM is freed before the measurement starts

    // Restart the resident high-water mark from here (encoding used more).
    std::ofstream("/proc/self/clear_refs") << "5";
    const double heapBefore = heapBytes();
    const double hwmBeforeKb = statusKb("VmHWM");
    const double cpuBefore = processCpuMs();
    const double start = wallMs();
    platform::soundStart(path.c_str());
    double heapPeak = heapBytes();

    float bands[platform::kSpectrumBands];
    double bandSum = 0.0;
    long frames = 0;
    const double frameMs = 1000.0 / 60.0;
    uint32_t position = 0;
    while (wallMs() - start < seconds * 1000.0) {
        platform::soundUpdate();
        platform::soundSpectrum(bands);
        position = platform::soundPositionMs();
        for (float b : bands) bandSum += b;
        heapPeak = std::max(heapPeak, heapBytes());
        ++frames;
        const double next = start + frames * frameMs;
        const double wait = next - wallMs();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(wait * 1000)));
    }
    const double elapsedMs = wallMs() - start;
    const double cpuMs = processCpuMs() - cpuBefore;
    const platform::SoundStatus status = platform::soundStatus();
    const double hwmAfterKb = statusKb("VmHWM");
    platform::soundStop();

    const double decodedMb = seconds * rate * 2 * sizeof(float) / 1048576.0;
    std::printf("\ndriver %s, %d Hz, %d channels, %d frames per callback, %ld demo frames\n",
                status.driver.c_str(), status.rate, status.channels, status.periodFrames, frames);
    std::printf("played %.2f s, decoded %.2f s of track, position at the end %u ms (wall %.0f ms, drift %+.0f ms)\n",
                elapsedMs / 1000.0, static_cast<double>(status.framesDecoded) / rate, position, elapsedMs,
                position - elapsedMs);
    std::printf("first callback %.1f ms after the play call\n", status.firstCallbackMs);
    std::printf("\nCPU, share of one core over the playing time:\n");
    std::printf("  audio callback (decoding, mixing)  %8.1f ms  %6.3f %%\n", status.callbackCpuMs,
                100.0 * status.callbackCpuMs / elapsedMs);
    std::printf("  spectrum (main thread)             %8.1f ms  %6.3f %%\n", status.spectrumCpuMs,
                100.0 * status.spectrumCpuMs / elapsedMs);
    std::printf("  sound layer together               %8.1f ms  %6.3f %%   (target under 2 %%)\n",
                status.callbackCpuMs + status.spectrumCpuMs,
                100.0 * (status.callbackCpuMs + status.spectrumCpuMs) / elapsedMs);
    std::printf("  whole process (with SDL's thread and this loop) %8.1f ms  %6.3f %%\n", cpuMs,
                100.0 * cpuMs / elapsedMs);
    std::printf("\nmemory:\n");
    std::printf("  peak heap growth of the sound layer  %7.2f MB   (target under 8 MB)\n",
                (heapPeak - heapBefore) / 1048576.0);
    std::printf("  resident high-water growth           %7.2f MB   (includes library code paged in)\n",
                (hwmAfterKb - hwmBeforeKb) / 1024.0);
    std::printf("  the decoded track, for comparison    %7.2f MB   (ratio heap / decoded %.3f)\n", decodedMb,
                (heapPeak - heapBefore) / 1048576.0 / decodedMb);
    std::printf("\nmean band value %.4f (keeps the spectrum from being optimised away)\n",
                bandSum / (frames * platform::kSpectrumBands));
    return 0;
}
