// Capture, still frames and benchmark on the fixed-step clock.
#include "app/Offline.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "fx/FramePasses.h"
#include "fx/Glow.h"
#include "platform/FrameStream.h"
#include "platform/Output.h"
#include "platform/Platform.h"
#include "platform/TrackReader.h"

#include <GL/gl.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMusicFile[] = "demosong.mp3";

// The decoded track behind the fixed-step spectrum: the same computation as
// live playback, of the 128 frames heard just before the position.
platform::TrackReader spectrumTrack;

void trackSpectrum(double ms, float* out) { spectrumTrack.spectrumAt(spectrumTrack.frameAtMs(ms), out); }

double msOf(long n, double stepMs) { return static_cast<double>(n) * stepMs; }

// One frame at music time `ms` with the step `stepMs` since the previous one.
// Once a stop signal has come it draws nothing: the loop around it ends at its
// next check of the signal.
void renderFrame(CApplication& app, double ms, double stepMs) {
    if (platform::stopSignal()) return;
    renderFixedStep(app, ms, stepMs);
}


// The capture's progress on stderr: a bar redrawn in place on a terminal;
// in a log (stderr not a terminal) a plain line at every tenth of the way.
class Progress {
public:
    explicit Progress(long total)
        : total_(total), start_(std::chrono::steady_clock::now()), animated_(platform::isTerminal(stderr)) {}
    void update(long done, bool final = false) {
        const auto now = std::chrono::steady_clock::now();
        const double share = total_ > 0 ? static_cast<double>(done) / total_ : 1.0;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double left = done > 0 ? elapsed * (total_ - done) / done : 0.0;
        const int leftS = static_cast<int>(left);
        if (!animated_) {
            const int tenth = static_cast<int>(share * 10.0);
            if (tenth <= lastTenth_ && !(final && done != lastDone_)) return;
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
                     std::string(width - filled, '.').c_str(), done, total_, share * 100.0, leftS / 60, leftS % 60);
        if (final) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    long total_;
    std::chrono::steady_clock::time_point start_, last_{};
    bool animated_;
    int lastTenth_ = 0;
    long lastDone_ = -1;
};

// Frames a plan shows (for the progress bar): to the end, the demo's last
// frame is the first one past 200000 ms.
long shownFrames(const FramePlan& p) {
    const long last = p.last >= 0 ? p.last : static_cast<long>(std::floor(kDemoEndMs / p.stepMs)) + 1;
    return std::max(0L, last - p.first + 1);
}

// 0, or the exit status for why the display did not open.
int openHeadless(CApplication& app, const Options& o) {
    platform::DisplayOptions display;
    display.headless = true;
    display.width = o.width;
    display.height = o.height;
    return app.init(display);
}

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "demo: %s\n", platform::printable(message).c_str());
    return status;
}

// After SIGINT or SIGTERM: one line, and the shell's status for the signal.
int stopped(const char* outcome) {
    const int signal = platform::stopSignal();
    std::fprintf(stderr, "demo: stopped by %s; %s\n", platform::signalName(signal), outcome);
    return 128 + signal;
}

int runFrame(CApplication& app, const Options& o, platform::OutputFile& output) {
    const double stepMs = 1000.0 / o.stepFps();
    // The grid frames before the picture, then the picture at its own time.
    const long end = replayUnshown(app, o.frameMs, stepMs);
    const double previous = end > 0 ? msOf(end - 1, stepMs) : o.frameMs - stepMs;
    renderFrame(app, o.frameMs, o.frameMs - previous);
    if (platform::stopSignal()) return stopped("no picture written");
    std::vector<unsigned char> rgb(static_cast<size_t>(platform::frameWidth()) * platform::frameHeight() * 3);
    platform::readFrame(rgb.data());
    std::string error;
    if (!platform::writePng(output.partialPath().c_str(), rgb.data(), platform::frameWidth(),
                            platform::frameHeight(), &error))
        return fail("cannot write '" + o.output + "': " + error + "; no picture written", 1);
    if (!output.commit(&error)) return fail(error + "; no picture written", 1);
    std::fprintf(stderr, "demo: frame at %.0f ms written to %s\n", o.frameMs, o.output.c_str());
    return 0;
}

