// The headless modes' shared runner: the checks before anything renders,
// start-up on the fixed-step clock, and the mode (Still.cpp, Capture.cpp,
// Benchmark.cpp).
#include "app/Offline.h"
#include "app/OfflineRun.h"

#include "app/CApplication.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "app/TrackCheck.h"
#include "platform/Output.h"
#include "platform/Platform.h"
#include "platform/TrackReader.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace offline {

const char kMusicFile[] = "demosong.mp3";

void renderFrame(CApplication& app, double ms, double stepMs) {
    if (platform::stopSignal()) return;
    renderFixedStep(app, ms, stepMs);
    platform::reportGlErrors();
}

long shownFrames(const FramePlan& p) {
    const long last = p.last >= 0 ? p.last : static_cast<long>(std::floor(kDemoEndMs / p.stepMs)) + 1;
    return std::max(0L, last - p.first + 1);
}

Progress::Progress(long total)
    : total_(total), start_(std::chrono::steady_clock::now()), animated_(platform::isTerminal(stderr)) {}

void Progress::update(long done, bool final) {
    const auto now = std::chrono::steady_clock::now();
    const double share = total_ > 0 ? static_cast<double>(done) / total_ : 1.0;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double left = done > 0 ? elapsed * (total_ - done) / done : 0.0;
    const int leftS = static_cast<int>(left);
    if (!animated_) {
        const int tenth = static_cast<int>(share * 10.0);
        if (tenth <= lastTenth_ && done != 1 && !(final && done != lastDone_)) return;
        lastTenth_ = tenth;
        lastDone_ = done;
        std::fprintf(stderr, "demo: %ld/%ld frames (%.0f%%), %d:%02d left\n", done, total_, share * 100.0,
                     leftS / 60, leftS % 60);
        return;
    }
    if (!final && now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const int width = 30, filled = std::min(width, static_cast<int>(share * width));
    std::fprintf(stderr, "\r[%s%s] %ld/%ld frames %5.1f%% %d:%02d left ", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), done, total_, share * 100.0, leftS / 60,
                 leftS % 60);
    if (final) std::fputc('\n', stderr);
    std::fflush(stderr);
}

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "demo: %s\n", platform::printable(message).c_str());
    return status;
}

int stopped(const char* outcome) {
    const int signal = platform::stopSignal();
    std::fprintf(stderr, "demo: stopped by %s; %s\n", platform::signalName(signal), outcome);
    return 128 + signal;
}

} // namespace offline

namespace {

using namespace offline;

// The decoded track behind the fixed-step spectrum: the same computation as
// live playback, of the 128 frames heard just before the position.
platform::TrackReader spectrumTrack;

void trackSpectrum(double ms, float* out) { spectrumTrack.spectrumAt(spectrumTrack.frameAtMs(ms), out); }

// 0, or the exit status for why the display did not open.
int openHeadless(CApplication& app, const Options& o) {
    platform::DisplayOptions display;
    display.headless = true;
    display.glDebug = o.glDebug;
    display.width = o.width;
    display.height = o.height;
    return app.init(display);
}

// The music time of the last frame a run renders (the first past the end
// of the demo when it runs to the end).
double lastRenderedMs(const Options& o) {
    if (o.mode == Mode::Frame) return o.frameMs;
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    return p.last >= 0 ? msOf(p.last, p.stepMs) : kDemoEndMs;
}

} // namespace

FramePlan planFrames(int fps, double fromMs, double toMs, bool toGiven) {
    FramePlan p;
    p.stepMs = 1000.0 / fps;
    p.first = static_cast<long>(std::ceil(fromMs * fps / 1000.0 - 1e-9));
    // Frames strictly before --to.
    p.last = toGiven ? static_cast<long>(std::ceil(toMs * fps / 1000.0 - 1e-9)) - 1 : -1;
    return p;
}

int runOffline(const Options& o) {
    // From here on SIGINT, SIGTERM and SIGHUP end the run after the current frame.
    platform::catchStopSignals();
    if (o.mode == Mode::Capture && !platform::findProgram("ffmpeg"))
        return fail("--capture needs ffmpeg, which is not installed (apt-get install ffmpeg)", 2);
    if ((o.mode == Mode::Capture || o.mode == Mode::Benchmark) && o.toGiven) {
        const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
        if (p.last < p.first) {
            char text[128];
            std::snprintf(text, sizeof text, "--from %g --to %g holds no frame at %d fps", o.fromMs, o.toMs,
                          o.stepFps());
            return fail(text, 2);
        }
    }
    // Checked, and the partial file made, before anything is rendered; it is
    // removed on every way out but success.
    platform::OutputFile output;
    std::string outputError;
    if ((o.mode == Mode::Capture || o.mode == Mode::Frame) && !output.open(o.output, &outputError))
        return fail(outputError, 2);

    // A picture made without its data is not the picture: the track must
    // cover every frame rendered, and every image must load.
    if (!o.silent) {
        const std::string shortfall = trackShortfall(kMusicFile, lastRenderedMs(o));
        if (!shortfall.empty()) return fail(shortfall + "; nothing rendered (--silent renders without it)", 2);
    }
    std::string trackError;
    if (!o.silent && !spectrumTrack.open(kMusicFile, &trackError)) return fail(trackError, 2);
    useFixedStepClock(o.silent ? nullptr : trackSpectrum);
    CApplication app;
    if (const int status = openHeadless(app, o)) return status;
    const auto startUp = std::chrono::steady_clock::now();
    app.precalc();
    if (const auto& problems = startupProblems(); !problems.empty()) {
        app.deinit();
        const size_t more = problems.size() - 1;
        return fail(problems.front() +
                        (more ? " (and " + std::to_string(more) + " more file" + (more > 1 ? "s" : "") +
                                    " missing or damaged)"
                              : "") +
                        "; nothing rendered",
                    2);
    }
    const double startUpMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startUp).count();
    if (o.mode == Mode::Benchmark) {
        std::printf("start-up (images, scenes, music start): %.0f ms\n", startUpMs);
        std::fflush(stdout); // seen at once through a pipe
    }
    int status = 0;
    switch (o.mode) {
    case Mode::Frame: status = runStill(app, o, output); break;
    case Mode::Capture: status = runCapture(app, o, output); break;
    case Mode::Benchmark: status = runBenchmark(app, o); break;
    case Mode::Live: break;
    }
    app.deinit();
    spectrumTrack.close();
    return status;
}
