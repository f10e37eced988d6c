// Capture, still frames and benchmark on the fixed-step clock.
#include "app/Offline.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Timeline.h"
#include "fx/FramePasses.h"
#include "fx/Glow.h"
#include "platform/Platform.h"
#include "platform/TrackReader.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The decoded track behind the fixed-step spectrum: the same computation as
// live playback, of the 128 frames heard just before the position.
platform::TrackReader spectrumTrack;

void trackSpectrum(double ms, float* out) { spectrumTrack.spectrumAt(spectrumTrack.frameAtMs(ms), out); }

double msOf(long n, double stepMs) { return static_cast<double>(n) * stepMs; }

// One frame at music time `ms` with the step `stepMs` since the previous one.
void renderFrame(CApplication& app, double ms, double stepMs) {
    setFixedStepPosition(ms);
    skip = static_cast<float>(stepMs / 50.0);
    app.run();
}

// Plays grid frames [0, to) without showing them, so that frame `to` looks
// as in a run from 0. Frames from `full` on (the owning scene's) run whole,
// with only one pixel rasterised, so every update runs in order. Before
// that, a scene that is over only advances what it leaves to later scenes
// (its rand() draws), except its last frame, which runs whole so that the
// GL state it leaves behind (the texture environment) is there too.
void catchUp(CApplication& app, long full, long to, double stepMs) {
    if (to <= 0) return;
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    for (long n = 0; n < to; ++n) {
        const double ms = msOf(n, stepMs);
        const bool lastOfItsScene = sceneForTime(static_cast<float>(ms), 0) !=
                                    sceneForTime(static_cast<float>(msOf(n + 1, stepMs)), 0);
        if (n >= full || lastOfItsScene) {
            renderFrame(app, ms, stepMs);
        } else {
            setFixedStepPosition(ms);
            skip = static_cast<float>(stepMs / 50.0);
            advanceFrame();
        }
    }
    glDisable(GL_SCISSOR_TEST);
}

class Progress {
public:
    explicit Progress(long total) : total_(total), start_(std::chrono::steady_clock::now()) {}
    void update(long done, bool final = false) {
        const auto now = std::chrono::steady_clock::now();
        if (!final && now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double share = total_ > 0 ? static_cast<double>(done) / total_ : 1.0;
        const double left = done > 0 ? elapsed * (total_ - done) / done : 0.0;
        const int width = 30, filled = std::min(width, static_cast<int>(share * width));
        std::fprintf(stderr, "\r[%s%s] %ld/%ld frames %5.1f%% %d:%02d left ", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), done, total_, share * 100.0,
                     static_cast<int>(left) / 60, static_cast<int>(left) % 60);
        if (final) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    long total_;
    std::chrono::steady_clock::time_point start_, last_{};
};

// Frames a plan shows (for the progress bar): to the end, the demo's last
// frame is the first one past 200000 ms.
long shownFrames(const FramePlan& p) {
    const long last = p.last >= 0 ? p.last : static_cast<long>(std::floor(kDemoEndMs / p.stepMs)) + 1;
    return std::max(0L, last - p.first + 1);
}

bool openHeadless(CApplication& app) {
    platform::DisplayOptions display;
    display.headless = true;
    return app.init(display);
}

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "demo: %s\n", message.c_str());
    return status;
}

int runFrame(CApplication& app, const Options& o) {
    const FramePlan p = planFrames(o.stepFps(), o.frameMs, o.frameMs, true);
    // The grid frames before the picture (p.first is the first one at or after
    // it), then the picture at its own time.
    const long end = p.first;
    catchUp(app, p.catchUpFirst, end, p.stepMs);
    const double previous = end > p.catchUpFirst ? msOf(end - 1, p.stepMs) : o.frameMs - p.stepMs;
    renderFrame(app, o.frameMs, o.frameMs - previous);
    std::vector<unsigned char> rgb(platform::kFrameWidth * platform::kFrameHeight * 3);
    platform::readFrame(rgb.data());
    if (!platform::writePng(o.output.c_str(), rgb.data(), platform::kFrameWidth, platform::kFrameHeight))
        return fail("cannot write '" + o.output + "'", 1);
    std::fprintf(stderr, "demo: frame at %.0f ms written to %s\n", o.frameMs, o.output.c_str());
    return 0;
}

