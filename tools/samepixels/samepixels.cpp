// samepixels: proves that leaving out invisible work (layers at alpha 0, the
// glow source outside its corner) changes no pixel. The demo plays twice
// from 0 on one fixed step with the track's spectrum, the timeline restarted
// between the runs (after a first, uncompared run); frames at evenly spread moments are kept from the first
// run and compared byte for byte with the second. Prints the moments that
// differ (pixels, PSNR) and the wall time of each run.
//
//   samepixels [--fps N] [--moments M]     (in the folder with the data, or
//                                           with DEMO_DATA_DIR set)
#include "app/CApplication.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "fx/Glow.h"
#include "platform/Platform.h"
#include "platform/TrackReader.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>


namespace {

platform::TrackReader track;
void trackSpectrum(double ms, float* out) { track.spectrumAt(track.frameAtMs(ms), out); }

using Frame = std::vector<unsigned char>;

Frame readFrame() {
    Frame rgb(platform::kDesignWidth * platform::kDesignHeight * 3);
    platform::readFrame(rgb.data());
    return rgb;
}

// One run from 0 to the end; `keep` receives the frames at the chosen grid
// frames. Returns the run's wall time in seconds.
double playOnce(CApplication& app, double stepMs, long frames, long every, std::vector<Frame>& keep) {
    restartTimeline();
    keep.clear();
    const auto t0 = std::chrono::steady_clock::now();
    for (long n = 0; n < frames; ++n) {
        renderFixedStep(app, n * stepMs, stepMs);
        if (n % every == 0) keep.push_back(readFrame());
    }
    glFinish();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    int fps = 10, moments = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--fps")) fps = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--moments")) moments = std::atoi(argv[i + 1]);
    }
    if (fps < 1 || moments < 1) {
        std::fprintf(stderr, "usage: samepixels [--fps N] [--moments M]\n");
        return 2;
    }
    if (const char* dir = std::getenv("DEMO_DATA_DIR")) {
        if (chdir(dir) != 0) std::fprintf(stderr, "samepixels: cannot enter %s\n", dir);
    }
    std::string error;
    useFixedStepClock(track.open(kTrackFile, &error) ? trackSpectrum : nullptr);
    if (!error.empty()) std::fprintf(stderr, "samepixels: %s; zero spectrum\n", error.c_str());
    musicFile = nullptr;
    CApplication app;
    platform::DisplayOptions display;
    display.headless = true;
    if (app.init(display) != 0) return 1;
    app.precalc();

    const double stepMs = 1000.0 / fps;
    const long frames = static_cast<long>(std::floor(kDemoEndMs / stepMs)) + 2; // to the first past the end
    const long every = std::max(1L, frames / moments);
    std::vector<Frame> lean, full;

    // A first run, not compared: frames right after start-up can differ from
    // those after a restart in a few edge pixels (the rasteriser's history),
    // so both compared runs follow a whole run.
    skipInvisibleWork = true;
    playOnce(app, stepMs, frames, every, lean);
    const double leanS = playOnce(app, stepMs, frames, every, lean);
    skipInvisibleWork = false;
    const double fullS = playOnce(app, stepMs, frames, every, full);
    skipInvisibleWork = true;

    int identical = 0;
    for (size_t k = 0; k < lean.size(); ++k) {
        if (lean[k] == full[k]) {
            ++identical;
            continue;
        }
        long differing = 0;
        double squares = 0;
        int x0 = platform::kDesignWidth, y0 = platform::kDesignHeight, x1 = -1, y1 = -1;
        for (size_t i = 0; i < lean[k].size(); i += 3) {
            bool d = false;
            for (int c = 0; c < 3; ++c) {
                const double e = lean[k][i + c] - full[k][i + c];
                squares += e * e;
                d = d || e != 0;
            }
            if (!d) continue;
            ++differing;
            const int x = static_cast<int>(i / 3 % platform::kDesignWidth),
                      y = static_cast<int>(i / 3 / platform::kDesignWidth);
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
        const double mse = squares / lean[k].size();
        std::printf("differs at %8.1f ms: %ld pixels within (%d, %d)-(%d, %d), PSNR %.1f dB\n", k * every * stepMs,
                    differing, x0, y0, x1, y1, 10 * std::log10(255.0 * 255.0 / mse));
    }
    std::printf("%d of %zu moments identical byte for byte (every %ld frames at %d fps)\n", identical, lean.size(),
                every, fps);
    std::printf("whole demo: %.1f s leaving out invisible work, %.1f s doing all of it (ratio %.2f)\n", leanS, fullS,
                leanS / fullS);
    app.deinit();
    return identical == static_cast<int>(lean.size()) ? 0 : 1;
}