// The encoder's command line: raw RGB frames on its standard input, the
// track's stretch beside them, H.264 + AAC into `target`.
std::vector<std::string> ffmpegArguments(const Options& o, double fromMs, double durationS,
                                         const std::string& target, bool withAudio) {
    auto number = [](const char* format, double v) {
        char text[64];
        std::snprintf(text, sizeof text, format, v);
        return std::string(text);
    };
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-s", std::to_string(platform::frameWidth()) + "x" +
                                               std::to_string(platform::frameHeight()),
                                     "-framerate", std::to_string(o.stepFps()), "-i", "-"};
    if (withAudio)
        args.insert(args.end(), {"-ss", number("%.3f", fromMs / 1000.0), "-t", number("%.3f", durationS), "-i",
                                 kMusicFile});
    args.insert(args.end(), {"-map", "0:v", "-c:v", "libx264", "-preset", o.preset, "-crf", std::to_string(o.crf),
                             "-pix_fmt", "yuv420p"});
    if (withAudio) args.insert(args.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
    args.insert(args.end(), {"-t", number("%.6f", durationS), "-movflags", "+faststart", "-f", "mp4", target});
    return args;
}

// " (ffmpeg: LINE)" when ffmpeg said something, else "".
std::string ffmpegSaid(const platform::PipedProcess& ffmpeg) {
    const std::string line = ffmpeg.lastErrorLine();
    return line.empty() ? "" : " (ffmpeg: " + line + ")";
}

// "" when `path` holds a video stream that ffprobe reads, else why not.
std::string unreadableVideo(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || st.st_size == 0) return "the file is empty";
    if (!platform::findProgram("ffprobe")) return ""; // nothing more to ask
    platform::PipedProcess probe;
    std::string error;
    if (!probe.start({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=codec_type",
                      "-of", "csv=p=0", path},
                     &error))
        return "";
    const bool ok = probe.finish();
    if (!ok || probe.lastErrorLine() != "video") return "ffprobe finds no video stream in it";
    return "";
}

int runCapture(CApplication& app, const Options& o, platform::OutputFile& output) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    const long total = shownFrames(p);
    const double durationS = static_cast<double>(total) / o.stepFps();
    const bool withAudio = !o.silent;
    // ffmpeg writes the partial file beside the target; the finished file
    // takes the target's name.
    platform::PipedProcess ffmpeg;
    std::string error;
    if (!ffmpeg.start(ffmpegArguments(o, msOf(p.first, p.stepMs), durationS, output.partialPath(), withAudio),
                      &error))
        return fail("cannot start ffmpeg: " + error, 1);

    replayUnshown(app, msOf(p.first, p.stepMs), p.stepMs);
    // Frame n is read back while frame n + 1 renders, and the encoder's pipe
    // is fed from a thread of its own while rendering goes on.
    const int width = platform::frameWidth(), height = platform::frameHeight();
    platform::FrameReadback readback;
    if (!readback.start(width, height)) {
        ffmpeg.abort();
        return fail("cannot read frames back: the GL has no pixel buffer objects; no video written", 1);
    }
    platform::FrameWriter writer(ffmpeg, static_cast<size_t>(width) * height * 3);
    Progress progress(total);
    long shown = 0;
    // Hands the oldest frame read back to the writer; false once the encoder
    // stopped reading.
    auto pass = [&] {
        unsigned char* slot = writer.next();
        if (!slot) return false;
        if (readback.collect(slot)) {
            writer.submit();
            progress.update(++shown);
        }
        return true;
    };
    bool written = true;
    for (long n = p.first; (p.last < 0 || n <= p.last) && !platform::stopSignal(); ++n) {
        renderFrame(app, msOf(n, p.stepMs), p.stepMs);
        if (platform::stopSignal()) break;
        readback.request();
        if (n > p.first && !(written = pass())) break;
        if (p.last < 0 && done) break; // the first frame past the end is the last
    }
    if (written && !platform::stopSignal()) written = pass();
    written = writer.finish() && written;
    progress.update(shown, true);
    if (platform::stopSignal()) return stopped("no video written");
    const int waitS = ffmpeg.stallMs / 1000;
    if (!written) {
        const bool stalled = ffmpeg.stalled();
        ffmpeg.abort();
        if (stalled)
            return fail("ffmpeg took no frame for " + std::to_string(waitS) + " s; ended it" + ffmpegSaid(ffmpeg) +
                            "; no video written",
                        1);
        return fail("ffmpeg stopped reading frames" + ffmpegSaid(ffmpeg) + "; no video written", 1);
    }
    if (!ffmpeg.finish()) {
        if (platform::stopSignal()) return stopped("no video written");
        if (ffmpeg.stalled())
            return fail("ffmpeg had not finished " + std::to_string(waitS) + " s after the last frame; ended it" +
                            ffmpegSaid(ffmpeg) + "; no video written",
                        1);
        return fail("ffmpeg failed" + ffmpegSaid(ffmpeg) + "; no video written", 1);
    }
    // An encoder that says it succeeded must also have written a video.
    if (const std::string why = unreadableVideo(output.partialPath()); !why.empty())
        return fail("ffmpeg ended without a readable video (" + why + "); no video written", 1);
    if (!output.commit(&error)) return fail(error + "; no video written", 1);
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