std::string ffmpegCommand(const Options& o, double fromMs, double durationS, const std::string& target,
                          bool withAudio) {
    char head[256];
    std::snprintf(head, sizeof head,
                  "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgb24 -s %dx%d -framerate %d -i -",
                  platform::kFrameWidth, platform::kFrameHeight, o.stepFps());
    std::string cmd = head;
    char times[96];
    std::snprintf(times, sizeof times, " -ss %.3f -t %.3f", fromMs / 1000.0, durationS);
    if (withAudio) cmd += std::string(times) + " -i " + platform::shellQuote("demosong.mp3");
    cmd += " -map 0:v -c:v libx264 -preset medium -crf 17 -pix_fmt yuv420p";
    if (withAudio) cmd += " -map 1:a -c:a aac -b:a 192k";
    std::snprintf(times, sizeof times, " -t %.6f", durationS);
    cmd += std::string(times) + " -movflags +faststart -f mp4 " + platform::shellQuote(target);
    return cmd;
}

int runCapture(CApplication& app, const Options& o) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    const long total = shownFrames(p);
    const double durationS = static_cast<double>(total) / o.stepFps();
    const bool withAudio = !o.silent && platform::fileExists("demosong.mp3");
    // ffmpeg writes beside the target; the finished file takes the target's name.
    const std::string partial = o.output + ".partial";
    FILE* pipe = platform::openPipe(ffmpegCommand(o, msOf(p.first, p.stepMs), durationS, partial, withAudio));
    if (!pipe) return fail("cannot start ffmpeg", 1);

    catchUp(app, p.catchUpFirst, p.first, p.stepMs);
    std::vector<unsigned char> rgb(platform::kFrameWidth * platform::kFrameHeight * 3);
    Progress progress(total);
    bool written = true;
    long shown = 0;
    for (long n = p.first; p.last < 0 || n <= p.last; ++n) {
        renderFrame(app, msOf(n, p.stepMs), p.stepMs);
        platform::readFrame(rgb.data());
        if (std::fwrite(rgb.data(), 1, rgb.size(), pipe) != rgb.size()) {
            written = false;
            break;
        }
        progress.update(++shown);
        if (p.last < 0 && done) break; // the first frame past the end is the last
    }
    progress.update(shown, true);
    const bool encoded = platform::closePipe(pipe);
    if (!written || !encoded) {
        platform::removeFile(partial);
        return fail("ffmpeg failed; no video written", 1);
    }
    if (!platform::renameFile(partial, o.output)) {
        platform::removeFile(partial);
        return fail("cannot write '" + o.output + "'", 1);
    }
    std::fprintf(stderr, "demo: %ld frames (%.2f s) written to %s\n", shown, durationS, o.output.c_str());
    return 0;
}

double percentile95(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(0.95 * v.size())) - 1)];
}

double mean(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return v.empty() ? 0 : s / v.size();
}

// The yardstick for frame costs on this machine: ten full-screen textured
// quads blended over the picture, as a glow pass lays them, timed to the end
// of their rasterisation; the mean of ten such rounds, per quad.
double layerMs() {
    double sum = 0;
    for (int round = 0; round < 10; ++round) {
        glFinish();
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i) engine->glow->RenderBlur(engine->textureManager, 0.1f);
        glFinish();
        sum += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    return sum / 100;
}

