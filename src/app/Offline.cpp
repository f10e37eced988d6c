// The headless modes' shared runner: the checks before anything renders,
// start-up on the fixed-step clock, and the mode (Still.cpp, Capture.cpp,
// Benchmark.cpp).
#include "app/Offline.h"
#include "app/OfflineRun.h"

#include "app/CApplication.h"
#include "app/DataFolder.h"
#include "app/FrameMemory.h"
#include "app/Replay.h"
#include "app/Startup.h"
#include "app/Timeline.h"
#include "app/TrackCheck.h"
#include "platform/Files.h"
#include "platform/Output.h"
#include "platform/Platform.h"
#include "platform/TrackReader.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace offline {


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
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": %ld/%ld frames (%.0f%%), %d:%02d left\n", done, total_, share * 100.0,
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
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", platform::printable(message).c_str());
    return status;
}

int outOfMemory(double bytes) {
    char text[128];
    std::snprintf(text, sizeof text, "not enough memory for a %d x %d frame: %.0f MB needed; nothing written",
                  platform::frameWidth(), platform::frameHeight(), bytes / (1 << 20));
    return fail(text, 1);
}

int stopped(const char* outcome) {
    const int signal = platform::stopSignal();
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": stopped by %s; %s\n", platform::signalName(signal), outcome);
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
    // From here on SIGINT, SIGTERM and SIGHUP end the run after the current
    // frame. Until the output is made, nothing needs cleaning up: a stop
    // signal during the checks and start-up ends the process at once (no
    // step of them, a read, a decode, a scene's set-up, needs to look).
    const char* outcome = o.mode == Mode::Frame     ? "no picture written"
                          : o.mode == Mode::Capture ? "no video written"
                                                    : "nothing measured";
    platform::catchStopSignals();
    platform::exitOnStopSignal(true, outcome);
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
    // The output is checked before anything loads; the partial file is made
    // once everything has (a refusal or a stop before leaves nothing), and
    // removed on every way out but success.
    const bool writes = o.mode == Mode::Capture || o.mode == Mode::Frame;
    std::string outputError;
    if (o.mode == Mode::Capture) {
        if (const int status = checkCapture(o)) return status;
    } else if (writes && !platform::OutputFile::check(o.output, &outputError)) {
        return fail(outputError, 2);
    }
    if (const std::string refusal = frameMemoryRefusal(o); !refusal.empty())
        return fail(refusal + "; nothing rendered", 2);

    // A picture made without its data is not the picture: the track must
    // cover every frame rendered, and every image must load. All faults are
    // counted, the track's first.
    std::string trackFault;
    if (!o.silent) {
        trackFault = trackShortfall(kTrackFile, lastRenderedMs(o));
        if (trackFault.empty()) spectrumTrack.open(kTrackFile, &trackFault); // sets it only on failure
    }
    useFixedStepClock(o.silent || !trackFault.empty() ? nullptr : trackSpectrum);
    CApplication app;
    if (const int status = openHeadless(app, o)) return status;
    const auto startUp = std::chrono::steady_clock::now();
    app.precalc();
    std::vector<std::string> faults = startupProblems();
    if (!trackFault.empty()) faults.insert(faults.begin(), trackFault);
    if (!faults.empty()) {
        app.deinit();
        const size_t more = faults.size() - 1;
        return fail(faults.front() +
                        (more ? " (and " + std::to_string(more) + " more file" + (more > 1 ? "s" : "") +
                                    " missing or damaged)"
                              : "") +
                        " in " + dataFolderInUse() + "; nothing rendered" +
                        (trackFault.empty() ? "" : " (--silent renders without it)"),
                    2);
    }
    const double startUpMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startUp).count();
    platform::OutputFile output;
    if (o.mode == Mode::Capture) {
        if (const int status = checkEncoders(o)) {
            app.deinit();
            return status;
        }
    }
    // From here on a stop signal ends the run after the frame in hand (one
    // that comes while the partial file is made too: it is then removed).
    platform::exitOnStopSignal(false);
    if (writes && !(o.mode == Mode::Capture ? openCapture(o, output, &outputError)
                                            : output.open(o.output, &outputError))) {
        app.deinit();
        return fail(outputError, 2);
    }
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