// The yardstick for frame costs on this machine: full-screen textured quads
// blended over a 1024 x 768 picture, as a glow pass lays them, timed to the
// end of their rasterisation; ms per quad, the mean of `rounds` rounds of ten.
double layerMs(int rounds) {
    double sum = 0;
    for (int round = 0; round < rounds; ++round) {
        glFinish();
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i) engine->glow->RenderBlur(engine->textureManager, 0.1f);
        glFinish();
        sum += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    return sum / (10.0 * rounds);
}

int runBenchmark(CApplication& app, const Options& o) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    replayUnshown(app, msOf(p.first, p.stepMs), p.stepMs);
    std::vector<double> perScene[12], all;
    all.reserve(static_cast<size_t>(shownFrames(p)));
    for (auto& v : perScene) v.reserve(all.capacity());
    // Pass times per scene, summed over its frames (ms on the GL timeline).
    double passes[12][kFramePasses] = {};
    // Layers measured while each scene ran: their sum and count.
    double layerSum[12] = {};
    int layerCount[12] = {};
    LayerClock clock;
    const bool clocked = clock.open();
    const bool timed = o.passes;
    enableFramePasses(timed);
    for (long n = p.first, sinceLayer = 0; (p.last < 0 || n <= p.last) && !platform::stopSignal(); ++n) {
        const auto t0 = std::chrono::steady_clock::now();
        renderFrame(app, msOf(n, p.stepMs), p.stepMs);
        glFinish(); // the software rasteriser's work is part of the frame
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        endFramePasses(passes[currentScene]);
        perScene[currentScene].push_back(ms);
        all.push_back(ms);
        // Ten layers after every 15th frame and after a scene's first: about
        // 3 % more work, outside the frames' times and the passes.
        if (clocked && (perScene[currentScene].size() == 1 || ++sinceLayer == 15)) {
            sinceLayer = 0;
            enableFramePasses(false);
            layerSum[currentScene] += clock.measure();
            ++layerCount[currentScene];
            enableFramePasses(timed);
        }
        if (p.last < 0 && done) break;
    }
    enableFramePasses(false);
    // The whole run's yardstick right after the frames, on the same 1024 x 768
    // layer as the scenes' (whatever --size the frames had); a run stopped by
    // a signal prints its figures in ms only.
    double layer = 0;
    if (!platform::stopSignal()) {
        if (clocked) {
            for (int i = 0; i < 10; ++i) layer += clock.measure() / 10;
        } else {
            layer = layerMs(10);
        }
    }
    auto inLayers = [](double ms, double layer) {
        char text[16];
        if (layer > 0) std::snprintf(text, sizeof text, "%8.2f", ms / layer);
        else std::snprintf(text, sizeof text, "%8s", "-");
        return std::string(text);
    };
    std::printf("scene  music time (ms)      frames   mean ms   p95 ms  layer ms  mean layers  p95 layers\n");
    for (int i = 0; i < kStretchCount; ++i) {
        const int s = stretchScene(i);
        if (perScene[s].empty()) continue;
        const double m = mean(perScene[s]), p95 = percentile95(perScene[s]);
        const double sceneLayer = layerCount[s] > 0 && layer > 0 ? layerSum[s] / layerCount[s] : 0.0;
        std::printf("%5d  %6.0f - %6.0f  %10zu  %8.2f  %7.2f  %8.2f     %s    %s\n", s + 1, stretchStartMs(i),
                    stretchEndMs(i), perScene[s].size(), m, p95, sceneLayer, inLayers(m, sceneLayer).c_str(),
                    inLayers(p95, sceneLayer).c_str());
    }
    if (timed) {
        std::printf("\nmean ms per frame of each pass (CPU clock between glFinish brackets)\nscene");
        for (int k = 0; k < kFramePasses; ++k) std::printf(" %11s", framePassName(static_cast<FramePass>(k)));
        std::printf("\n");
        for (int i = 0; i < kStretchCount; ++i) {
            const int s = stretchScene(i);
            if (perScene[s].empty()) continue;
            std::printf("%5d", s + 1);
            for (int k = 0; k < kFramePasses; ++k) std::printf(" %11.2f", passes[s][k] / perScene[s].size());
            std::printf("\n");
        }
    }
    double total = 0;
    for (double x : all) total += x;
    std::printf("total  %6.0f - %6.0f  %10zu  %8.2f  %7.2f  %8.2f     %s    %s   (%.1f s, %.1f fps)\n",
                msOf(p.first, p.stepMs), msOf(p.first + static_cast<long>(all.size()) - 1, p.stepMs), all.size(),
                mean(all), percentile95(all), layer, inLayers(mean(all), layer).c_str(),
                inLayers(percentile95(all), layer).c_str(), total / 1000.0,
                all.empty() ? 0.0 : all.size() * 1000.0 / total);
    if (platform::stopSignal()) {
        std::fflush(stdout);
        return stopped("the figures are of the frames rendered before it");
    }
    std::printf("layer: one blended full-screen textured quad over a 1024 x 768 picture, in this run: a scene's "
                "mean of ten after its first frame and every 15th; the total's, 10 x 10 after the frames (%.2f ms)\n",
                layer);
    return 0;
}