int runBenchmark(CApplication& app, const Options& o) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    catchUp(app, p.catchUpFirst, p.first, p.stepMs);
    std::vector<double> perScene[12], all;
    all.reserve(static_cast<size_t>(shownFrames(p)));
    for (auto& v : perScene) v.reserve(all.capacity());
    // Pass times per scene, summed over its frames (ms on the GL timeline).
    double passes[12][kFramePasses] = {};
    const bool timed = o.passes;
    enableFramePasses(timed);
    for (long n = p.first; p.last < 0 || n <= p.last; ++n) {
        const auto t0 = std::chrono::steady_clock::now();
        renderFrame(app, msOf(n, p.stepMs), p.stepMs);
        glFinish(); // the software rasteriser's work is part of the frame
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        endFramePasses(passes[currentScene]);
        perScene[currentScene].push_back(ms);
        all.push_back(ms);
        if (p.last < 0 && done) break;
    }
    enableFramePasses(false);
    std::printf("scene  music time (ms)      frames   mean ms   p95 ms\n");
    // Timeline order: sort the scenes by the start of their stretch.
    int order[12];
    for (int i = 0; i < 12; ++i) order[i] = i;
    std::sort(order, order + 12, [](int a, int b) { return sceneStartMs(a) < sceneStartMs(b); });
    for (int s : order) {
        if (perScene[s].empty()) continue;
        const float start = sceneStartMs(s);
        float end = kDemoEndMs;
        for (int t : order)
            if (sceneStartMs(t) > start) {
                end = sceneStartMs(t);
                break;
            }
        std::printf("%5d  %6.0f - %6.0f  %10zu  %8.2f  %7.2f\n", s + 1, start, end, perScene[s].size(),
                    mean(perScene[s]), percentile95(perScene[s]));
    }
    if (timed) {
        std::printf("\nmean ms per frame of each pass (CPU clock between glFinish brackets)\nscene");
        for (int k = 0; k < kFramePasses; ++k) std::printf(" %11s", framePassName(static_cast<FramePass>(k)));
        std::printf("\n");
        for (int s : order) {
            if (perScene[s].empty()) continue;
            std::printf("%5d", s + 1);
            for (int k = 0; k < kFramePasses; ++k) std::printf(" %11.2f", passes[s][k] / perScene[s].size());
            std::printf("\n");
        }
    }
    double total = 0;
    for (double x : all) total += x;
    std::printf("total  %6.0f - %6.0f  %10zu  %8.2f  %7.2f   (%.1f s, %.1f fps)\n", msOf(p.first, p.stepMs),
                msOf(p.first + static_cast<long>(all.size()) - 1, p.stepMs), all.size(), mean(all),
                percentile95(all), total / 1000.0, all.empty() ? 0.0 : all.size() * 1000.0 / total);
    const double layer = layerMs();
    std::printf("one blended full-screen textured layer: %.2f ms (mean of 10 x 10, this run); "
                "the whole run's mean frame is %.1f layers\n",
                layer, layer > 0 ? mean(all) / layer : 0.0);
    return 0;
}

} // namespace

FramePlan planFrames(int fps, double fromMs, double toMs, bool toGiven) {
    FramePlan p;
    p.stepMs = 1000.0 / fps;
    p.first = static_cast<long>(std::ceil(fromMs * fps / 1000.0 - 1e-9));
    const float firstMs = static_cast<float>(msOf(p.first, p.stepMs));
    const double sceneStart = sceneStartMs(sceneForTime(firstMs, 0));
    p.catchUpFirst = static_cast<long>(std::ceil(sceneStart * fps / 1000.0 - 1e-9));
    // Frames strictly before --to.
    p.last = toGiven ? static_cast<long>(std::ceil(toMs * fps / 1000.0 - 1e-9)) - 1 : -1;
    return p;
}

int runOffline(const Options& o) {
    if (o.mode == Mode::Capture && !platform::findProgram("ffmpeg"))
        return fail("--capture needs ffmpeg, which is not installed (apt-get install ffmpeg)", 2);
    if ((o.mode == Mode::Capture || o.mode == Mode::Frame) && !platform::canWrite(o.output))
        return fail("cannot write '" + o.output + "'", 2);

    std::string trackError;
    const bool track = !o.silent && spectrumTrack.open("demosong.mp3", &trackError);
    if (!o.silent && !track) std::fprintf(stderr, "demo: %s; the spectrum stays zero\n", trackError.c_str());
    useFixedStepClock(track ? trackSpectrum : nullptr);
    CApplication app;
    if (!openHeadless(app)) return 1;
    const auto startUp = std::chrono::steady_clock::now();
    app.precalc();
    const double startUpMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startUp).count();
    if (o.mode == Mode::Benchmark) std::printf("start-up (images, scenes, music start): %.0f ms\n", startUpMs);
    int status = 0;
    switch (o.mode) {
    case Mode::Frame: status = runFrame(app, o); break;
    case Mode::Capture: status = runCapture(app, o); break;
    case Mode::Benchmark: status = runBenchmark(app, o); break;
    case Mode::Live: break;
    }
    app.deinit();
    spectrumTrack.close();
    return status;
}