// The music time of the last frame a run renders (the first past the end
// of the demo when it runs to the end).
double lastRenderedMs(const Options& o) {
    if (o.mode == Mode::Frame) return o.frameMs;
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    return p.last >= 0 ? msOf(p.last, p.stepMs) : kDemoEndMs;
}

} // namespace

std::string trackShortfall(const char* path, double untilMs) {
    if (!platform::fileExists(path)) return std::string("File ") + path + " not found!";
    // An MP3 starts with an ID3 tag or an MPEG frame's sync bits. mpg123
    // searches any file for frames, and finds some in noise or PCM data.
    unsigned char head[4] = {};
    size_t n = 0;
    if (std::FILE* f = std::fopen(path, "rb")) {
        n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    const bool tagged = n >= 3 && std::memcmp(head, "ID3", 3) == 0;
    const bool framed = n >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (!tagged && !framed) {
        std::string kind = "no MPEG audio frame at its start";
        for (const char* other : {"RIFF", "fLaC", "OggS", "FORM"})
            if (n == 4 && std::memcmp(head, other, 4) == 0) kind = std::string("it holds ") + other + " data";
        return std::string("File ") + path + " is not an MP3 (" + kind + ")";
    }
    platform::TrackReader reader;
    std::string error;
    if (!reader.open(path, &error)) return error;
    const int64_t frames = reader.lengthFrames();
    const double ms = frames > 0 ? frames * 1000.0 / reader.rate() : 0.0;
    if (ms + 0.5 < std::min<double>(untilMs, kDemoEndMs)) {
        char text[64];
        std::snprintf(text, sizeof text, " holds %.1f s of music, short of the %.1f s needed", ms / 1000.0,
                      std::min<double>(untilMs, kDemoEndMs) / 1000.0);
        return std::string("File ") + path + text;
    }
    return "";
}

bool LayerClock::open() { return scratch_.open(platform::kFrameWidth, platform::kFrameHeight); }

double LayerClock::measure() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    scratch_.bind();
    const double ms = layerMs(1);
    scratch_.unbind();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    return ms;
}

FramePlan planFrames(int fps, double fromMs, double toMs, bool toGiven) {
    FramePlan p;
    p.stepMs = 1000.0 / fps;
    p.first = static_cast<long>(std::ceil(fromMs * fps / 1000.0 - 1e-9));
    // Frames strictly before --to.
    p.last = toGiven ? static_cast<long>(std::ceil(toMs * fps / 1000.0 - 1e-9)) - 1 : -1;
    return p;
}

int runOffline(const Options& o) {
    // From here on SIGINT and SIGTERM end the run after the current frame.
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
    case Mode::Frame: status = runFrame(app, o, output); break;
    case Mode::Capture: status = runCapture(app, o, output); break;
    case Mode::Benchmark: status = runBenchmark(app, o); break;
    case Mode::Live: break;
    }
    app.deinit();
    spectrumTrack.close();
    return status;
}
